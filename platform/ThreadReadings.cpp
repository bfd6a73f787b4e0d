// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ThreadReadings.h"
#include "platform/WorkerPool.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

CPositionalReader::~CPositionalReader() = default;

namespace {

class CThreadReadings final : public CReadQueue {
public:
  CThreadReadings(uint32_t depth, CPositionalReaderFactory factory, CReadingsCaller caller,
                  CReadingsWorkers workers)
      : m_depth(std::max<uint32_t>(depth, 1)),
        m_factory(std::move(factory)),
        m_callerReads(caller == CReadingsCaller::kReads),
        m_slowUs(workers.slowUs),
        m_cap(std::clamp<uint32_t>(workers.first, 1, m_depth)),
        m_slots(m_depth) {}

  // Lets the readings in progress end, drops those not begun, and stops the
  // workers.
  ~CThreadReadings() override {
    std::unique_lock lock(m_lock);
    m_stopping = true;
    m_pending.clear();
    m_wake.notify_all();
    m_stopped.wait(lock, [this] { return m_workers == 0; });
  }

  uint32_t Depth() const override { return m_depth; }

  void Start(uint32_t slot, int64_t position, uint32_t count, uint8_t* scratch) override {
    bool spawn = false;
    bool wake = false;
    {
      std::lock_guard lock(m_lock);
      CSlot& s = m_slots[slot];
      s.position = position;
      s.count = count;
      s.scratch = scratch;
      s.state = EState::kPending;
      m_pending.push_back(slot);
      // A caller that reads takes one reading itself when it asks for it, so
      // a worker is needed only from the second reading waiting.
      spawn = m_callerReads ? m_idleWorkers == 0 && m_pending.size() >= 2 && m_workers + 1 < m_cap
                            : m_idleWorkers < m_pending.size() && m_workers < m_cap;
      if (spawn) Spawn();
      wake = m_idleWorkers > 0;
    }
    if (wake) m_wake.notify_one();
  }

  const uint8_t* Finish(uint32_t slot, uint32_t& got) override {
    std::unique_lock lock(m_lock);
    CSlot& s = m_slots[slot];
    while (s.state != EState::kDone) {
      if (s.state == EState::kPending && m_callerReads) {
        m_pending.erase(std::find(m_pending.begin(), m_pending.end(), slot));
        s.state = EState::kRunning;
        lock.unlock();
        Run(s, m_callerReader);
        lock.lock();
        s.state = EState::kDone;
        break;
      }
      m_awaited = slot;
      m_done.wait(lock);
      m_awaited = kNoSlot;
    }
    s.state = EState::kIdle;
    got = s.got;
    if (s.data == nullptr) errno = s.error;
    return s.data;
  }

private:
  enum class EState { kIdle, kPending, kRunning, kDone };
  struct CSlot {
    int64_t position = 0;
    uint32_t count = 0;
    uint8_t* scratch = nullptr;
    EState state = EState::kIdle;
    const uint8_t* data = nullptr;
    uint32_t got = 0;
    int error = 0;
  };

  // Does the reading of s with reader, made first when there is none yet.
  // Only the thread that owns reader calls this. Returns the microseconds
  // the reading itself took (the making of the reader left out), or -1
  // when there was no reader.
  int64_t Run(CSlot& s, std::unique_ptr<CPositionalReader>& reader) {
    s.got = 0;
    s.data = nullptr;
    if (!reader) reader = m_factory();
    int64_t us = -1;
    if (reader) {
      const auto began = std::chrono::steady_clock::now();
      s.data = reader->ReadAt(s.position, s.count, s.scratch, s.got);
      us = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - began)
               .count();
    }
    s.error = s.data == nullptr ? (errno != 0 ? errno : EIO) : 0;
    return us;
  }

  // Starts a worker. Called with the lock held.
  void Spawn() {
    ++m_workers;
    RunOnPoolThread([this] { Work(); });
  }

  // Notes that a reading took us microseconds: after kSlowReadingsInARow
  // slow ones in a row, the workers may be as many as the depth, and those
  // the readings waiting want are started. Called with the lock held.
  void NoteReading(int64_t us) {
    if (m_cap == m_depth) return;
    if (us < static_cast<int64_t>(m_slowUs)) {
      m_slowInARow = 0;
      return;
    }
    if (++m_slowInARow < kSlowReadingsInARow) return;
    m_cap = m_depth;
    const uint32_t callerSlot = m_callerReads ? 1 : 0;
    size_t wanted = m_pending.size() > m_idleWorkers ? m_pending.size() - m_idleWorkers : 0;
    for (; wanted > 0 && m_workers + callerSlot < m_cap; --wanted) Spawn();
  }

  // A worker: takes the readings in the order they were started.
  void Work() {
    std::unique_ptr<CPositionalReader> reader;
    std::unique_lock lock(m_lock);
    while (!m_stopping) {
      if (m_pending.empty()) {
        ++m_idleWorkers;
        m_wake.wait(lock);
        --m_idleWorkers;
        continue;
      }
      CSlot& s = m_slots[m_pending.front()];
      m_pending.pop_front();
      s.state = EState::kRunning;
      lock.unlock();
      const int64_t us = Run(s, reader);
      lock.lock();
      s.state = EState::kDone;
      NoteReading(us);
      // Only the reading the caller waits for wakes it.
      if (m_awaited == static_cast<uint32_t>(&s - m_slots.data())) m_done.notify_one();
    }
    lock.unlock();
    reader.reset();
    lock.lock();
    --m_workers;
    m_stopped.notify_all();
  }

  const uint32_t m_depth;
  const CPositionalReaderFactory m_factory;
  const bool m_callerReads;   // the caller takes a pending reading it asks for itself
  const uint32_t m_slowUs;    // a reading this long or longer counts as slow
  uint32_t m_cap;             // the most workers (with the caller, when it reads), guarded by m_lock
  uint32_t m_slowInARow = 0;  // slow readings in a row, guarded by m_lock
  std::mutex m_lock;
  std::condition_variable m_wake;     // a reading waits for a worker, or the workers are to stop
  std::condition_variable m_done;     // a worker ended a reading
  std::vector<CSlot> m_slots;         // guarded by m_lock, but for the fields of a running reading
  std::deque<uint32_t> m_pending;     // slots started and taken by no one yet, in order
  std::condition_variable m_stopped;  // a worker ended
  uint32_t m_workers = 0;             // workers running, on threads of the pool
  static constexpr uint32_t kNoSlot = UINT32_MAX;
  uint32_t m_awaited = kNoSlot;  // the slot Finish waits for
  uint32_t m_idleWorkers = 0;
  bool m_stopping = false;
  std::unique_ptr<CPositionalReader> m_callerReader;  // the caller's own, for readings it takes
};

}  // namespace

std::unique_ptr<CReadQueue> MakeThreadReadings(uint32_t depth, CPositionalReaderFactory factory,
                                               CReadingsCaller caller, CReadingsWorkers workers) {
  return std::make_unique<CThreadReadings>(depth, std::move(factory), caller, workers);
}
