// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SmbModule.h"

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

#ifndef FERROX_SMB_MODULE_DIR
#error "FERROX_SMB_MODULE_DIR, the module's folder from the program's, is set by platform/CMakeLists.txt"
#endif

namespace {

// Stands for the SMB backend while the module cannot be loaded: every call
// fails with kSmbModuleMissing.
class CMissingSmbFileSystem final : public CFileSystem {
public:
  std::unique_ptr<CStream> Open(const std::string& /*path*/, OpenMode /*mode*/) override {
    errno = kSmbModuleMissing;
    return nullptr;
  }
  std::unique_ptr<CFindHandle> FindFirst(const std::string& /*pattern*/, CFindData& /*data*/) override {
    errno = kSmbModuleMissing;
    return nullptr;
  }
  int MakeDir(const std::string& /*path*/) override { return Fail(); }
  int SetFileTimes(const std::string& /*path*/, int64_t /*accessTime*/, int64_t /*writeTime*/) override {
    return Fail();
  }
  int RemoveFile(const std::string& /*path*/) override { return Fail(); }

private:
  // Returns -1 with errno kSmbModuleMissing.
  static int Fail() {
    errno = kSmbModuleMissing;
    return -1;
  }
};

std::once_flag g_loadOnce;
// Both set once, within g_loadOnce, and read only after it: by the callers
// of call_once, or once g_tried is true.
CFileSystem* g_backend = nullptr;
std::string g_fault;
std::atomic<bool> g_tried{false};

// Returns the folder of the running program, without a slash at its end, or
// an empty text when its path cannot be read.
std::string ProgramFolder() {
  std::string path(256, '\0');
  for (;;) {
    const ssize_t got = readlink("/proc/self/exe", path.data(), path.size());
    if (got < 0) return std::string();
    if (static_cast<size_t>(got) < path.size()) {
      path.resize(static_cast<size_t>(got));
      break;
    }
    path.resize(path.size() * 2);
  }
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// Loads the module and takes its backend into g_backend, or sets g_fault and
// the stand-in instead. Called once.
void Load() {
  static CMissingSmbFileSystem missing;
  const std::string prefix =
      "Samba's client library could not be loaded (install the package libsmbclient): ";
  const std::string path = SmbModulePath();
  if (path.empty()) {
    g_fault = prefix + "the program's own path (/proc/self/exe) cannot be read";
    g_backend = &missing;
    return;
  }
  // Every symbol is bound now, so that one missing from the program or from
  // a library shows here, as a load failure, and never in the middle of a
  // copy. The module's own symbols stay its own.
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    const char* why = dlerror();
    g_fault = prefix + (why ? why : path + ": cannot be loaded");
    g_backend = &missing;
    return;
  }
  using EntryFunction = CFileSystem* (*)();
  // POSIX hands a function's address out as a void*.
  const auto entry = reinterpret_cast<EntryFunction>(dlsym(module, kSmbModuleEntry));
  if (entry == nullptr) {
    const char* why = dlerror();
    g_fault = prefix + (why ? why : path + ": " + kSmbModuleEntry + " is missing");
    g_backend = &missing;
    return;
  }
  // The module stays loaded for the life of the process.
  g_backend = entry();
  if (g_backend == nullptr) {
    g_fault = prefix + path + ": " + kSmbModuleEntry + " gave no backend";
    g_backend = &missing;
  }
}

}  // namespace

CFileSystem& SmbModuleFileSystem() {
  std::call_once(g_loadOnce, [] {
    Load();
    g_tried.store(true, std::memory_order_release);
  });
  return *g_backend;
}

std::string SmbModuleFault() { return g_tried.load(std::memory_order_acquire) ? g_fault : std::string(); }

std::string SmbModulePath() {
  const char* chosen = std::getenv("FERROX_SMB_MODULE");
  if (chosen != nullptr && *chosen != '\0') return chosen;
  const std::string folder = ProgramFolder();
  if (folder.empty()) return std::string();
  return folder + "/" + FERROX_SMB_MODULE_DIR + "/" + kSmbModuleName;
}

// What LeakSanitizer and ThreadSanitizer, in a build made with them, are not
// to report; both look these functions up when the program starts, long
// before the module is loaded, so they are the program's, not the module's.
// A program's own definition takes the place of either.
//
// LeakSanitizer: with the thread setup (platform/smb/SmbThreads.h),
// libsmbclient's support library keeps its talloc stack frames per thread
// (16 bytes and a small array) and frees none when a thread ends: one such
// frame stays behind for each thread that used libsmbclient and ended,
// which is the worker of each run (the readings' threads live as long as
// the process).
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() {
  return "leak:libsamba-util.so\nleak:libtalloc.so\n";
}

// ThreadSanitizer: looking up a server's name, libsmbclient waits on a lock
// of its name cache, whose database library (libtdb) ends the wait with a
// signal handler of its own that leaves errno changed.
extern "C" __attribute__((weak)) const char* __tsan_default_suppressions() { return "signal:libtdb.so\n"; }
