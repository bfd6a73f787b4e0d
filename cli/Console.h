// SPDX-License-Identifier: GPL-3.0-or-later
// What ferrox-cli needs of its process's console and standard streams, one
// implementation per system (ConsolePosix.cpp, ConsoleWindows.cpp).
#pragma once

#include <cstddef>
#include <ctime>
#include <string>
#include <vector>

// The standard output's descriptor.
inline constexpr int kStdoutFd = 1;

// Readies the process's output: a reader that goes away must not end the
// copy (POSIX: SIGPIPE ignored, the write fails with EPIPE instead); a
// Windows console shows UTF-8 and its output is read as UTF-8.
void PrepareConsole();

// Returns the program's arguments as UTF-8, the program's own name first:
// argv as it is on POSIX, where arguments are bytes; on Windows the
// process's wide command line, converted, so that names outside the code
// page arrive intact.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Returns true when standard output, or standard input, is a terminal.
bool StdoutIsTerminal();
bool StdinIsTerminal();

// Returns the terminal's width in columns for output on fd, or 0 when it
// cannot be told.
int TerminalColumns(int fd);

// Writes up to count bytes to fd. Returns the number written (at least 1),
// or -1 with errno set: EINTR to try again, EAGAIN when a non-blocking
// descriptor takes nothing now.
long WriteSome(int fd, const char* data, size_t count);

// Waits at most ms milliseconds until fd takes output again. Returns 0 when
// it may (or could not be told), else the errno value that ends the output.
int WaitWritable(int fd, int ms);

// Opens the file at path (UTF-8) for appending, creating it when missing.
// Returns the descriptor, or -1 with errno set.
int OpenForAppending(const std::string& path);

// Closes fd. Returns 0, or -1 with errno set.
int CloseFd(int fd);

// Reads one line from standard input without echo when it is a terminal
// (the line feed not kept). Returns false when nothing could be read. A
// signal that ends the program meanwhile (SIGINT, SIGQUIT, SIGTERM, SIGHUP)
// gives the terminal its settings back first.
bool ReadLineWithoutEcho(std::string& line);

// Fills local with second as local time. Returns false when it cannot.
bool LocalTime(std::time_t second, std::tm& local);

// Ends the process at once with status, running no destructors.
[[noreturn]] void ExitNow(int status);
