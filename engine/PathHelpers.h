// SPDX-License-Identifier: GPL-3.0-or-later
// Small path helpers shared by the scan, the copies and the run driver.
// Paths are texts of any length; the separator is the platform's.
#pragma once

#include <string>
#include <string_view>

#if defined(_WIN32)
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// Returns true when c separates path components: the platform's separator,
// and on Windows '/' as well (a slash the user typed counts as one).
constexpr bool IsPathSeparator(char c) {
#if defined(_WIN32)
  return c == '\\' || c == '/';
#else
  return c == '/';
#endif
}

// Returns true when path does not depend on the current directory: it
// begins with a separator, or on Windows with a drive letter and a colon
// ("C:\data"; "C:data" too, which the system resolves on that drive).
bool IsAbsolutePath(std::string_view path);

// Appends one separator to path unless it already ends with one.
void AddBackslash(std::string& path);

// Returns a copy of path with AddBackslash applied.
std::string WithBackslash(std::string_view path);

// Removes one trailing separator, if any. A text that is only the separator
// (the root folder) stays as it is, and so does a drive root ("C:\") on
// Windows.
void StripBackslash(std::string& path);

// Returns the position of the last occurrence of c in text, or text.size()
// when c does not occur.
size_t FindLast(std::string_view text, char c);

// Returns true when path names a share root, with or without one trailing
// separator: "smb://server[:port]/share", "//server/share" or, typed in the
// Windows form, \\server\share. The path begins with "smb://" or with
// exactly two separators, a server name follows, then exactly one more
// separator and a share name; on a share both '/' and '\' are separators.
// The share name goes to shareName.
bool IsShareRoot(std::string_view path, std::string* shareName);

// Returns true when a name from a listing can be joined to a folder path
// without leaving that folder: not empty, not "." or "..", no separator and
// no zero byte; on a share (onShare), where '\' separates names too, no
// backslash either.
bool IsSafeEntryName(std::string_view name, bool onShare = false);

// Returns why Windows cannot hold a file or folder of this name, or nullptr
// when it can: a character it forbids in names (a control character or one
// of < > : " / \ | ? *), a trailing dot or blank (which it drops, so the
// name would land on another), or a name it reserves for a device (CON,
// PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, also with an extension).
// Holds on every system, so that it can be tested anywhere; the copy asks
// it only where Windows is the destination's system.
const char* NameWindowsCannotHold(std::string_view name);
