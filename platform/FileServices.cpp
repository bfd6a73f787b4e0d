// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileServices.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/StreamReadings.h"
#include "platform/SystemClock.h"
#include "platform/smb/SmbPath.h"
#if defined(_WIN32)
#include "platform/windows/WinFileSystem.h"
#else
#include "platform/SmbModule.h"
#include "platform/posix/PosixFileSystem.h"
#endif

CStream::~CStream() = default;
void CStream::DropCache(int64_t /*offset*/, int64_t /*length*/) {}
const uint8_t* CStream::Lend(size_t /*count*/) { return nullptr; }
void CStream::ExpectEnd(uint64_t /*end*/) {}
bool CStream::Identify(CFileId& id) {
  id = CFileId();
  return false;
}
int CStream::LockExclusive() {
  errno = ENOTSUP;
  return -1;
}
int CStream::Truncate(int64_t /*length*/) {
  errno = ENOTSUP;
  return -1;
}
std::unique_ptr<CReadQueue> CStream::OpenReadings() { return nullptr; }
CReadQueue& CStream::Readings() {
  if (!m_readings) m_readings = OpenReadings();
  if (!m_readings) m_readings = MakeStreamReadings(*this);
  return *m_readings;
}
CReadQueue::~CReadQueue() = default;
CFindHandle::~CFindHandle() = default;
CFileSystem::~CFileSystem() = default;
CClock::~CClock() = default;

namespace {

struct CMount {
  std::string prefix;
  CFileSystem* fs;
};

std::mutex g_mountLock;
std::vector<CMount> g_mounts;  // longest prefix first
std::atomic<CClock*> g_clock{nullptr};

thread_local uint32_t t_randomState = 1;

}  // namespace

void MountFileSystem(const std::string& prefix, CFileSystem* fs) {
  std::lock_guard lock(g_mountLock);
  std::erase_if(g_mounts, [&](const CMount& m) { return m.prefix == prefix; });
  g_mounts.push_back({prefix, fs});
  std::stable_sort(g_mounts.begin(), g_mounts.end(),
                   [](const CMount& a, const CMount& b) { return a.prefix.size() > b.prefix.size(); });
}

void UnmountFileSystem(const std::string& prefix) {
  std::lock_guard lock(g_mountLock);
  std::erase_if(g_mounts, [&](const CMount& m) { return m.prefix == prefix; });
}

// Returns true when c separates path components: '/', and on Windows '\\'
// as well.
static bool IsSeparator(char c) {
#if defined(_WIN32)
  if (c == '\\') return true;
#endif
  return c == '/';
}

CFileSystem& FileSystemFor(std::string_view path) {
  {
    std::lock_guard lock(g_mountLock);
    for (const CMount& m : g_mounts) {
      // A prefix matches whole path components only: "/mem" serves "/mem/x",
      // not "/memory".
      if (path.starts_with(m.prefix) && (path.size() == m.prefix.size() || IsSeparator(m.prefix.back()) ||
                                         IsSeparator(path[m.prefix.size()])))
        return *m.fs;
    }
  }
  // The lock is not held past here: loading the SMB backend takes a while.
#if defined(_WIN32)
  // Local and UNC paths alike: shares go through the system's redirector.
  return WinFileSystem();
#else
  // "smb://", "//server" and "\\server" paths go to the SMB backend, loaded
  // with the first of them; a mounted prefix above wins over it, as for any
  // other path.
  if (IsSmbPath(path)) return SmbModuleFileSystem();
  return PosixFileSystem();
#endif
}

void SetClock(CClock* clock) { g_clock.store(clock); }

static CClock& ClockInUse() {
  CClock* clock = g_clock.load();
  return clock ? *clock : SystemClock();
}

std::unique_ptr<CStream> FileOpen(const std::string& path, OpenMode mode) {
  return FileSystemFor(path).Open(path, mode);
}

std::unique_ptr<CFindHandle> FindFirst(const std::string& pattern, CFindData& data) {
  return FileSystemFor(pattern).FindFirst(pattern, data);
}

int MakeDir(const std::string& path) { return FileSystemFor(path).MakeDir(path); }

int SetFileTimes(const std::string& path, int64_t accessTime, int64_t writeTime) {
  return FileSystemFor(path).SetFileTimes(path, accessTime, writeTime);
}

int RemoveFile(const std::string& path) { return FileSystemFor(path).RemoveFile(path); }

bool IsRemotePath(const std::string& path) { return FileSystemFor(path).IsRemote(path); }

bool CFileSystem::IsRemote(const std::string& /*path*/) { return false; }

bool ReadFileAt(const std::string& path, uint64_t start, size_t count, uint64_t end,
                std::vector<uint8_t>& data) {
  return FileSystemFor(path).ReadFileAt(path, start, count, end, data);
}

bool CFileSystem::ReadFileAt(const std::string& path, uint64_t start, size_t count, uint64_t end,
                             std::vector<uint8_t>& data) {
  std::unique_ptr<CStream> stream = Open(path, OpenMode::kRead);
  if (!stream) return false;
  stream->ExpectEnd(end);
  if (start != 0 && stream->Seek(static_cast<int64_t>(start), SeekOrigin::kSet) != 0) return false;
  data.resize(count);
  const size_t got = count ? stream->Read(data.data(), count) : 0;
  if (stream->Error()) {
    const int error = errno;
    stream.reset();
    errno = error;
    return false;
  }
  data.resize(got);
  return true;
}

int CFileSystem::RemoveFile(const std::string& /*path*/) {
  errno = ENOTSUP;
  return -1;
}

int64_t TimeNow() { return ClockInUse().Now(); }

void SleepMs(uint32_t ms) { ClockInUse().Sleep(ms); }

// The generator is the classic linear congruential one of the C runtimes
// (multiplier 214013, increment 2531011, bits 16 to 30), so a seed gives the
// same sequence on every platform.
void SeedRandom(uint32_t seed) { t_randomState = seed; }

uint32_t RandomState() { return t_randomState; }

int Random() {
  t_randomState = t_randomState * 214013u + 2531011u;
  return static_cast<int>((t_randomState >> 16) & 0x7fffu);
}
