// SPDX-License-Identifier: GPL-3.0-or-later
// Windows gives large pages only to accounts granted the right to lock
// memory, so large buffers are ordinary memory here.
#include "platform/LargeBuffer.h"

#include <new>

CLargeBuffer::CLargeBuffer(size_t size) : m_size(size) {
  if (size != 0) m_data = new (std::nothrow) char[size];
}

void CLargeBuffer::Release() {
  delete[] m_data;
  m_data = nullptr;
  m_size = 0;
}
