// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/smb/SmbHelperPool.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/Connections.h"
#include "platform/ErrnoGuard.h"
#include "platform/SmbModule.h"
#include "platform/smb/SmbCredentials.h"
#include "platform/smb/SmbHelperProtocol.h"
#include "platform/smb/SmbPath.h"
#include "platform/smb/SmbTimeout.h"

namespace {

// One helper process and the settings it was last given.
struct CHelper {
  pid_t pid = -1;
  int fd = -1;     // this end of its socket
  int pidfd = -1;  // for one started by the first helper; -1 for one started here
  bool setUp = false;
  uint64_t generation = 0;  // of the credentials it holds
  uint64_t addresses = 0;   // the generation of the written addresses it holds
  uint32_t timeoutMs = 0;
};

// The helpers waiting for work, and how many run, idle or busy. Never
// destroyed: idle helpers end when the program does, as their sockets close.
std::mutex g_lock;
std::condition_variable& g_changed = *new std::condition_variable;
std::vector<CHelper>& g_idle = *new std::vector<CHelper>;  // guarded by g_lock
uint32_t g_running = 0;                                    // guarded by g_lock

// The first helper: it loads the module and starts every other helper as a
// copy of itself (kFork), so that the libraries are loaded once (tens of
// milliseconds of processor time each) rather than once per helper. It
// holds no connection and no credentials, and does not count against
// Connections(). Once it fails, helpers are started one by one instead.
std::mutex g_firstLock;
CHelper g_first;             // guarded by g_firstLock; pid -1 until started
bool g_firstFailed = false;  // guarded by g_firstLock

// Returns how long a read in a helper may take before the helper counts as
// hung: its connection, logon, open and reads are each bounded by the
// request time limit, and a read of kFetchFileBytes takes a few requests.
int64_t ReadBoundMs(uint32_t timeoutMs) { return 8 * static_cast<int64_t>(timeoutMs) + 10000; }

// Returns the environment for a helper: this one, with FERROX_SMB_MODULE
// naming the module this program loaded, and without PASSWD, where a user
// may have handed the program a password (the helper gets it over its
// socket). The texts live in module.
std::vector<char*> HelperEnvironment(std::string& module) {
  module = std::string("FERROX_SMB_MODULE=") + SmbModulePath();
  std::vector<char*> variables;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry)
    if (std::strncmp(*entry, "FERROX_SMB_MODULE=", 18) != 0 && std::strncmp(*entry, "PASSWD=", 7) != 0)
      variables.push_back(*entry);
  variables.push_back(module.data());
  variables.push_back(nullptr);
  return variables;
}

// Starts a helper process of its own into helper. Returns true, or false
// with errno set. The helper gets its end of the socket as standard input,
// its own process group (a Ctrl-C at the terminal is the program's to
// handle, not the helper's) and no blocked signals.
bool SpawnHelper(CHelper& helper) {
  const std::string program = SmbHelperPath();
  if (program.empty()) {
    errno = ENOENT;
    return false;
  }
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  sigset_t none;
  sigemptyset(&none);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGTERM);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
  std::string module;
  std::vector<char*> environment = HelperEnvironment(module);
  std::string name = kSmbHelperName;
  char* arguments[] = {name.data(), nullptr};
  pid_t pid = -1;
  const int failed = posix_spawn(&pid, program.c_str(), &actions, &attributes, arguments, environment.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(ends[1]);
  if (failed != 0) {
    close(ends[0]);
    errno = failed;
    return false;
  }
  helper = CHelper();
  helper.pid = pid;
  helper.fd = ends[0];
  return true;
}

