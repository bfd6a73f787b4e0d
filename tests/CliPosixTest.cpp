// SPDX-License-Identifier: GPL-3.0-or-later
// End-to-end tests of ferrox-cli that need POSIX: a full device, pipes,
// advisory locks, names that are not UTF-8, signals and a terminal, and the
// password prompt on a terminal.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/CliFixture.h"

namespace {

using namespace ferrox_test;

TEST_F(CliTest, HelpAndVersionThatCannotBeWrittenExitWithOne) {
  for (const char* option : {"--help", "--version"}) {
    const CRunResult full = RunCliIntoFullDevice(dir, {option});
    EXPECT_EQ(full.status, 1) << option;
    EXPECT_EQ(full.err, "ferrox-cli: cannot write standard output: No space left on device\n") << option;
  }
}

TEST_F(CliTest, PagesRecordedAsUnreadableAreFilledByTheNextRunAndTheRecordGoes) {
  // A copy an earlier run made with --pass-unreadable: its second page was
  // passed as zeros and recorded beside it.
  const std::string bytes = PatternBytes(3 * 4096 + 100, 7);
  fs::create_directories(dir / "src");
  fs::create_directories(dir / "dst");
  WriteFile(dir / "src/a.bin", bytes);
  struct stat st {};
  ASSERT_EQ(stat((dir / "src/a.bin").c_str(), &st), 0);
  std::string copy = bytes;
  std::fill(copy.begin() + 4096, copy.begin() + 8192, '\0');
  WriteFile(dir / "dst/a.bin", copy);
  WriteFile(dir / "dst/a.bin.unreadable", "ferrox-unreadable 1 " + std::to_string(bytes.size()) + " " +
                                              std::to_string(st.st_mtime) + " 0 0\n4096 4096\n");

  for (const char* option : {"--pass-unreadable", ""}) {
    std::vector<std::string> args = {"-d", dir / "dst", dir / "src/a.bin"};
    if (*option) args.insert(args.begin(), option);
    const CRunResult run = RunCli(dir, args);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    if (*option) {
      EXPECT_NE(run.out.find("\"a.bin\" : 4096 of 4096 bytes that could not be read are copied now"),
                std::string::npos)
          << run.out;
    } else {
      EXPECT_NE(run.out.find("allready exist"), std::string::npos) << run.out;
    }
    EXPECT_EQ(ReadFile(dir / "dst/a.bin"), bytes);
    EXPECT_FALSE(fs::exists(dir / "dst/a.bin.unreadable"));
  }
}

TEST_F(CliTest, AFileAnotherCopyIsWritingIsLeftAlone) {
  MakeTree();
  fs::create_directories(dir / "dst/src/sub");
  const std::string partial = files[0].second.substr(0, 3);
  WriteFile(dir / "dst/src/sub/c.txt", partial);
  // Another copy holds the file as every copy does while it writes.
  const int held = open((dir / "dst/src/sub/c.txt").c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  ASSERT_GE(held, 0);
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  ASSERT_EQ(fcntl(held, F_OFD_SETLK, &lock), 0);

  CRunResult run = RunCli(dir, {"-d", dir / "dst", dir / "src"});
  EXPECT_EQ(run.status, 4) << run.out;
  EXPECT_TRUE(HasLine(SplitLines(run.out), dir / "dst/src/sub/c.txt is in use by another copy, left alone"))
      << run.out;
  EXPECT_EQ(ReadFile(dir / "dst/src/sub/c.txt"), partial);

  close(held);
  run = RunCli(dir, {"-d", dir / "dst", dir / "src"});
  EXPECT_EQ(run.status, 0) << run.out;
  for (const auto& [name, bytes] : files) EXPECT_EQ(ReadFile(dir / ("dst/src/" + name)), bytes) << name;
}

TEST_F(CliTest, StandardOutputThatCannotBeWrittenIsNamedOnceAndTheCopyGoesOn) {
  MakeTree();
  for (const bool json : {false, true}) {
    const std::string dst = dir / (json ? "dst-json" : "dst-text");
    fs::create_directories(dst);
    std::vector<std::string> args{"-b", "1024", "-d", dst, dir / "src"};
    if (json) args.insert(args.begin(), "--json");
    const CRunResult run = RunCliIntoFullDevice(dir, args);
    EXPECT_EQ(run.status, 32) << json;
    EXPECT_EQ(run.err, "ferrox-cli: cannot write standard output: No space left on device\n") << json;
    for (const auto& [name, bytes] : files) EXPECT_EQ(ReadFile(dst + "/src/" + name), bytes) << name;
  }
  // The output's bit joins the sources' failure bits.
  EXPECT_EQ(RunCliIntoFullDevice(dir, {"-r", "0", "-d", dir / "dst", dir / "missing"}).status, 2 | 32);
}

TEST_F(CliTest, AReaderThatLeftIsAFailedWrite) {
  MakeTree();
  int ends[2];
  ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
  close(ends[0]);
  const CRunResult run = RunCli(dir, {"--json", "-d", dir / "dst", dir / "src"}, ends[1]);
  close(ends[1]);
  EXPECT_EQ(run.status, 32);
  EXPECT_EQ(run.err, "ferrox-cli: cannot write standard output: Broken pipe\n");
  EXPECT_EQ(ReadFile(dir / "dst/src/a.dat"), files[1].second);
}

TEST_F(CliTest, ANonBlockingPipeThatFillsUpIsWaitedFor) {
  MakeTree();
  int ends[2];
  ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
  // The smallest pipe, which the output of small blocks overfills at once.
  fcntl(ends[1], F_SETPIPE_SZ, 4096);
  ASSERT_EQ(fcntl(ends[1], F_SETFL, O_NONBLOCK), 0);
  const pid_t pid = StartCli(dir, {"--json", "-b", "1024", "-d", dir / "dst", dir / "src"}, ends[1]);
  close(ends[1]);
  std::string output;
  char chunk[4096];
  for (ssize_t got = 1; got != 0;) {
    got = read(ends[0], chunk, sizeof chunk);
    if (got > 0) output.append(chunk, static_cast<size_t>(got));
    if (got < 0 && errno != EINTR) break;
  }
  close(ends[0]);
  EXPECT_EQ(WaitForCli(pid), 0);
  EXPECT_EQ(ReadFile(dir / "err"), "");
  EXPECT_GT(output.size(), 4096u);
  std::vector<CJsonObject> events = ParseJsonLines(output);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back()["event"].text, "end");
}

TEST_F(CliTest, JsonLinesCarryEveryEventAndEscapeInvalidUtf8) {
  fs::create_directories(dir / "src");
  const std::string name = "x\xffy.bin";
  const std::string bytes = PatternBytes(70000, 3);
  WriteFile(dir / ("src/" + name), bytes);
  fs::create_directories(dir / "dst");
  const CRunResult run = RunCli(dir, {"--json", "-d", dir / "dst", dir / "src"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFile(dir / ("dst/src/" + name)), bytes);
  EXPECT_NE(run.out.find("x\\udcffy.bin"), std::string::npos);

  const std::vector<CJsonObject> events = ParseJsonLines(run.out);
  ASSERT_FALSE(events.empty());
  std::map<std::string, int> kinds;
  for (const CJsonObject& event : events) ++kinds[event.at("event").text];
  EXPECT_GT(kinds["log"], 0);
  EXPECT_GT(kinds["progress"], 0);
  EXPECT_EQ(kinds["source"], 1);
  EXPECT_EQ(kinds["end"], 1);
  EXPECT_EQ(events.front().at("event").text, "log");
  EXPECT_EQ(events.front().at("text").text, "buf_size = 1048576 bytes\r\n");
  EXPECT_EQ(events.back().at("event").text, "end");
  EXPECT_EQ(events.back().at("exit").number, 0);

  bool namedTheFile = false;
  for (const CJsonObject& event : events) {
    const std::string& kind = event.at("event").text;
    if (kind == "log") namedTheFile |= event.at("text").text.find("\"" + name + "\"") != std::string::npos;
    if (kind == "progress") {
      for (const char* key : {"file_label", "total_label", "caption"}) EXPECT_EQ(event.at(key).kind, 's');
      for (const char* key : {"file_bar", "total_bar", "file_number", "file_count", "file_permille",
                              "bytes_done", "total_bytes"})
        EXPECT_EQ(event.at(key).kind, 'n');
    }
    if (kind == "source") {
      EXPECT_EQ(event.at("index").number, 0);
      EXPECT_EQ(event.at("path").text, dir / "src");
      EXPECT_EQ(event.at("result").number, 0);
      EXPECT_EQ(event.at("crc32").text, Hex32(Crc32(bytes)));
      EXPECT_EQ(event.at("errors_fixed").number, 0);
      EXPECT_EQ(event.at("canceled").kind, 'b');
      EXPECT_EQ(event.at("canceled").number, 0);
    }
  }
  EXPECT_TRUE(namedTheFile);
  const CJsonObject& lastProgress = *std::find_if(
      events.rbegin(), events.rend(), [](const CJsonObject& e) { return e.at("event").text == "progress"; });
  EXPECT_EQ(lastProgress.at("bytes_done").number, 70000);
  EXPECT_EQ(lastProgress.at("total_bytes").number, 70000);
  EXPECT_EQ(lastProgress.at("total_label").text, "Total 100%");
}

TEST_F(CliTest, ALogFileThatCannotBeWrittenIsNamedOnceAndTheCopyGoesOn) {
  MakeTree();
  // /dev/full opens for appending, then refuses every write.
  const CRunResult run = RunCli(dir, {"--log", "/dev/full", "--json", "-d", dir / "dst", dir / "src"});
  EXPECT_EQ(run.status, 32);
  EXPECT_EQ(run.err, "ferrox-cli: --log: cannot write \"/dev/full\": No space left on device\n");
  for (const auto& [name, bytes] : files) EXPECT_EQ(ReadFile(dir / ("dst/src/" + name)), bytes) << name;
  const std::vector<CJsonObject> events = ParseJsonLines(run.out);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back().at("event").text, "end");
  EXPECT_EQ(events.back().at("exit").number, 32);
}

TEST_F(CliTest, CtrlCAbortsTheRun) {
  const pid_t pid = StartCli(dir, {"-r", "300", "-d", dir.Path(), dir / "missing"});
  // The completed lines show that the worker runs, so the signals are watched.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (ReadFile(dir / "out").find("reconnect_limit") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  kill(pid, SIGINT);
  EXPECT_EQ(WaitForCli(pid), 130);
  EXPECT_TRUE(HasLine(SplitLines(ReadFile(dir / "out")), "connection failed, error = 2 "));
}

// A pseudo-terminal: the master end the test reads and types into, and the
// terminal end, which the test keeps open so that its settings outlive the
// program that used it.
struct CPseudoTerminal {
  CPseudoTerminal() {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return;
    terminal = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
  }
  ~CPseudoTerminal() {
    if (terminal >= 0) close(terminal);
    if (master >= 0) close(master);
  }
  CPseudoTerminal(const CPseudoTerminal&) = delete;
  CPseudoTerminal& operator=(const CPseudoTerminal&) = delete;

