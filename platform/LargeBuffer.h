// SPDX-License-Identifier: GPL-3.0-or-later
// Memory for buffers of several mebibytes that are filled with a file's bytes
// soon after they are made, such as the pieces a share file is read ahead
// into.
//
// Every page of new memory costs the kernel a fault the first time it is
// written. On the virtual machines measured here a fault of 4 KiB cost about
// 12 µs, 3 ms for each new MiB (8 MiB in 25 to 35 ms), where the same 8 MiB
// in pages of 2 MiB took 1 ms; a copy that makes its buffers anew in every
// run paid this for each of them. Where the system has them, a large buffer
// therefore asks for huge pages: on Linux anonymous memory aligned to 2 MiB
// and marked for transparent huge pages (which the system gives when it
// has them and are otherwise ordinary pages). Elsewhere it is ordinary memory.
#pragma once

#include <cstddef>
#include <utility>

class CLargeBuffer {
public:
  CLargeBuffer() = default;

  // Makes a buffer of size bytes, uninitialised. Data() is nullptr when the
  // memory could not be had.
  explicit CLargeBuffer(size_t size);

  ~CLargeBuffer() { Release(); }

  // Takes other's memory over; other is empty afterwards.
  CLargeBuffer(CLargeBuffer&& other) noexcept { TakeOver(other); }
  CLargeBuffer& operator=(CLargeBuffer&& other) noexcept {
    if (this != &other) {
      Release();
      TakeOver(other);
    }
    return *this;
  }
  CLargeBuffer(const CLargeBuffer&) = delete;
  CLargeBuffer& operator=(const CLargeBuffer&) = delete;

  // Returns the buffer's first byte, or nullptr for an empty or failed one.
  char* Data() const { return m_data; }

  // Returns the bytes the buffer holds: the size it was made with, or 0.
  size_t Size() const { return m_data != nullptr ? m_size : 0; }

private:
  // Gives the memory back; the buffer is empty afterwards. One per system.
  void Release();

  // Moves other's fields here and empties other; this is empty before.
  void TakeOver(CLargeBuffer& other) {
    m_data = std::exchange(other.m_data, nullptr);
    m_size = std::exchange(other.m_size, 0);
    m_mapping = std::exchange(other.m_mapping, nullptr);
    m_mappingSize = std::exchange(other.m_mappingSize, 0);
  }

  char* m_data = nullptr;
  size_t m_size = 0;
  void* m_mapping = nullptr;  // the system's allocation that holds m_data, if not the allocator's
  size_t m_mappingSize = 0;
};
