// SPDX-License-Identifier: GPL-3.0-or-later
// Readings for check after copy on Windows: positional reads of whole
// sectors through a handle opened without the system cache.
#include "platform/windows/WinReadings.h"

#include "platform/windows/WindowsApi.h"

#include <cerrno>
#include <cstdint>

#include "platform/ErrnoGuard.h"
#include "platform/ThreadReadings.h"
#include "platform/windows/WinErrors.h"

namespace {

// The alignment of every unbuffered read's position, length and memory:
// a whole number of sectors for disks of 512-byte and of 4096-byte sectors.
constexpr int64_t kSector = 4096;

// The shared unbuffered handle, opened for overlapped I/O so that readings
// on several threads go to the file together; closed when the readings end,
// after their workers.
struct CUnbufferedFile {
  HANDLE handle = INVALID_HANDLE_VALUE;
  ~CUnbufferedFile() {
    if (handle != INVALID_HANDLE_VALUE) {
      CErrnoGuard guard;
      CloseHandle(handle);
    }
  }
};

// A reader over the shared handle, with an event of its own to wait on.
class CWinReader final : public CPositionalReader {
public:
  // Takes over event, a manual-reset event.
  CWinReader(const CUnbufferedFile& file, HANDLE event) : m_file(file), m_event(event) {}

  ~CWinReader() override {
    CErrnoGuard guard;
    CloseHandle(m_event);
  }

  // Reads the sectors around the window into scratch and returns a pointer
  // to the window's first byte there, got set to the bytes of the window the
  // file holds; nullptr with errno set when a read fails.
  const uint8_t* ReadAt(int64_t position, uint32_t count, uint8_t* scratch, uint32_t& got) override {
    got = 0;
    if (position < 0) {
      errno = EINVAL;
      return nullptr;
    }
    const int64_t start = position - position % kSector;
    const auto lead = static_cast<size_t>(position - start);
    const size_t sector = static_cast<size_t>(kSector);
    const size_t span = (lead + count + sector - 1) / sector * sector;
    if (span > kReadingScratchBytes) {
      errno = EINVAL;
      return nullptr;
    }
    size_t done = 0;
    while (done < span) {
      const auto at = static_cast<uint64_t>(start) + done;
      OVERLAPPED request{};
      request.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
      request.OffsetHigh = static_cast<DWORD>(at >> 32);
      request.hEvent = m_event;
      DWORD read = 0;
      if (!ReadFile(m_file.handle, scratch + done, static_cast<DWORD>(span - done), nullptr, &request) &&
          GetLastError() != ERROR_IO_PENDING) {
        if (GetLastError() == ERROR_HANDLE_EOF) break;
        SetErrnoFromLastError();
        return nullptr;
      }
      if (!GetOverlappedResult(m_file.handle, &request, &read, TRUE)) {
        if (GetLastError() == ERROR_HANDLE_EOF) break;
        SetErrnoFromLastError();
        return nullptr;
      }
      if (read == 0) break;
      done += read;
      // An unbuffered read that stops off a sector has met the end of the file.
      if (done % kSector != 0) break;
    }
    const size_t after = done > lead ? done - lead : 0;
    got = static_cast<uint32_t>(after < count ? after : count);
    return scratch + lead;
  }

private:
  const CUnbufferedFile& m_file;
  HANDLE m_event;
};

}  // namespace

std::unique_ptr<CReadQueue> OpenWinReadings(const std::wstring& widePath) {
  auto file = std::make_shared<CUnbufferedFile>();
  file->handle =
      CreateFileW(widePath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_NO_BUFFERING | FILE_FLAG_OVERLAPPED, nullptr);
  if (file->handle == INVALID_HANDLE_VALUE) {
    SetErrnoFromLastError();
    return nullptr;
  }
  return MakeThreadReadings(kWinReadingsInFlight, [file]() -> std::unique_ptr<CPositionalReader> {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr) {
      SetErrnoFromLastError();
      return nullptr;
    }
    return std::make_unique<CWinReader>(*file, event);
  });
}