  // Returns the terminal's local modes, or 0 when they cannot be read.
  tcflag_t LocalModes() const {
    termios modes{};
    return tcgetattr(terminal, &modes) == 0 ? modes.c_lflag : 0;
  }

  // Reads what the program shows into screen until it holds wanted or
  // seconds have passed; returns whether it does.
  bool ReadUntil(std::string& screen, const std::string& wanted, int seconds) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (screen.find(wanted) == std::string::npos) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      pollfd ready{master, POLLIN, 0};
      if (poll(&ready, 1, 20) <= 0) continue;
      char chunk[4096];
      const ssize_t got = read(master, chunk, sizeof chunk);
      if (got > 0) screen.append(chunk, static_cast<size_t>(got));
      if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) return false;
    }
    return true;
  }

  // Waits at most 10 seconds until the terminal's echo is off.
  bool WaitForEchoOff() const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while ((LocalModes() & ECHO) != 0) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
  }

  int master = -1;
  int terminal = -1;
};

// Starts ferrox-cli with args in folder dir in a session of its own, its
// standard input and standard error on terminal, its standard output into
// the file out there, PASSWD not set, SIGHUP ignored when ignoreHangUp (as
// nohup starts it). Returns the child's process id.
pid_t StartCliOnTerminal(const CTempDir& dir, const std::vector<std::string>& args, int terminal,
                         bool ignoreHangUp = false) {
  CCliArgv argv(args);
  const std::string outPath = dir / "out";
  const pid_t pid = fork();
  if (pid == 0) {
    unsetenv("PASSWD");
    if (ignoreHangUp) signal(SIGHUP, SIG_IGN);
    setsid();
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || dup2(terminal, STDIN_FILENO) < 0 || dup2(out, STDOUT_FILENO) < 0 ||
        dup2(terminal, STDERR_FILENO) < 0 || chdir(dir.Path().c_str()) != 0)
      _exit(127);
    execv(argv.Get()[0], argv.Get());
    _exit(127);
  }
  return pid;
}

