// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/StreamReadings.h"

#include <cerrno>

namespace {

class CStreamReadings final : public CReadQueue {
public:
  explicit CStreamReadings(CStream& stream) : m_stream(stream) {}

  // Returns 1: the stream has one position.
  uint32_t Depth() const override { return 1; }

  // Reads at once; Finish hands over the outcome.
  void Start(uint32_t /*slot*/, int64_t position, uint32_t count, uint8_t* scratch) override {
    m_scratch = scratch;
    m_stream.Flush();
    m_stream.DropCache(position, count);
    m_got = 0;
    m_error = 0;
    if (m_stream.Seek(position, SeekOrigin::kSet) != 0) {
      m_error = errno != 0 ? errno : EIO;
      return;
    }
    m_got = static_cast<uint32_t>(m_stream.Read(scratch, count));
    if (m_stream.Error()) m_error = errno != 0 ? errno : EIO;
  }

  // Returns the bytes of the last Start, or nullptr with its errno.
  const uint8_t* Finish(uint32_t /*slot*/, uint32_t& got) override {
    got = m_got;
    if (m_error != 0) {
      errno = m_error;
      return nullptr;
    }
    return m_scratch;
  }

private:
  CStream& m_stream;
  uint8_t* m_scratch = nullptr;
  uint32_t m_got = 0;
  int m_error = 0;
};

}  // namespace

std::unique_ptr<CReadQueue> MakeStreamReadings(CStream& stream) {
  return std::make_unique<CStreamReadings>(stream);
}
