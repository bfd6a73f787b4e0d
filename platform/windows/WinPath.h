// SPDX-License-Identifier: GPL-3.0-or-later
// Paths between the engine's UTF-8 texts and the Win32 wide-character API.
#pragma once

#include <string>
#include <string_view>

// Returns text, UTF-8, as UTF-16. Bytes that are not valid UTF-8 become
// U+FFFD each; ok (when given) is set to false then, so a caller can refuse
// a name it could not hold exactly.
std::wstring WideFromUtf8(std::string_view text, bool* ok = nullptr);

// Returns text, UTF-16, as UTF-8. An unpaired surrogate becomes U+FFFD;
// ok (when given) is set to false then, so a caller can refuse a name that
// would no longer name its file.
std::string Utf8FromWide(std::wstring_view text, bool* ok = nullptr);

// Returns the path the Win32 API is given for path: slashes turned into
// backslashes, made absolute against the folder the program started in
// (StartFolder) and then by GetFullPathNameW, and given the long-path prefix (\\?\C:\... or
// \\?\UNC\server\share\...) so that paths of any length work. Trailing
// separators are dropped except a root's own ("C:\", "\\server\share\").
// A path already in the long or the device form (\\?\..., \\.\...) is
// taken as it is, slashes aside. An "smb://[user@]server/share/..." URL (and
// "//server/share/...") names the UNC path \\server\share\...; the user is
// left to the system's logon.
// Returns an empty text when the path is empty, cannot be resolved, or is an
// URL that names a port (a UNC path has no place for one).
std::wstring Win32Path(std::string_view path);

// Returns the current folder of the process as it was when the program
// started (empty when the system could not tell). Relative paths and an
// empty destination mean that folder for the whole run, even when a system
// dialog (the file-open dialog) moves the current folder meanwhile.
const std::wstring& StartFolder();
