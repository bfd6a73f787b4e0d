// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/smb/SmbCredentials.h"

#include <string.h>
#if defined(_WIN32)
#include <windows.h>
#endif

#include <atomic>
#include <cstddef>
#include <mutex>

namespace {

std::mutex g_lock;
// Never destroyed: helpers being started in the background may read it
// while the program exits.
CSmbCredentials& g_credentials = *new CSmbCredentials;  // guarded by g_lock
std::atomic<uint64_t> g_generation{0};

// Overwrites every byte text has held room for, then empties it, so that a
// secret does not linger in freed or reused memory.
void Wipe(std::string& text) {
  text.resize(text.capacity());
#if defined(_WIN32)
  SecureZeroMemory(text.data(), text.size());
#else
  explicit_bzero(text.data(), text.size());
#endif
  text.clear();
}

// Copies text into the buffer of size bytes, cut to fit and terminated.
// A buffer of no size is left alone.
void CopyInto(std::string_view text, char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return;
  const size_t room = static_cast<size_t>(size) - 1;
  const size_t count = text.size() < room ? text.size() : room;
  memcpy(buffer, text.data(), count);
  buffer[count] = '\0';
}

}  // namespace

void SetSmbCredentials(const CSmbCredentials& credentials) {
  std::lock_guard lock(g_lock);
  Wipe(g_credentials.password);
  g_credentials.user = credentials.user;
  g_credentials.domain = credentials.domain;
  g_credentials.password = credentials.password;
  g_generation.fetch_add(1);
}

uint64_t SmbCredentialsGeneration() { return g_generation.load(); }

bool SmbCredentialsHaveUser() {
  std::lock_guard lock(g_lock);
  return !g_credentials.user.empty();
}

bool SmbCredentialsHavePassword() {
  std::lock_guard lock(g_lock);
  return !g_credentials.password.empty();
}

bool WithSmbCredentials(bool (*use)(const CSmbCredentials& credentials, void* context), void* context) {
  std::lock_guard lock(g_lock);
  return use(g_credentials, context);
}

void FillSmbAuthData(std::string_view defaultUser, char* workgroup, int workgroupSize, char* user,
                     int userSize, char* password, int passwordSize) {
  std::lock_guard lock(g_lock);
  if (g_credentials.user.empty() || user == nullptr) return;
  const std::string_view asked(user);
  if (!asked.empty() && asked != defaultUser && asked != g_credentials.user) return;
  if (!g_credentials.domain.empty()) CopyInto(g_credentials.domain, workgroup, workgroupSize);
  CopyInto(g_credentials.user, user, userSize);
  CopyInto(g_credentials.password, password, passwordSize);
}
