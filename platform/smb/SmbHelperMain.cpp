// SPDX-License-Identifier: GPL-3.0-or-later
// ferrox-smb-helper: reads share files for the program that started it
// (SmbHelperPool.h), with a libsmbclient of its own, over the socket it gets
// as standard input (SmbHelperProtocol.h). It serves one request at a time
// and ends when the program closes the socket or goes away. The first
// helper the program starts loads the module and starts the others as
// copies of itself (kFork), serving nothing else.
#include <signal.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/Connections.h"
#include "platform/SmbModule.h"
#include "platform/smb/SmbCredentials.h"
#include "platform/smb/SmbHelperProtocol.h"
#include "platform/smb/SmbPath.h"
#include "platform/smb/SmbTimeout.h"

namespace {

// Takes the settings of a setup request. Returns false when the payload is
// malformed.
bool TakeSetup(const std::vector<uint8_t>& payload) {
  CSmbHelperReader reader(payload);
  uint32_t timeoutMs = 0;
  CSmbCredentials credentials;
  uint32_t count = 0;
  bool whole = reader.Number32(timeoutMs) && reader.Text(credentials.user) &&
               reader.Text(credentials.domain) && reader.Text(credentials.password) && reader.Number32(count);
  std::vector<std::string> addresses;
  for (uint32_t n = 0; whole && n < count; ++n) whole = reader.Text(addresses.emplace_back());
  if (whole) {
    SetSmbTimeoutMs(timeoutMs);
    SetSmbCredentials(credentials);
    SetWrittenSmbAddresses(addresses);
  }
  credentials.password.resize(credentials.password.capacity());
  explicit_bzero(credentials.password.data(), credentials.password.size());
  return whole;
}

// Serves a read request into reply. Returns the reply's kind: 0 when the
// bytes were read, the errno of the failure otherwise (EPROTO for a
// malformed request).
uint32_t ServeRead(const std::vector<uint8_t>& payload, std::vector<uint8_t>& reply) {
  CSmbHelperReader reader(payload);
  std::string path;
  uint64_t start = 0;
  uint64_t count = 0;
  uint64_t end = 0;
  reply.clear();
  if (!reader.Text(path) || !reader.Number64(start) || !reader.Number64(count) || !reader.Number64(end) ||
      count > kSmbHelperMostPayload)
    return EPROTO;
  if (SmbModuleFileSystem().ReadFileAt(path, start, static_cast<size_t>(count), end, reply)) return 0;
  reply.clear();
  return errno != 0 ? static_cast<uint32_t>(errno) : EIO;
}

// Serves a request to reach a path: logs on to its server and share and
// looks it up. Returns 0, or the errno of the failure (EPROTO for a
// malformed request).
uint32_t ServeReach(const std::vector<uint8_t>& payload) {
  CSmbHelperReader reader(payload);
  std::string path;
  if (!reader.Text(path)) return EPROTO;
  CFindData data;
  if (SmbModuleFileSystem().FindFirst(path, data)) return 0;
  return errno != 0 ? static_cast<uint32_t>(errno) : EIO;
}

// Reaps the helpers this one started that have ended, keeping errno. Runs
// as the SIGCHLD handler: the program learns of their end by their pidfds,
// and only the parent can reap them.
void ReapHelpers(int /*signal*/) {
  const int saved = errno;
  while (waitpid(-1, nullptr, WNOHANG) > 0) {
  }
  errno = saved;
}

// How a fork request went: in the process that asked for it (the reply is
// to be sent), or in the new helper (nothing is to be sent, and the socket
// is now its own).
enum class CForkSide { kParent, kChild };

// Serves a fork request on socket: takes the new helper's socket end, loads
// the module and starts the new helper with that end as its standard
// input. In the parent, sends the reply and the pidfd itself; returns
// kParent, or kParent with *broken set when the program could not be
// answered. In the new helper, returns kChild.
CForkSide ServeFork(int socket, bool& broken) {
  int end = -1;
  broken = false;
  if (!ReceiveSmbHelperFd(socket, end, SmbHelperNowMs() + 10000)) {
    broken = true;
    return CForkSide::kParent;
  }
  // Loaded here, once: every helper started from this process has it.
  SmbModuleFileSystem();
  static const bool handled = [] {
    struct sigaction action {};
    action.sa_handler = ReapHelpers;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_NOCLDSTOP;
    return sigaction(SIGCHLD, &action, nullptr) == 0;
  }();
  // SIGCHLD waits until the new helper has its pidfd: a helper that ended
  // at once and was reaped first would leave its process id to be reused.
  sigset_t childSignal;
  sigset_t before;
  sigemptyset(&childSignal);
  sigaddset(&childSignal, SIGCHLD);
  sigprocmask(SIG_BLOCK, &childSignal, &before);
  const pid_t pid = handled ? fork() : -1;
  if (pid == 0) {
    signal(SIGCHLD, SIG_DFL);
    sigprocmask(SIG_SETMASK, &before, nullptr);
    if (dup2(end, STDIN_FILENO) < 0) _exit(0);
    close(end);
    return CForkSide::kChild;
  }
  int failure = pid < 0 ? errno : 0;
  int pidfd = -1;
  if (pid > 0) {
    pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (pidfd < 0) {
      failure = errno;
      kill(pid, SIGKILL);
    }
  }
  sigprocmask(SIG_SETMASK, &before, nullptr);
  close(end);
  CSmbHelperWriter reply;
  if (failure == 0) reply.Number64(static_cast<uint64_t>(pid));
  broken = !SendSmbHelperMessage(socket, static_cast<uint32_t>(failure), reply.Bytes()) ||
           (pidfd >= 0 && !SendSmbHelperFd(socket, pidfd));
  if (pidfd >= 0) close(pidfd);
  return CForkSide::kParent;
}

}  // namespace

