// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#ifndef _FILE_OFFSET_BITS
#define _FILE_OFFSET_BITS 64
#endif

#include "platform/posix/PosixReadings.h"
#include "platform/ErrnoGuard.h"
#include "platform/ThreadReadings.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

// Reads the bytes at [start, start + count) of fd into buffer, all of them
// but where the file ends. Returns the number read, or -1 with errno set.
ssize_t ReadFully(int fd, uint8_t* buffer, size_t count, off_t start, size_t alignment) {
  size_t done = 0;
  while (done < count) {
    const ssize_t got = pread(fd, buffer + done, count - done, start + static_cast<off_t>(done));
    if (got < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (got == 0) break;
    done += static_cast<size_t>(got);
    // A direct read that stops off the alignment has met the end of the file.
    if (done % alignment != 0) break;
  }
  return static_cast<ssize_t>(done);
}

// The shared direct descriptor and its alignment; closed when the readings
// end, after their workers.
struct CDirectFile {
  int fd = -1;
  size_t alignment = 0;
  ~CDirectFile() {
    if (fd >= 0) {
      CErrnoGuard guard;
      close(fd);
    }
  }
};

// A reader over the shared descriptor: pread needs no position of its own.
class CPosixReader final : public CPositionalReader {
public:
  explicit CPosixReader(const CDirectFile& file) : m_file(file) {}

  // Reads the aligned stretch around the window and points into it.
  const uint8_t* ReadAt(int64_t position, uint32_t count, uint8_t* scratch, uint32_t& got) override {
    const size_t alignment = m_file.alignment;
    const auto start = static_cast<off_t>(position - position % static_cast<int64_t>(alignment));
    const size_t lead = static_cast<size_t>(position - start);
    const size_t span = (lead + count + alignment - 1) / alignment * alignment;
    got = 0;
    if (span > kReadingScratchBytes) {
      errno = EINVAL;
      return nullptr;
    }
    const ssize_t read = ReadFully(m_file.fd, scratch, span, start, alignment);
    if (read < 0) return nullptr;
    const size_t after = static_cast<size_t>(read) > lead ? static_cast<size_t>(read) - lead : 0;
    got = static_cast<uint32_t>(after < count ? after : count);
    return scratch + lead;
  }

private:
  const CDirectFile& m_file;
};

// Returns the smallest alignment of 512 and 4096 with which fd takes a
// direct read, or 0 when neither works.
size_t ProbeAlignment(int fd) {
  void* probe = aligned_alloc(kReadingScratchAlign, kReadingScratchAlign);
  if (probe == nullptr) return 0;
  size_t found = 0;
  for (const size_t alignment : {size_t{512}, size_t{4096}}) {
    if (ReadFully(fd, static_cast<uint8_t*>(probe), alignment, 0, alignment) >= 0) {
      found = alignment;
      break;
    }
    if (errno != EINVAL) break;
  }
  free(probe);
  return found;
}

}  // namespace

std::unique_ptr<CReadQueue> OpenPosixReadings(int fd) {
  CErrnoGuard guard;
  // A new open of the file itself, not of its path: a file renamed or
  // replaced since is still the one read.
  char self[64];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
  auto file = std::make_shared<CDirectFile>();
  file->fd = open(self, O_RDONLY | O_DIRECT | O_CLOEXEC);
  if (file->fd < 0) return nullptr;
  file->alignment = ProbeAlignment(file->fd);
  if (file->alignment == 0) return nullptr;
  return MakeThreadReadings(kPosixReadingsInFlight, [file]() -> std::unique_ptr<CPositionalReader> {
    return std::make_unique<CPosixReader>(*file);
  });
}
