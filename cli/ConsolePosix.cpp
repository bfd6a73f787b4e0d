#include "Console.h"

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

bool ReadLineWithoutEcho(std::string& line) {
  termios saved{};
  const bool haveTerminal = tcgetattr(STDIN_FILENO, &saved) == 0;
  if (haveTerminal) {
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
  if (haveTerminal) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  return read;
}

bool LocalTime(std::time_t second, std::tm& local) { return localtime_r(&second, &local) != nullptr; }

void ExitNow(int status) { _exit(status); }
