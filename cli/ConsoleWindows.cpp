// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Console.h"

// windows.h before the system headers that need it.
#include "platform/windows/WindowsApi.h"

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/windows/WinPath.h"

void PrepareConsole() {
  SetConsoleOutputCP(CP_UTF8);
  SetConsoleCP(CP_UTF8);
  // Output and messages go out as bytes, never with line feeds turned into
  // CR LF: the same lines as on every other system.
  _setmode(kStdoutFd, _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return {argv, argv + argc};
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(Utf8FromWide(wide[i]));
  LocalFree(wide);
  return arguments;
}

bool StdoutIsTerminal() { return _isatty(kStdoutFd) != 0; }
bool StdinIsTerminal() { return _isatty(0) != 0; }

int TerminalColumns(int fd) {
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (handle == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(handle, &info)) return 0;
  const int columns = info.srWindow.Right - info.srWindow.Left + 1;
  return columns > 1 ? columns : 0;
}

long WriteSome(int fd, const char* data, size_t count) {
  // _write takes an unsigned int count.
  const unsigned int piece = count > (1u << 30) ? (1u << 30) : static_cast<unsigned int>(count);
  const int written = _write(fd, data, piece);
  if (written == 0) {
    errno = EIO;
    return -1;
  }
  return written;
}

int WaitWritable(int /*fd*/, int ms) {
  // Windows' descriptors block: a write that took nothing is tried again
  // after a pause.
  std::this_thread::sleep_for(std::chrono::milliseconds(ms < 10 ? ms : 10));
  return 0;
}

int OpenForAppending(const std::string& path) {
  return _wopen(WideFromUtf8(path).c_str(), _O_WRONLY | _O_CREAT | _O_APPEND | _O_BINARY | _O_NOINHERIT,
                _S_IREAD | _S_IWRITE);
}

int CloseFd(int fd) { return _close(fd); }

bool ReadLineWithoutEcho(std::string& line) {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  const bool console = GetConsoleMode(input, &mode) != 0;
  if (console) SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  line.clear();
  bool read = false;
  if (console) {
    // The console gives UTF-16; the line is kept as UTF-8.
    std::wstring wide;
    for (;;) {
      wchar_t c = 0;
      DWORD got = 0;
      if (!ReadConsoleW(input, &c, 1, &got, nullptr) || got == 0) break;
      read = true;
      if (c == L'\n') break;
      if (c != L'\r') wide.push_back(c);
    }
    line = Utf8FromWide(wide);
    SetConsoleMode(input, mode);
  } else {
    for (;;) {
      char c = 0;
      if (_read(0, &c, 1) != 1) break;
      read = true;
      if (c == '\n') break;
      if (c != '\r') line.push_back(c);
    }
  }
  return read;
}

bool LocalTime(std::time_t second, std::tm& local) { return localtime_s(&local, &second) == 0; }

void ExitNow(int status) { std::_Exit(status); }
