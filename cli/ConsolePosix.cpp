// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Console.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

void PrepareConsole() { std::signal(SIGPIPE, SIG_IGN); }

std::vector<std::string> Utf8Arguments(int argc, char** argv) { return {argv, argv + argc}; }

bool StdoutIsTerminal() { return isatty(STDOUT_FILENO) == 1; }
bool StdinIsTerminal() { return isatty(STDIN_FILENO) == 1; }

int TerminalColumns(int fd) {
  winsize size{};
  if (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) return size.ws_col;
  return 0;
}

long WriteSome(int fd, const char* data, size_t count) {
  const ssize_t written = write(fd, data, count);
  if (written == 0) {
    // write(2) takes no byte of a non-empty request only on failure.
    errno = EIO;
    return -1;
  }
  return static_cast<long>(written);
}

int WaitWritable(int fd, int ms) {
  pollfd ready{fd, POLLOUT, 0};
  const int count = poll(&ready, 1, ms);
  // Readiness, an error or a hang-up: the next write tells which.
  if (count > 0) return 0;
  if (count == 0) return EAGAIN;
  return errno == EINTR ? 0 : errno;
}

int OpenForAppending(const std::string& path) {
  return open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
}

int CloseFd(int fd) { return close(fd); }

namespace {

// The signals that end the program while it reads a line without echo:
// Ctrl-C, Ctrl-\, kill and a terminal that hangs up.
constexpr int kPromptSignals[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP};
constexpr size_t kPromptSignalCount = sizeof kPromptSignals / sizeof kPromptSignals[0];

// The terminal's settings from before the prompt turned echo off, and each
// prompt signal's disposition from before the prompt (replaced: whether the
// prompt put its handler in its place), for the handler.
termios g_savedTerminal{};
struct sigaction g_previous[kPromptSignalCount];
bool g_replaced[kPromptSignalCount];

// Gives the terminal its echo back, then lets the signal do what it did
// before the prompt: the previous disposition back in place, the signal
// raised again (it arrives once this handler returns, the signal being
// blocked while it runs). Only async-signal-safe calls.
void RestoreTerminalAndRaise(int signal) {
  const int savedErrno = errno;
  tcsetattr(STDIN_FILENO, TCSANOW, &g_savedTerminal);
  for (size_t i = 0; i < kPromptSignalCount; ++i) {
    if (kPromptSignals[i] == signal) sigaction(signal, &g_previous[i], nullptr);
  }
  raise(signal);
  errno = savedErrno;
}

// Makes the prompt signals that would end the program restore the terminal
// first. A signal that was ignored or had a handler of its own is left as it
// was: the prompt would go on reading after it, with echo on again.
void WatchPromptSignals() {
  struct sigaction restore {};
  restore.sa_handler = RestoreTerminalAndRaise;
  sigemptyset(&restore.sa_mask);
  for (const int signal : kPromptSignals) sigaddset(&restore.sa_mask, signal);
  for (size_t i = 0; i < kPromptSignalCount; ++i) {
    g_replaced[i] = sigaction(kPromptSignals[i], nullptr, &g_previous[i]) == 0 &&
                    (g_previous[i].sa_flags & SA_SIGINFO) == 0 && g_previous[i].sa_handler == SIG_DFL &&
                    sigaction(kPromptSignals[i], &restore, nullptr) == 0;
  }
}

// Puts back the dispositions WatchPromptSignals replaced.
void UnwatchPromptSignals() {
  for (size_t i = 0; i < kPromptSignalCount; ++i) {
    if (g_replaced[i]) sigaction(kPromptSignals[i], &g_previous[i], nullptr);
    g_replaced[i] = false;
  }
}

}  // namespace

bool ReadLineWithoutEcho(std::string& line) {
  termios saved{};
  const bool haveTerminal = tcgetattr(STDIN_FILENO, &saved) == 0;
  if (haveTerminal) {
    g_savedTerminal = saved;
    WatchPromptSignals();
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  line.clear();
  bool read = false;
  for (;;) {
    char c = 0;
    const ssize_t got = ::read(STDIN_FILENO, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    read = true;
    if (c == '\n') break;
    line.push_back(c);
  }
  if (haveTerminal) {
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    UnwatchPromptSignals();
  }
  return read;
}

bool LocalTime(std::time_t second, std::tm& local) { return localtime_r(&second, &local) != nullptr; }

void ExitNow(int status) { _exit(status); }
