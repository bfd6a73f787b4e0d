// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/smb/SmbThreads.h"
#include "platform/ErrnoGuard.h"

#include <dlfcn.h>
#include <pthread.h>

#include <cerrno>
#include <mutex>
#include <new>

namespace {

// The table libsmbclient's support library takes: its own layout, a
// pointer per function in this order.
struct CSambaThreadFunctions {
  int (*createMutex)(const char* name, void** lock, const char* location);
  void (*destroyMutex)(void* lock, const char* location);
  int (*lockMutex)(void* lock, int lockType, const char* location);
  int (*createTls)(const char* name, void** key, const char* location);
  void (*destroyTls)(void** key, const char* location);
  int (*setTls)(void* key, const void* value, const char* location);
  void* (*getTls)(void* key, const char* location);
};

constexpr int kSambaLock = 1;  // lockMutex's lockType; 2 unlocks

int CreateMutex(const char* /*name*/, void** lock, const char* /*location*/) {
  auto* mutex = new (std::nothrow) pthread_mutex_t;
  if (mutex == nullptr) return -1;
  if (pthread_mutex_init(mutex, nullptr) != 0) {
    delete mutex;
    return -1;
  }
  *lock = mutex;
  return 0;
}

void DestroyMutex(void* lock, const char* /*location*/) {
  auto* mutex = static_cast<pthread_mutex_t*>(lock);
  pthread_mutex_destroy(mutex);
  delete mutex;
}

int LockMutex(void* lock, int lockType, const char* /*location*/) {
  auto* mutex = static_cast<pthread_mutex_t*>(lock);
  return lockType == kSambaLock ? pthread_mutex_lock(mutex) : pthread_mutex_unlock(mutex);
}

int CreateTls(const char* /*name*/, void** key, const char* /*location*/) {
  if (*key != nullptr) return 0;
  auto* created = new (std::nothrow) pthread_key_t;
  if (created == nullptr) return -1;
  if (pthread_key_create(created, nullptr) != 0) {
    delete created;
    return -1;
  }
  *key = created;
  return 0;
}

void DestroyTls(void** key, const char* /*location*/) {
  auto* created = static_cast<pthread_key_t*>(*key);
  if (created == nullptr) return;
  pthread_key_delete(*created);
  delete created;
  *key = nullptr;
}

// A key not made yet holds nothing: the library asks for its stack frames'
// key before it makes it.
int SetTls(void* key, const void* value, const char* /*location*/) {
  return key == nullptr ? EINVAL : pthread_setspecific(*static_cast<pthread_key_t*>(key), value);
}

void* GetTls(void* key, const char* /*location*/) {
  return key == nullptr ? nullptr : pthread_getspecific(*static_cast<pthread_key_t*>(key));
}

const CSambaThreadFunctions g_functions = {CreateMutex, DestroyMutex, LockMutex, CreateTls,
                                           DestroyTls,  SetTls,       GetTls};

}  // namespace

bool SetUpSmbThreads() {
  static std::once_flag once;
  static bool taken = false;
  std::call_once(once, [] {
    CErrnoGuard guard;
    using CSetFunctions = int (*)(const CSambaThreadFunctions*);
    void* symbol = dlsym(RTLD_DEFAULT, "smb_thread_set_functions");
    if (symbol == nullptr) return;
    auto setFunctions = reinterpret_cast<CSetFunctions>(symbol);
    taken = setFunctions(&g_functions) == 0;
  });
  return taken;
}
