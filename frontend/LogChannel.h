// The window side of the log: the text sink and the two positions that the
// line rule works with. Every message is applied under a short lock on the
// calling thread, so a worker's message is in the log before the worker goes
// on, without waking the window thread; the window repaints from this state
// at its own pace. Nobody waits for anything while holding the lock.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "TextSink.h"

inline constexpr int64_t kLogEmptyThreshold = 29000;

class CLogChannel {
public:
  // Applies one message: a message that begins with "\r\n" is appended, any
  // other replaces the log's last line (everything after its last line
  // feed). When the log would reach 29000 bytes it is emptied first. Bytes
  // after a zero byte in message are ignored. Safe from any thread; messages
  // are applied one at a time.
  void OnLogUpdate(std::string_view message);

  // Replaces the whole text, as writing the form does; the positions keep
  // their values until the next message corrects them.
  void SetText(std::string text);

  // Returns a copy of the whole text.
  std::string Text() const;

  // Calls reader with the whole text under the lock and returns its result.
  // The reader must not call back into the channel.
  template <class F>
  auto ReadText(F&& reader) const {
    std::lock_guard lock(m_lock);
    return reader(m_sink.Text());
  }

  // Log end position: the text's length as read back after the last
  // message; -1 before the first message and right after emptying.
  int64_t LogEndPosition() const;
  // Index of the first byte after the last line feed; 0 without one.
  int64_t LastLineStart() const;

  // Returns a number that changes with every change of the text.
  uint64_t Revision() const;

  // Sets a function called after every change, on the thread that made it,
  // outside the lock. It must return quickly and must not wait for another
  // thread.
  void SetChangeListener(std::function<void()> listener);

private:
  mutable std::mutex m_lock;
  CTextSink m_sink;
  int64_t m_logEnd = -1;
  int64_t m_lastLineStart = 0;
  uint64_t m_revision = 0;
  std::function<void()> m_listener;
};
