// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/smb/SmbContext.h"
#include "platform/ErrnoGuard.h"

#include <dirent.h>
#include <fcntl.h>
#include <libsmbclient.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/smb/SmbCredentials.h"
#include "platform/smb/SmbThreads.h"

namespace {

// Two locks: g_contextLock for the process's context and the files open in
// it, g_lock for the state libsmbclient keeps for the whole process (see
// LockSmbSharedState). A CSmbCall holds both, in that order; a read of a
// file open in the context (CSmbFileCall) holds the first alone, and a
// reader thread's logon or open the second alone.
std::recursive_mutex g_contextLock;
std::recursive_mutex g_lock;
SMBCCTX* g_context = nullptr;  // guarded by g_contextLock and g_lock, like everything below
uint32_t g_appliedTimeoutMs = 0;
uint64_t g_appliedGeneration = 0;
// How often libsmbclient asked for the credentials of a new connection, and
// how many connections it made (logged on and connected to their share).
// Atomic, as the readers' contexts (SmbReaderContext) count on threads of
// their own.
std::atomic<uint64_t> g_logonsAsked{0};
std::atomic<uint64_t> g_connectionsMade{0};
// How often a cached connection was found alive and used.
std::atomic<uint64_t> g_connectionsReused{0};
std::atomic<smbc_add_cached_srv_fn> g_addCachedServer{nullptr};  // libsmbclient's own
std::atomic<smbc_check_server_fn> g_checkServer{nullptr};        // libsmbclient's own
// Making and freeing contexts touches libsmbclient's process-wide state:
// never two at a time.
std::mutex g_lifetimeLock;

// Frees context; errno is kept.
void FreeContext(SMBCCTX* context) {
  CErrnoGuard guard;
  std::lock_guard lifetime(g_lifetimeLock);
  smbc_free_context(context, 1);
}

// The readers' contexts not in use, with the time limit and the credentials'
// generation each was set up with.
struct CPooledContext {
  SMBCCTX* context;
  uint32_t timeoutMs;
  uint64_t generation;
};
std::mutex g_poolLock;
// Never destroyed: the pool lives as long as the process, as the readers'
// threads do, and keeps its contexts (and their connections) reachable to
// the end, also for a reader that gives its context back while the program
// exits.
std::vector<CPooledContext>& g_pool = *new std::vector<CPooledContext>;  // guarded by g_poolLock

// Hands libsmbclient the credentials for a connection about to log on.
// libsmbclient asks only when it has no cached connection for the share.
void AuthData(SMBCCTX* context, const char* /*server*/, const char* /*share*/, char* workgroup,
              int workgroupSize, char* user, int userSize, char* password, int passwordSize) {
  ++g_logonsAsked;
  const char* defaultUser = smbc_getUser(context);
  FillSmbAuthData(defaultUser ? defaultUser : "", workgroup, workgroupSize, user, userSize, password,
                  passwordSize);
}

// Counts a connection libsmbclient made, logged on and connected to its
// share, then caches it as libsmbclient's own function does.
int AddCachedServer(SMBCCTX* context, SMBCSRV* server, const char* name, const char* share,
                    const char* workgroup, const char* user) {
  ++g_connectionsMade;
  return g_addCachedServer.load()(context, server, name, share, workgroup, user);
}

// Checks a cached connection as libsmbclient's own function does, and
// counts it when it is alive: the call that looked for it goes through it.
// Returns 0 when alive, 1 when not.
int CheckServer(SMBCCTX* context, SMBCSRV* server) {
  const int dead = g_checkServer.load()(context, server);
  if (dead == 0) ++g_connectionsReused;
  return dead;
}

// Returns true when winbindd runs on this machine (a process of that name
// is there), so that a logon may take the credentials it caches for the
// user. Found once per process; errno is kept.
bool WinbindRuns() {
  static const bool runs = [] {
    CErrnoGuard guard;
    DIR* processes = opendir("/proc");
    if (processes == nullptr) return true;  // cannot tell: keep the cache on
    bool found = false;
    while (const dirent* entry = readdir(processes)) {
      if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
      char name[32] = {};
      const std::string path = std::string("/proc/") + entry->d_name + "/comm";
      const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) continue;
      const ssize_t got = read(fd, name, sizeof name - 1);
      close(fd);
      if (got > 0 && std::strncmp(name, "winbindd", 8) == 0 && (name[8] == '\n' || name[8] == '\0')) {
        found = true;
        break;
      }
    }
    closedir(processes);
    return found;
  }();
  return runs;
}

// Swallows libsmbclient's debug messages: nothing of it may reach standard
// output (which may carry a front end's JSON) or a log.
void DiscardLog(void* /*privateData*/, int /*level*/, const char* /*message*/) {}

