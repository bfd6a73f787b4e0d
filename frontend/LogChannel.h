// SPDX-License-Identifier: GPL-3.0-or-later
// The window side of the log: the text sink and the two positions that the
// line rule works with. Every message is applied under a short lock on the
// calling thread, so a worker's message is in the log before the worker goes
// on, without waking the window thread; the window repaints from this state
// at its own pace. Nobody waits for anything while holding the lock.
//
// The log keeps at least its last 10000 lines: once it holds 11000 line
// feeds, the oldest lines are dropped so that 10000 remain (a thousand at a
// time, so that a box showing the log redraws its whole text rarely).
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "frontend/TextSink.h"

inline constexpr int64_t kLogKeptLines = 10000;
inline constexpr int64_t kLogDroppedLinesAtOnce = 1000;

class CLogChannel {
public:
  // Applies one message: a message that begins with "\r\n" is appended, any
  // other replaces the log's last line (everything after its last line
  // feed). Then drops the oldest lines as above. Bytes after a zero byte in
  // message are ignored. Safe from any thread; messages are applied one at
  // a time.
  void OnLogUpdate(std::string_view message);

  // Replaces the whole text, as writing the form does; the positions keep
  // their values until the next message corrects them. The text set counts
  // as handed to the final-text listener already, and no line counts as
  // dropped.
  void SetText(std::string text);

  // Returns a copy of the whole text; with droppedLines, also the number of
  // lines dropped from its beginning since it was last set.
  std::string Text(uint64_t* droppedLines = nullptr) const;

  // Calls reader with the whole text under the lock and returns its result.
  // The reader must not call back into the channel.
  template <class F>
  auto ReadText(F&& reader) const {
    std::lock_guard lock(m_lock);
    return reader(m_sink.Text());
  }

  // Log end position: the text's length as read back after the last
  // message; -1 before the first message.
  int64_t LogEndPosition() const;
  // Index of the first byte after the last line feed; 0 without one.
  int64_t LastLineStart() const;
  // Returns the text after the last line feed: the line a message may
  // still replace.
  std::string LastLine() const;

  // Returns a number that changes with every change of the text.
  uint64_t Revision() const;

  // Sets a function called after every change, on the thread that made it,
  // outside the lock. It must return quickly and must not wait for another
  // thread.
  void SetChangeListener(std::function<void()> listener);

  // Sets a function called, under the lock and in order, with each piece of
  // text that has become final (whole lines up to and including their line
  // feed, which no later message replaces). It must only store the piece:
  // no waiting, no call back into the channel.
  void SetFinalTextListener(std::function<void(std::string_view piece)> listener);

private:
  // Drops the oldest lines when the text holds too many; under the lock.
  void DropOldLines();

  mutable std::mutex m_lock;
  CTextSink m_sink;
  int64_t m_logEnd = -1;
  int64_t m_lastLineStart = 0;
  int64_t m_finalEnd = 0;       // the text before it was handed to the final-text listener
  int64_t m_lineFeeds = 0;      // in the text
  uint64_t m_droppedLines = 0;  // since the text was set
  uint64_t m_revision = 0;
  std::function<void()> m_listener;
  std::function<void(std::string_view)> m_finalListener;
};
