// SPDX-License-Identifier: GPL-3.0-or-later
// The log as a sequence of lines, the way the window's log box shows it but
// never emptied: a message that begins with "\r\n" is appended to the log,
// any other replaces its last, still open line. Only the open line is kept;
// every line the messages complete is handed on as it is completed.
#pragma once

#include <string>
#include <string_view>

class CLogLines {
public:
  // Applies one message and calls onLine(std::string_view) once for every
  // line it completes, in order, without the line feed and without one
  // carriage return before it. A message that begins with "\r\n" first
  // completes the open line; any other message replaces it. What follows the
  // message's last line feed becomes the new open line.
  template <class OnLine>
  void Apply(std::string_view message, OnLine&& onLine) {
    if (message.starts_with("\r\n")) {
      onLine(std::string_view(m_open));
      message.remove_prefix(2);
    }
    for (size_t feed = message.find('\n'); feed != std::string_view::npos; feed = message.find('\n')) {
      std::string_view line = message.substr(0, feed);
      if (line.ends_with('\r')) line.remove_suffix(1);
      onLine(line);
      message.remove_prefix(feed + 1);
    }
    m_open.assign(message);
  }

  // Returns the open last line: the text after the log's last line feed.
  const std::string& OpenLine() const { return m_open; }

private:
  std::string m_open;
};