TEST_F(CliTest, ASignalAtThePasswordPromptGivesTheTerminalItsEchoBack) {
#if defined(__SANITIZE_THREAD__)
  // ThreadSanitizer holds a signal back until the program reaches one of its
  // own safe points, which a prompt blocked in read(2) never does.
  GTEST_SKIP() << "signal handlers are deferred under ThreadSanitizer";
#endif
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    CPseudoTerminal pty;
    ASSERT_GE(pty.terminal, 0);
    const tcflag_t before = pty.LocalModes();
    ASSERT_NE(before & ECHO, 0u);
    const pid_t pid = StartCliOnTerminal(
        dir, {"-U", "WORKGROUP\\alice", "-r", "0", "-d", dir.Path(), "smb://127.0.0.1:1/share/x"},
        pty.terminal);
    std::string screen;
    EXPECT_TRUE(pty.ReadUntil(screen, "Password for alice: ", 10)) << screen;
    EXPECT_TRUE(pty.WaitForEchoOff()) << signal;
    kill(pid, signal);
    // The signal still ends the program as it would have: killed by it.
    EXPECT_EQ(WaitForCli(pid), 128 + signal) << signal;
    EXPECT_EQ(pty.LocalModes(), before) << signal;
    EXPECT_EQ(screen, "Password for alice: ") << signal;
  }
}

