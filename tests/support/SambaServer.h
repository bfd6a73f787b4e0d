// SPDX-License-Identifier: GPL-3.0-or-later
// A private Samba server for tests: an smbd of its own, bound to 127.0.0.1
// on a free port, with its configuration, its pid, lock, state, cache,
// private and log folders all in a folder the test gives (nothing outside it
// changes), serving the shares the test names.
//
// smbd runs in the foreground in a session of its own: an smbd started with
// --no-process-group signals its whole process group when it exits, which
// must not be the test runner's. Stop, Kill, Pause and Resume act on that
// session's process group, smbd's helpers and per-connection children
// included.
//
// Shares are served as the account running the tests (force user), so the
// owner-only folders of a test's temporary folder can be served; a share
// that wants a user admits only that account, whose Samba password AddUser
// sets in the server's own password database.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class CSambaServer {
public:
  struct CShare {
    std::string name;    // the share's name
    std::string folder;  // the folder it serves
    bool guest = true;   // guest access; false: only the account running the tests, with its password
  };

  // Returns true when a private smbd can be run here; otherwise false with
  // the reason in why: no /usr/sbin/smbd, or not running as root (an smbd
  // of another user reads files but cannot write them or set their times).
  // The caller skips its test then; see RequiredButUnavailable.
  static bool Available(std::string& why);

  // Returns false, the answer of an availability check that failed for
  // why. When the environment sets FERROX_REQUIRE_SMB=1 (as CI does, where
  // the SMB tests must run), it first records why as a failure of the
  // running test, so that the skip that follows cannot pass unseen.
  static bool RequiredButUnavailable(const std::string& why);

  // Returns the name of the account running the tests.
  static std::string ProcessUser();

  // Prepares a server for shares, its own files in the folder base/samba
  // (created as needed); Start starts it. Nothing runs yet.
  CSambaServer(std::string base, std::vector<CShare> shares);
  // Stops the server if it runs.
  ~CSambaServer();
  CSambaServer(const CSambaServer&) = delete;
  CSambaServer& operator=(const CSambaServer&) = delete;

  // Makes the server run in the network namespace netns (a name of "ip
  // netns") and listen on address there, instead of 127.0.0.1 here. Call
  // before Start.
  void ServeFrom(const std::string& netns, const std::string& address);

  // Writes the configuration and starts smbd on a free port (the same port
  // again after the first start), then waits until it takes connections.
  // Returns true, or false with the reason in Error() (with the end of
  // smbd's log).
  bool Start();

  // Stops smbd: SIGTERM, SIGKILL for what is left after a grace of a few
  // seconds; returns once every process of its session is gone.
  void Stop();

  // Kills smbd at once with SIGKILL, as a crash would; returns once every
  // process of its session is gone. Open connections break.
  void Kill();

  // Starts smbd again on the same port after Stop or Kill (stopping it first
  // if it runs). Returns as Start.
  bool Restart();

  // Stops every process of smbd's session (SIGSTOP): connections stay open
  // but nothing answers, as with a link that stopped carrying packets.
  // Resume continues them (SIGCONT).
  void Pause();
  void Resume();

  // Appends lines to the configuration of the share named share, after its
  // own ones, which they override ("force user = nobody" serves it as that
  // account, whom the files' modes then bind). Call before Start.
  void AddShareLines(const std::string& share, const std::string& lines);

  // Sets the Samba password of the account running the tests in the
  // server's own password database (smbpasswd reads it from a pipe, never
  // from its command line). Returns true, or false with the reason in
  // Error().
  bool AddUser(const std::string& password);

  // Returns the number of SMB2 read requests the server has answered since
  // it started (from its profile counters through smbstatus), or -1 when they
  // cannot be read.
  int64_t ReadRequestCount() const;

  // Returns the profile counter name ("smb2_read_outbytes", say) as
  // smbstatus --profile shows it, or -1 when it cannot be read. The
  // counters start again from 0 with each Start or Restart; smbd writes
  // them out about a second after they change.
  int64_t ProfileCounter(const std::string& name) const;

  // Returns the port smbd listens on (0 before the first Start).
  uint16_t Port() const { return m_port; }

  // Returns "smb://ADDRESS:PORT/share", ADDRESS being 127.0.0.1 unless
  // ServeFrom named another.
  std::string Url(const std::string& share) const;

  // Returns true while smbd runs.
  bool Running() const { return m_pid > 0; }

  // Returns why the last Start, Restart or AddUser failed.
  const std::string& Error() const { return m_error; }

private:
  bool WriteConfiguration();
  std::string LogTail() const;
  void SignalGroup(int signal) const;
  void WaitGone();

  std::string m_base;
  std::vector<CShare> m_shares;
  std::map<std::string, std::string> m_shareLines;  // AddShareLines, by share
  std::string m_config;
  std::string m_logFile;
  std::string m_netns;                  // empty: this process's own
  std::string m_address = "127.0.0.1";  // where smbd listens
  uint16_t m_port = 0;
  pid_t m_pid = -1;  // smbd, leader of its own session and process group
  std::string m_error;
};
