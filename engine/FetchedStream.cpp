// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/FetchedStream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace {

// Hands the readings of the file's own stream on; they live as long as it.
class CBorrowedReadings final : public CReadQueue {
public:
  explicit CBorrowedReadings(CReadQueue& readings) : m_readings(readings) {}
  uint32_t Depth() const override { return m_readings.Depth(); }
  void Start(uint32_t slot, int64_t position, uint32_t count, uint8_t* scratch) override {
    m_readings.Start(slot, position, count, scratch);
  }
  const uint8_t* Finish(uint32_t slot, uint32_t& got) override { return m_readings.Finish(slot, got); }

private:
  CReadQueue& m_readings;
};

// The fetched bytes are served while the reads go on sequentially from
// their start: the stream begins as a fresh one at position 0, and the first
// move must go to the start of the bytes (or stay where they begin). Any
// other move, a reading of the file's own, a DropCache or a read past the
// bytes drops them for good, and from then on the file's own stream (opened
// on first need) does everything.
class CFetchedStream final : public CStream {
public:
  CFetchedStream(std::string path, uint64_t start, std::vector<uint8_t> data, bool end, const CFileId& id)
      : m_path(std::move(path)), m_start(start), m_data(std::move(data)), m_end(end), m_id(id) {}

  size_t Read(void* buffer, size_t count) override {
    if (m_closed) return Fail(EBADF), 0;
    if (count == 0) return 0;
    size_t served = 0;
    if (Serving()) {
      const uint64_t offset = m_position - m_start;
      served = static_cast<size_t>(std::min<uint64_t>(count, m_data.size() - offset));
      std::memcpy(buffer, m_data.data() + offset, served);
      m_position += served;
      if (served == count) return served;
      if (m_end) {
        SetEof();
        return served;
      }
      // The rest lies past the bytes fetched: the file itself gives it.
      Drop();
    } else if (m_live && m_end && m_position == m_start + m_data.size()) {
      // The fetch met the end of the file right here.
      SetEof();
      return 0;
    } else if (m_live) {
      Drop();
    }
    if (!Sync()) return served;
    m_real->ClearErr();
    const size_t got = m_real->Read(static_cast<uint8_t*>(buffer) + served, count - served);
    Mirror();
    return served + got;
  }

  const uint8_t* Lend(size_t count) override {
    if (m_closed) return nullptr;
    if (Serving()) {
      const uint64_t offset = m_position - m_start;
      if (count > m_data.size() - offset) return nullptr;
      m_position += count;
      return m_data.data() + offset;
    }
    if (m_live || !m_real || !m_synced) return nullptr;
    m_real->ClearErr();
    const uint8_t* lent = m_real->Lend(count);
    Mirror();
    return lent;
  }

  size_t Write(const void*, size_t) override { return Fail(EBADF), 0; }

  int Seek(int64_t offset, SeekOrigin origin) override {
    if (m_closed) return Fail(EBADF), -1;
    if (m_live && origin != SeekOrigin::kEnd) {
      const int64_t target = origin == SeekOrigin::kSet ? offset : static_cast<int64_t>(m_position) + offset;
      // Staying put, or going to where the bytes begin before any is read.
      if (target == static_cast<int64_t>(m_position) ||
          (target == static_cast<int64_t>(m_start) && m_position == 0)) {
        m_position = static_cast<uint64_t>(target);
        ClearEof();
        return 0;
      }
    }
    if (m_live) Drop();
    if (!Sync()) return -1;
    if (m_real->Seek(offset, origin) != 0) return -1;
    ClearEof();
    return 0;
  }

  int64_t Tell() override {
    if (m_closed) return Fail(EBADF), -1;
    if (m_live) return static_cast<int64_t>(m_position);
    if (!Sync()) return -1;
    return m_real->Tell();
  }

  int Flush() override {
    if (m_closed) return Fail(EBADF), -1;
    return m_real ? m_real->Flush() : 0;
  }

  int Close() override {
    if (m_closed) return Fail(EBADF), -1;
    m_closed = true;
    m_data = std::vector<uint8_t>();
    if (!m_real) return 0;
    const int result = m_real->Close();
    if (result != 0) SetError();
    return result;
  }

  void DropCache(int64_t offset, int64_t length) override {
    // Whoever asks wants the file system's own bytes.
    if (m_live) Drop();
    if (Sync()) m_real->DropCache(offset, length);
  }

  bool Identify(CFileId& id) override {
    // The identity of the file the bytes came from; the file's own when the
    // fetch could not tell it.
    if (m_id.Known()) {
      id = m_id;
      return true;
    }
    return Open() && m_real->Identify(id);
  }

  void ExpectEnd(uint64_t end) override {
    m_expectedEnd = end;
    if (m_real) m_real->ExpectEnd(end);
  }

  int LockExclusive() override { return Open() ? m_real->LockExclusive() : -1; }
  int Truncate(int64_t length) override { return Open() ? m_real->Truncate(length) : -1; }

protected:
  std::unique_ptr<CReadQueue> OpenReadings() override {
    // The readings reach the file itself; its stream's position is theirs
    // from then on.
    if (!Open()) return nullptr;
    m_synced = false;
    return std::make_unique<CBorrowedReadings>(m_real->Readings());
  }

private:
  // Returns true when the next read starts inside the fetched bytes.
  bool Serving() const { return m_live && m_position >= m_start && m_position - m_start < m_data.size(); }

  // Drops the fetched bytes for good; the position stays.
  void Drop() {
    m_live = false;
    m_data = std::vector<uint8_t>();
  }

  // Clears the end-of-file indicator alone.
  void ClearEof() {
    const bool error = Error();
    ClearErr();
    if (error) SetError();
  }

  void Fail(int error) {
    errno = error;
    SetError();
  }

  // Copies the file stream's indicators onto this one.
  void Mirror() {
    if (m_real->Eof()) SetEof();
    if (m_real->Error()) SetError();
  }

  // Returns true when the file's own stream is open, opening it at first
  // need; false with the error indicator and errno set when it does not open.
  bool Open() {
    if (m_real) return true;
    m_real = FileOpen(m_path, OpenMode::kRead);
    if (!m_real) {
      SetError();
      return false;
    }
    if (m_expectedEnd != kNoEnd) m_real->ExpectEnd(m_expectedEnd);
    m_synced = m_position == 0;
    return true;
  }

  // Returns true when the file's own stream is open and at this stream's
  // position (after the fetched bytes were dropped).
  bool Sync() {
    if (!Open()) return false;
    if (m_synced) return true;
    m_real->ClearErr();
    if (m_real->Seek(static_cast<int64_t>(m_position), SeekOrigin::kSet) != 0) {
      SetError();
      return false;
    }
    m_synced = true;
    return true;
  }

  const std::string m_path;
  const uint64_t m_start;
  std::vector<uint8_t> m_data;
  const bool m_end;
  const CFileId m_id;
  bool m_live = true;  // the fetched bytes may still be served
  bool m_closed = false;
  bool m_synced = false;  // m_real stands at m_position
  uint64_t m_position = 0;
  std::unique_ptr<CStream> m_real;
  // Where the copy said it would stop reading (ExpectEnd), for the file's
  // own stream once it is opened.
  static constexpr uint64_t kNoEnd = UINT64_MAX;
  uint64_t m_expectedEnd = kNoEnd;
};

}  // namespace

std::unique_ptr<CStream> MakeFetchedStream(const std::string& path, uint64_t start, std::vector<uint8_t> data,
                                           bool end, const CFileId& id) {
  return std::make_unique<CFetchedStream>(path, start, std::move(data), end, id);
}
