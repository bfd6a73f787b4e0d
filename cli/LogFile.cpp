// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/LogFile.h"

#include <cerrno>
#include <cstring>

#include "cli/Console.h"

std::unique_ptr<CLogFile> CLogFile::Open(const std::string& path, std::string& error) {
  const int fd = OpenForAppending(path);
  if (fd < 0) {
    error = std::strerror(errno);
    return nullptr;
  }
  return std::unique_ptr<CLogFile>(new CLogFile(fd, path));
}

CLogFile::~CLogFile() { Close(); }

void CLogFile::Close() {
  if (m_fd < 0) return;
  m_out.Flush();
  // The descriptor is released even when close(2) fails, so it is never
  // closed twice; the failure may be the last write's, reported only now.
  if (CloseFd(m_fd) != 0) m_out.Fail(errno);
  m_fd = -1;
}

void CLogFile::Append(std::string_view message, CSteadyTime now) {
  if (m_fd < 0) return;
  message = message.substr(0, message.find('\0'));
  // The stamp is formatted again only when the second changes.
  const time_t second = time(nullptr);
  if (second != m_stampSecond) {
    m_stampSecond = second;
    std::tm local{};
    if (!LocalTime(second, local) ||
        std::strftime(m_stamp, sizeof m_stamp, "%Y-%m-%d %H:%M:%S ", &local) == 0)
      m_stamp[0] = '\0';
  }
  m_line.assign(m_stamp);
  for (const char c : message) {
    switch (c) {
      case '\r':
        m_line += "\\r";
        break;
      case '\n':
        m_line += "\\n";
        break;
      case '\\':
        m_line += "\\\\";
        break;
      default:
        m_line += c;
    }
  }
  m_line += '\n';
  m_out.Append(m_line);
  m_out.FlushIfDue(now);
}