TEST_F(CliTest, APasswordTypedAtThePromptIsNotEchoedAndTheTerminalIsLeftAsItWas) {
  CPseudoTerminal pty;
  ASSERT_GE(pty.terminal, 0);
  const tcflag_t before = pty.LocalModes();
  const pid_t pid = StartCliOnTerminal(dir, {"-U", "alice", "-r", "0", "-d", dir.Path(), dir / "missing"},
                                       pty.terminal, true);
  std::string screen;
  EXPECT_TRUE(pty.ReadUntil(screen, "Password for alice: ", 10)) << screen;
  ASSERT_TRUE(pty.WaitForEchoOff());
  // A signal the program was started to ignore changes nothing.
  kill(pid, SIGHUP);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(pty.LocalModes() & ECHO, 0u);
  const std::string typed = "pa55=word\n";
  ASSERT_EQ(write(pty.master, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
  EXPECT_EQ(WaitForCli(pid), 2);
  pty.ReadUntil(screen, "\n", 2);
  // The line feed that ends the prompt comes from the program, not the echo.
  EXPECT_EQ(screen, "Password for alice: \r\n");
  EXPECT_EQ(pty.LocalModes(), before);
  EXPECT_TRUE(HasLine(SplitLines(ReadFile(dir / "out")), "connection failed, error = 2 "))
      << ReadFile(dir / "out");
}

// Standard input from /dev/null and PASSWD unset while it lives, for the
// programs started meanwhile; both are put back afterwards.
class CNoTerminalNoPasswd {
public:
  CNoTerminalNoPasswd() {
    if (const char* value = std::getenv("PASSWD")) m_passwd = value;
    unsetenv("PASSWD");
    m_stdin = dup(STDIN_FILENO);
    const int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
    dup2(null, STDIN_FILENO);
    close(null);
  }
  ~CNoTerminalNoPasswd() {
    dup2(m_stdin, STDIN_FILENO);
    close(m_stdin);
    if (m_passwd)
      setenv("PASSWD", m_passwd->c_str(), 1);
    else
      unsetenv("PASSWD");
  }
  CNoTerminalNoPasswd(const CNoTerminalNoPasswd&) = delete;
  CNoTerminalNoPasswd& operator=(const CNoTerminalNoPasswd&) = delete;

private:
  int m_stdin = -1;
  std::optional<std::string> m_passwd;
};

TEST_F(CliTest, AUserWithoutAPasswordAndNoTerminalToAskOnIsAUsageErrorAtOnce) {
  const CNoTerminalNoPasswd quiet;
  // The default reconnect limit: a run that started would wait it out.
  const std::string source = "smb://nas.invalid/films";
  CRunResult run = RunCli(dir, {"-U", "WORKGROUP\\alice", "-d", dir.Path(), source});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(
      run.err,
      "ferrox-cli: --user: no password for alice: set PASSWD, give a file with --credentials, or run on a "
      "terminal to be asked\n");
  EXPECT_EQ(run.out, "");

  // A credentials file with an empty password, or with none, alike.
  for (const std::string& content :
       {std::string("username=alice\npassword=\n"), std::string("username=alice\n")}) {
    WriteFile(dir / "credentials", content);
    run = RunCli(dir, {"--credentials", dir / "credentials", "-d", dir.Path(), source});
    EXPECT_EQ(run.status, 1) << content;
    EXPECT_EQ(run.err,
              "ferrox-cli: --credentials: \"" + dir / "credentials" +
                  "\" gives no password for alice, and neither PASSWD nor a terminal on standard input "
                  "does\n")
        << content;
    EXPECT_EQ(run.out, "") << content;
  }

  // An empty PASSWD is none either; one that holds a password is taken.
  setenv("PASSWD", "", 1);
  run = RunCli(dir, {"-U", "alice", "-d", dir.Path(), source});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("--user: no password for alice"), std::string::npos) << run.err;
  setenv("PASSWD", "pw", 1);
  run = RunCli(dir, {"-U", "alice", "-r", "0", "-d", dir.Path(), dir / "missing"});
  EXPECT_EQ(run.status, 2) << run.err;
  EXPECT_EQ(run.err, "");
}

TEST_F(CliTest, ATerminalSeesTheLastLineRewrittenAndTheTitle) {
  CPseudoTerminal pty;
  ASSERT_GE(pty.terminal, 0);
  const int master = pty.master;
  winsize size{};
  size.ws_col = 200;
  size.ws_row = 24;
  ioctl(pty.terminal, TIOCSWINSZ, &size);

  // A source that never appears keeps the count-down line open until Ctrl-C.
  const std::string missing = dir / "miss\033ing";
  const std::string shown = dir / "miss?ing";
  const std::string openLine = "\r\033[Kfrom " + shown + "  to " + dir.Path() + ",  ";
  const pid_t pid = StartCli(dir, {"-r", "300", "-d", dir.Path(), missing}, pty.terminal);
  // Only the program holds the terminal now: the master end reads EIO once it closed it.
  close(pty.terminal);
  pty.terminal = -1;
  std::string screen;
  bool interrupted = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (;;) {
    if (!interrupted &&
        (screen.find(openLine) != std::string::npos || std::chrono::steady_clock::now() > deadline)) {
      kill(pid, SIGINT);
      interrupted = true;
    }
    if (std::chrono::steady_clock::now() > deadline + std::chrono::seconds(10)) break;
    pollfd ready{master, POLLIN, 0};
    if (poll(&ready, 1, 20) == 0) continue;
    char chunk[4096];
    const ssize_t got = read(master, chunk, sizeof chunk);
    if (got > 0)
      screen.append(chunk, static_cast<size_t>(got));
    else if (!(got < 0 && errno == EINTR))
      break;  // EIO once the program closed the terminal
  }
  close(pty.master);
  pty.master = -1;
  EXPECT_EQ(WaitForCli(pid), 130);
  // The control character of the name is never sent to the terminal.
  EXPECT_EQ(screen.find(missing), std::string::npos);
  EXPECT_NE(screen.find(openLine), std::string::npos) << screen;
  EXPECT_NE(screen.find("\033]0;from " + shown + "\a"), std::string::npos) << screen;
  EXPECT_NE(screen.find("connection failed, error = 2 "), std::string::npos) << screen;
}

// Starts ferrox-cli with args in folder dir in a process group of its own,
// as a shell with job control starts a job, its output going to the files
// out and err there. Returns the child's process id.
pid_t StartCliAsJob(const CTempDir& dir, const std::vector<std::string>& args) {
  CCliArgv argv(args);
  const std::string outPath = dir / "out";
  const std::string errPath = dir / "err";
  const pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || dup2(out, STDOUT_FILENO) < 0 || dup2(err, STDERR_FILENO) < 0 ||
        chdir(dir.Path().c_str()) != 0)
      _exit(127);
    execv(argv.Get()[0], argv.Get());
    _exit(127);
  }
  return pid;
}