// Returns a new, initialised context with the time limit timeoutMs and the
// credentials' logon rules of now, or nullptr with errno set. May be called
// on any thread; each context is then used by one thread at a time.
SMBCCTX* CreateContext(uint32_t timeoutMs) {
  // Contexts used on several threads at once need libsmbclient's thread
  // setup, made before its first use.
  SetUpSmbThreads();
  std::lock_guard lifetime(g_lifetimeLock);
  SMBCCTX* context = smbc_new_context();
  if (context == nullptr) {
    if (errno == 0) errno = ENOMEM;
    return nullptr;
  }
  smbc_setDebug(context, 0);
  smbc_setLogCallback(context, nullptr, DiscardLog);
  smbc_setOptionDebugToStderr(context, 1);
  smbc_setFunctionAuthDataWithContext(context, AuthData);
  g_addCachedServer.store(smbc_getFunctionAddCachedServer(context));
  smbc_setFunctionAddCachedServer(context, AddCachedServer);
  g_checkServer.store(smbc_getFunctionCheckServer(context));
  smbc_setFunctionCheckServer(context, CheckServer);
  // A Kerberos ticket the user holds is used when the server takes it;
  // otherwise the logon falls back to the user and password (or guest).
  smbc_setOptionUseKerberos(context, 1);
  smbc_setOptionFallbackAfterKerberos(context, 1);
  // The credentials winbindd caches for the user, where it runs. Without
  // it, asking for them costs every logon a round trip of its own (three
  // session setups instead of two) and finds nothing.
  smbc_setOptionUseCCache(context, WinbindRuns() ? 1 : 0);
  smbc_setOptionOpenShareMode(context, SMBC_SHAREMODE_DENY_NONE);
  smbc_setOptionUrlEncodeReaddirEntries(context, 0);
  smbc_setTimeout(context, static_cast<int>(timeoutMs));
  if (smbc_init_context(context) == nullptr) {
    const int error = errno != 0 ? errno : EINVAL;
    smbc_free_context(context, 1);
    errno = error;
    return nullptr;
  }
  smbc_setOptionNoAutoAnonymousLogin(context, SmbCredentialsHaveUser() ? 1 : 0);
  return context;
}

}  // namespace

bool IsSmbConnectionError(int err) {
  switch (err) {
    case ETIMEDOUT:
    case ECONNABORTED:
    case ECONNRESET:
    case ECONNREFUSED:
    case ENOTCONN:
    case EPIPE:
    case EHOSTUNREACH:
    case EHOSTDOWN:
    case ENETUNREACH:
    case ENETDOWN:
    case ENETRESET:
    case EIO:
      return true;
    default:
      return false;
  }
}

CSmbCall::CSmbCall()
    : m_contextLock(g_contextLock),
      m_lock(g_lock),
      m_logonsAsked(g_logonsAsked),
      m_connectionsMade(g_connectionsMade),
      m_connectionsReused(g_connectionsReused) {}

SMBCCTX* CSmbCall::Context() {
  if (g_context == nullptr) {
    const uint32_t timeout = SmbTimeoutMs();
    const uint64_t generation = SmbCredentialsGeneration();
    g_context = CreateContext(timeout);
    g_appliedTimeoutMs = timeout;
    g_appliedGeneration = generation;
    return g_context;
  }
  const uint32_t timeout = SmbTimeoutMs();
  const uint64_t generation = SmbCredentialsGeneration();
  if (timeout != g_appliedTimeoutMs || generation != g_appliedGeneration) {
    smbc_setTimeout(g_context, static_cast<int>(timeout));
    smbc_setOptionNoAutoAnonymousLogin(g_context, SmbCredentialsHaveUser() ? 1 : 0);
    g_appliedTimeoutMs = timeout;
    g_appliedGeneration = generation;
    DropIdleConnections();
  }
  return g_context;
}

void CSmbCall::DropIdleConnections() {
  if (g_context == nullptr) return;
  CErrnoGuard guard;
  smbc_getFunctionPurgeCachedServers(g_context)(g_context);
}

void CSmbCall::AfterFailure(int err) {
  if (IsSmbConnectionError(err)) DropIdleConnections();
}

bool CSmbCall::NewConnectionFailed() const {
  return g_logonsAsked != m_logonsAsked && g_connectionsMade == m_connectionsMade &&
         g_connectionsReused == m_connectionsReused;
}

std::unique_lock<std::recursive_mutex> LockSmbSharedState() { return std::unique_lock(g_lock); }

CSmbFileCall::CSmbFileCall() : m_lock(g_contextLock) {}

SMBCCTX* CSmbFileCall::Context() const { return g_context; }

SMBCCTX* TakeSmbReaderContext() {
  const uint32_t timeout = SmbTimeoutMs();
  const uint64_t generation = SmbCredentialsGeneration();
  for (;;) {
    CPooledContext pooled{};
    {
      std::lock_guard lock(g_poolLock);
      if (g_pool.empty()) break;
      pooled = g_pool.back();
      g_pool.pop_back();
    }
    if (pooled.timeoutMs == timeout && pooled.generation == generation) return pooled.context;
    FreeContext(pooled.context);
  }
  if (!SetUpSmbThreads()) {
    errno = ENOTSUP;
    return nullptr;
  }
  return CreateContext(timeout);
}

void ReturnSmbReaderContext(SMBCCTX* context, bool connectionFailed) {
  if (context == nullptr) return;
  CErrnoGuard guard;
  if (connectionFailed) smbc_getFunctionPurgeCachedServers(context)(context);
  std::lock_guard lock(g_poolLock);
  g_pool.push_back({context, SmbTimeoutMs(), SmbCredentialsGeneration()});
}
