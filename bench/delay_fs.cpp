// SPDX-License-Identifier: GPL-3.0-or-later
// A read-only passthrough file system (FUSE) that answers every read request
// only after a fixed delay: a source as slow per request as a link with that
// round-trip time, for the benchmark of check after copy.
//
//   delay_fs SOURCE MOUNTPOINT DELAY_US [fuse options]
//
// Files are opened with direct_io, so no read is served from the page cache
// and every read of a program becomes requests that wait DELAY_US each.
// Requests are served on many threads, each waiting on its own.
#define FUSE_USE_VERSION 31

#include <fuse.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string g_source;
long g_delayUs = 0;

std::string Real(const char* path) { return g_source + path; }

int GetAttr(const char* path, struct stat* st, fuse_file_info* /*fi*/) {
  return lstat(Real(path).c_str(), st) == 0 ? 0 : -errno;
}

int ReadDir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t /*offset*/, fuse_file_info* /*fi*/,
            fuse_readdir_flags /*flags*/) {
  DIR* dir = opendir(Real(path).c_str());
  if (dir == nullptr) return -errno;
  while (dirent* entry = readdir(dir))
    fill(buffer, entry->d_name, nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
  closedir(dir);
  return 0;
}

int Open(const char* path, fuse_file_info* fi) {
  if ((fi->flags & O_ACCMODE) != O_RDONLY) return -EROFS;
  const int fd = open(Real(path).c_str(), O_RDONLY);
  if (fd < 0) return -errno;
  fi->fh = static_cast<uint64_t>(fd);
  fi->direct_io = 1;
  return 0;
}

int Read(const char* /*path*/, char* buffer, size_t count, off_t offset, fuse_file_info* fi) {
  std::this_thread::sleep_for(std::chrono::microseconds(g_delayUs));
  const ssize_t got = pread(static_cast<int>(fi->fh), buffer, count, offset);
  return got < 0 ? -errno : static_cast<int>(got);
}

int Release(const char* /*path*/, fuse_file_info* fi) {
  close(static_cast<int>(fi->fh));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s SOURCE MOUNTPOINT DELAY_US [fuse options]\n", argv[0]);
    return 2;
  }
  g_source = argv[1];
  g_delayUs = std::strtol(argv[3], nullptr, 10);
  fuse_operations operations{};
  operations.getattr = GetAttr;
  operations.readdir = ReadDir;
  operations.open = Open;
  operations.read = Read;
  operations.release = Release;
  std::vector<char*> args = {argv[0], argv[2], const_cast<char*>("-f"), const_cast<char*>("-o"),
                             const_cast<char*>("ro,max_threads=128,max_idle_threads=128")};
  for (int i = 4; i < argc; ++i) args.push_back(argv[i]);
  return fuse_main(static_cast<int>(args.size()), args.data(), &operations, nullptr);
}