// Ends helper's process and waits for it to end. errno is kept. A helper
// that the first one started is reaped by that one; its pidfd tells here
// when it has ended, and a signal sent through it cannot reach another
// process that took its id.
void EndHelper(CHelper& helper) {
  CErrnoGuard guard;
  if (helper.pidfd < 0) {
    kill(helper.pid, SIGKILL);
    close(helper.fd);
    while (waitpid(helper.pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    return;
  }
  syscall(SYS_pidfd_send_signal, helper.pidfd, SIGKILL, nullptr, 0);
  close(helper.fd);
  pollfd ended{helper.pidfd, POLLIN, 0};
  while (poll(&ended, 1, -1) < 0 && errno == EINTR) {
  }
  close(helper.pidfd);
}

// Returns how long a helper may take to start another.
int64_t ForkBoundMs() { return 10000 + static_cast<int64_t>(SmbTimeoutMs()); }

// Starts helper as a copy of the first helper, starting that one first when
// it is not running. Returns true, or false with errno set when the first
// helper cannot start one; it is then ended and not asked again.
bool ForkHelper(CHelper& helper) {
  std::lock_guard hold(g_firstLock);
  if (g_firstFailed) {
    errno = ENOTSUP;
    return false;
  }
  if (g_first.pid < 0 && !SpawnHelper(g_first)) {
    g_firstFailed = true;
    return false;
  }
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return false;
  const bool asked = SendSmbHelperMessage(g_first.fd, static_cast<uint32_t>(CSmbHelperRequest::kFork), {}) &&
                     SendSmbHelperFd(g_first.fd, ends[1]);
  close(ends[1]);
  const int64_t deadline = SmbHelperNowMs() + ForkBoundMs();
  uint32_t kind = 0;
  std::vector<uint8_t> reply;
  uint64_t pid = 0;
  int pidfd = -1;
  const bool started = asked && ReceiveSmbHelperMessage(g_first.fd, kind, reply, deadline) && kind == 0 &&
                       reply.size() == 8 && CSmbHelperReader(reply).Number64(pid) && pid > 0 &&
                       pid <= static_cast<uint64_t>(INT32_MAX) &&
                       ReceiveSmbHelperFd(g_first.fd, pidfd, deadline);
  if (!started) {
    CErrnoGuard guard;
    close(ends[0]);
    EndHelper(g_first);
    g_firstFailed = true;
    return false;
  }
  helper = CHelper();
  helper.pid = static_cast<pid_t>(pid);
  helper.fd = ends[0];
  helper.pidfd = pidfd;
  return true;
}

// Starts a helper into helper: a copy of the first one, or one of its own
// when that cannot be. Returns true, or false with errno set.
bool StartHelper(CHelper& helper) { return ForkHelper(helper) || SpawnHelper(helper); }

// Takes a helper for one read into helper: an idle one, a new one while
// fewer than the setting allows run, or the first one given back. Returns
// false, with errno set, when none may run or a new one did not start.
bool TakeHelper(CHelper& helper) {
  std::unique_lock hold(g_lock);
  const uint32_t most = Connections() > 1 ? std::min(Connections() - 1, kSmbMostHelpers) : 0;
  if (most == 0) {
    errno = ENOTSUP;
    return false;
  }
  g_changed.wait(hold, [&] { return !g_idle.empty() || g_running < most; });
  if (!g_idle.empty()) {
    helper = g_idle.back();
    g_idle.pop_back();
    return true;
  }
  ++g_running;
  hold.unlock();
  if (StartHelper(helper)) return true;
  CErrnoGuard guard;
  hold.lock();
  --g_running;
  g_changed.notify_one();
  return false;
}

// Gives helper back after a read: kept for the next when it served, ended
// otherwise. errno is kept.
void GiveBack(CHelper& helper, bool served) {
  if (!served) EndHelper(helper);
  std::lock_guard hold(g_lock);
  if (served)
    g_idle.push_back(helper);
  else
    --g_running;
  g_changed.notify_one();
}

// Hands the credentials to the payload of a setup request.
bool WriteCredentials(const CSmbCredentials& credentials, void* context) {
  auto& writer = *static_cast<CSmbHelperWriter*>(context);
  writer.Text(credentials.user);
  writer.Text(credentials.domain);
  writer.Text(credentials.password);
  return true;
}

// Sends request to helper and receives its reply into kind and reply.
// Returns false, with errno set, when the helper did not answer in time or
// broke the protocol.
bool Ask(const CHelper& helper, CSmbHelperRequest request, CSmbHelperWriter& payload, uint32_t& kind,
         std::vector<uint8_t>& reply) {
  const bool sent = SendSmbHelperMessage(helper.fd, static_cast<uint32_t>(request), payload.Bytes());
  if (request == CSmbHelperRequest::kSetup) payload.Wipe();
  return sent &&
         ReceiveSmbHelperMessage(helper.fd, kind, reply, SmbHelperNowMs() + ReadBoundMs(helper.timeoutMs));
}

// Gives helper the time limit, the credentials and the written addresses in
// force when it holds others. Returns false when it did not take them.
bool SetUp(CHelper& helper) {
  const uint64_t generation = SmbCredentialsGeneration();
  const uint32_t timeoutMs = SmbTimeoutMs();
  if (helper.setUp && helper.generation == generation && helper.timeoutMs == timeoutMs &&
      helper.addresses == WrittenSmbAddressesGeneration())
    return true;
  uint64_t addressesGeneration = 0;
  const std::vector<std::string> addresses = WrittenSmbAddresses(addressesGeneration);
  CSmbHelperWriter payload;
  payload.Number32(timeoutMs);
  WithSmbCredentials(WriteCredentials, &payload);
  payload.Number32(static_cast<uint32_t>(addresses.size()));
  for (const std::string& address : addresses) payload.Text(address);
  helper.timeoutMs = timeoutMs;
  uint32_t kind = 0;
  std::vector<uint8_t> reply;
  if (!Ask(helper, CSmbHelperRequest::kSetup, payload, kind, reply) || kind != 0) return false;
  helper.setUp = true;
  helper.generation = generation;
  helper.addresses = addressesGeneration;
  return true;
}

}  // namespace

std::string SmbHelperPath() {
  const char* named = std::getenv("FERROX_SMB_HELPER");
  if (named != nullptr && *named != '\0') return named;
  const std::string module = SmbModulePath();
  const size_t slash = module.rfind('/');
  return slash == std::string::npos ? std::string() : module.substr(0, slash + 1) + kSmbHelperName;
}

bool SmbHelpersAvailable() {
  if (Connections() <= 1) return false;
  static const bool found = [] {
    CErrnoGuard guard;
    const std::string program = SmbHelperPath();
    return !program.empty() && access(program.c_str(), X_OK) == 0;
  }();
  return found;
}

void NoteSmbFileListed(const std::string& folder) {
  static std::atomic<uint32_t> listed{0};
  static std::atomic<uint32_t> warmed{0};
  if (warmed.load(std::memory_order_relaxed) >= kSmbWarmHelpers || !SmbHelpersAvailable()) return;
  const uint32_t wanted = std::min(
      {kSmbWarmHelpers, Connections() - 1, (++listed + kSmbFilesPerWarmHelper - 1) / kSmbFilesPerWarmHelper});
  for (uint32_t now = warmed.load(); now < wanted;) {
    if (!warmed.compare_exchange_weak(now, now + 1)) continue;
    ++now;
    std::thread([folder] {
      CHelper helper;
      if (!TakeHelper(helper)) return;
      CSmbHelperWriter request;
      request.Text(folder);
      uint32_t kind = 0;
      std::vector<uint8_t> reply;
      // A helper that could not reach the folder still served: its reads
      // will try again, and fail as the copy's own would.
      GiveBack(helper, SetUp(helper) && Ask(helper, CSmbHelperRequest::kReach, request, kind, reply) &&
                           reply.empty());
    }).detach();
  }
}

bool ReadFileInSmbHelper(const std::string& path, uint64_t start, size_t count, uint64_t end,
                         std::vector<uint8_t>& data) {
  CHelper helper;
  if (!TakeHelper(helper)) {
    errno = ECHILD;
    return false;
  }
  if (!SetUp(helper)) {
    GiveBack(helper, false);
    errno = ECHILD;
    return false;
  }
  CSmbHelperWriter request;
  request.Text(path);
  request.Number64(start);
  request.Number64(count);
  request.Number64(end);
  uint32_t kind = 0;
  if (!Ask(helper, CSmbHelperRequest::kReadFile, request, kind, data) || (kind == 0 && data.size() > count)) {
    GiveBack(helper, false);
    data.clear();
    errno = ECHILD;
    return false;
  }
  GiveBack(helper, true);
  if (kind != 0) {
    data.clear();
    errno = static_cast<int>(kind);
    return false;
  }
  return true;
}