int main() {
  // Nothing else may read this process's memory, which holds the password.
  prctl(PR_SET_DUMPABLE, 0);
  signal(SIGPIPE, SIG_IGN);
  // A helper reads over its one connection and starts no helpers itself.
  SetConnections(1);
  constexpr int kSocket = STDIN_FILENO;
  std::vector<uint8_t> request;
  std::vector<uint8_t> reply;
  // A helper that has made a connection or holds credentials starts no
  // others: they would share its connection and hold its password.
  bool served = false;
  for (;;) {
    uint32_t kind = 0;
    // The program closed the socket or went away: nothing is left to do
    // (_exit, for nothing held here needs to be written out).
    if (!ReceiveSmbHelperMessage(kSocket, kind, request, -1)) _exit(0);
    uint32_t answer = 0;
    reply.clear();
    switch (static_cast<CSmbHelperRequest>(kind)) {
      case CSmbHelperRequest::kFork: {
        if (served) {
          int end = -1;
          if (ReceiveSmbHelperFd(kSocket, end, SmbHelperNowMs() + 10000)) close(end);
          answer = EPROTO;
          break;
        }
        // The new helper serves its own socket from here on; the first one
        // goes on unless the program can no longer be answered.
        bool broken = false;
        if (ServeFork(kSocket, broken) == CForkSide::kParent && broken) _exit(0);
        continue;
      }
      case CSmbHelperRequest::kSetup:
        served = true;
        answer = TakeSetup(request) ? 0 : EPROTO;
        request.resize(request.capacity());
        explicit_bzero(request.data(), request.size());
        break;
      case CSmbHelperRequest::kReadFile:
        served = true;
        answer = ServeRead(request, reply);
        break;
      case CSmbHelperRequest::kReach:
        served = true;
        answer = ServeReach(request);
        break;
      default:
        answer = EPROTO;
        break;
    }
    if (!SendSmbHelperMessage(kSocket, answer, reply)) _exit(0);
  }
}
