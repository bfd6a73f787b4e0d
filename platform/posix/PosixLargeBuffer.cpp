// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/LargeBuffer.h"

#include <sys/mman.h>

#include <cstdint>
#include <new>

namespace {

// The size of a transparent huge page on x86-64 and most 64-bit ARM systems.
constexpr size_t kHugePage = size_t{2} << 20;

// Buffers smaller than this are left to the allocator: a huge page is no
// gain below a few of them.
constexpr size_t kLeast = kHugePage;

}  // namespace

CLargeBuffer::CLargeBuffer(size_t size) : m_size(size) {
  if (size == 0) return;
  if (size >= kLeast && size <= SIZE_MAX - kHugePage) {
    // Mapped with a huge page of room, then started at the first boundary
    // within: the kernel gives huge pages only to aligned ranges.
    const size_t mapped = size + kHugePage;
    void* mapping = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping != MAP_FAILED) {
      const auto at = reinterpret_cast<uintptr_t>(mapping);
      const uintptr_t aligned = (at + kHugePage - 1) & ~uintptr_t{kHugePage - 1};
      m_data = static_cast<char*>(mapping) + (aligned - at);
#ifdef MADV_HUGEPAGE
      // A system without them refuses the advice and gives ordinary pages.
      madvise(m_data, size, MADV_HUGEPAGE);
#endif
      m_mapping = mapping;
      m_mappingSize = mapped;
      return;
    }
  }
  m_data = new (std::nothrow) char[size];
}

void CLargeBuffer::Release() {
  if (m_mapping != nullptr) {
    munmap(m_mapping, m_mappingSize);
  } else {
    delete[] m_data;
  }
  m_data = nullptr;
  m_size = 0;
  m_mapping = nullptr;
  m_mappingSize = 0;
}