// Waits at most seconds until the file at path holds text; returns whether
// it does.
bool WaitForText(const std::string& path, const std::string& text, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (ReadFile(path).find(text) == std::string::npos) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// Waits at most 10 seconds until the child pid has stopped; returns whether
// it has.
bool WaitForStop(pid_t pid) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (;;) {
    int status = 0;
    const pid_t changed = waitpid(pid, &status, WNOHANG | WUNTRACED);
    if (changed == pid) return WIFSTOPPED(status);
    if (changed < 0 || std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

TEST_F(CliTest, CtrlZPausesAndStopsTheProgramAndTheTimeStoppedLeavesTheLimitAlone) {
  const pid_t pid = StartCliAsJob(dir, {"--json", "-r", "3", "-d", dir.Path(), dir / "missing"});
  ASSERT_TRUE(WaitForText(dir / "out", "sec limit...", 10));
  kill(pid, SIGTSTP);
  ASSERT_TRUE(WaitForStop(pid));
  // Stopped, having shown that the copy is paused.
  const std::string shown = ReadFile(dir / "out");
  EXPECT_NE(shown.find("{\"event\":\"log\",\"text\":\"paused\"}\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("{\"event\":\"paused\"}\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("\"caption\":\"Paused - from "), std::string::npos) << shown;
  // Stopped for longer than the reconnect limit.
  std::this_thread::sleep_for(std::chrono::seconds(4));
  EXPECT_EQ(ReadFile(dir / "out"), shown);
  kill(pid, SIGCONT);
  ASSERT_TRUE(WaitForText(dir / "out", "{\"event\":\"continued\"}\n", 10));
  // The count-down goes on with time left instead of ending the source.
  const auto countDownAfterContinue = [this] {
    const std::string out = ReadFile(dir / "out");
    const size_t continued = out.find("{\"event\":\"continued\"}");
    return continued != std::string::npos && out.find("sec limit...", continued) != std::string::npos;
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!countDownAfterContinue() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  kill(pid, SIGINT);
  EXPECT_EQ(WaitForCli(pid), 130);

  const std::vector<CJsonObject> events = ParseJsonLines(ReadFile(dir / "out"));
  size_t index = 0;
  while (index < events.size() && events[index].at("event").text != "continued") ++index;
  ASSERT_LT(index, events.size());
  std::string countDown;
  for (++index; index < events.size() && countDown.empty(); ++index) {
    const CJsonObject& event = events[index];
    if (event.at("event").text != "log") continue;
    const std::string& text = event.at("text").text;
    ASSERT_EQ(text.find("connection failed"), std::string::npos) << "the limit ran out while stopped";
    if (text.ends_with(" sec limit...")) countDown = text;
  }
  ASSERT_FALSE(countDown.empty());
  const size_t end = countDown.rfind(" sec limit...");
  const size_t start = countDown.find_last_of(' ', end - 1) + 1;
  EXPECT_GE(std::stoi(countDown.substr(start, end - start)), 1) << countDown;
}

}  // namespace
