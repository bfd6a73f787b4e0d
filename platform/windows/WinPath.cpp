// SPDX-License-Identifier: GPL-3.0-or-later
// Paths between UTF-8 and the Win32 wide-character API.
#include "platform/windows/WinPath.h"

#include "platform/windows/WindowsApi.h"

#include <cstdint>

#include "platform/Utf8.h"
#include "platform/smb/SmbPath.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Appends the UTF-8 bytes of code point value to out.
void EncodeUtf8(char32_t value, std::string& out) {
  if (value < 0x80) {
    out.push_back(static_cast<char>(value));
  } else if (value < 0x800) {
    out.push_back(static_cast<char>(0xC0u | (value >> 6)));
    out.push_back(static_cast<char>(0x80u | (value & 0x3Fu)));
  } else if (value < 0x10000) {
    out.push_back(static_cast<char>(0xE0u | (value >> 12)));
    out.push_back(static_cast<char>(0x80u | ((value >> 6) & 0x3Fu)));
    out.push_back(static_cast<char>(0x80u | (value & 0x3Fu)));
  } else {
    out.push_back(static_cast<char>(0xF0u | (value >> 18)));
    out.push_back(static_cast<char>(0x80u | ((value >> 12) & 0x3Fu)));
    out.push_back(static_cast<char>(0x80u | ((value >> 6) & 0x3Fu)));
    out.push_back(static_cast<char>(0x80u | (value & 0x3Fu)));
  }
}

// Returns the UNC path (\\server\share\names) of the smb:// URL url, or an
// empty text when it does not parse or names a port, which a UNC path
// cannot carry. A user named in the URL is left to the system's logon.
std::string UncFromSmbUrl(std::string_view url) {
  CSmbLocation location;
  if (!ParseSmbPath(url, location) || location.port != 0 || location.server.empty()) return std::string();
  std::string unc = "\\\\" + location.server;
  if (!location.share.empty()) unc += "\\" + location.share;
  for (const std::string& name : location.components) unc += "\\" + name;
  return unc;
}

// Returns the length of the root of the absolute path full: 3 for "C:\",
// up to the separator after the share for "\\server\share\", 0 when full
// has neither form.
size_t RootLength(const std::wstring& full) {
  if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') return 3;
  if (full.starts_with(L"\\\\")) {
    const size_t server = full.find(L'\\', 2);
    if (server == std::wstring::npos) return full.size();
    const size_t share = full.find(L'\\', server + 1);
    return share == std::wstring::npos ? full.size() : share + 1;
  }
  return 0;
}

// Returns the current folder as the system reports it, or an empty text.
std::wstring ReadCurrentFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(path.size()), path.data());
    if (length == 0) return std::wstring();
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(length);  // length counts the terminating zero here
  }
}

// Noted while the program starts, before any dialog can move the current
// folder.
[[maybe_unused]] const bool g_startFolderNoted = !StartFolder().empty();

}  // namespace

const std::wstring& StartFolder() {
  static const std::wstring folder = ReadCurrentFolder();
  return folder;
}

std::wstring WideFromUtf8(std::string_view text, bool* ok) {
  bool exact = true;
  std::wstring wide;
  wide.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    const char32_t value = DecodeUtf8(text, at, exact);
    if (value >= 0x10000) {
      const char32_t offset = value - 0x10000;
      wide.push_back(static_cast<wchar_t>(0xD800u + (offset >> 10)));
      wide.push_back(static_cast<wchar_t>(0xDC00u + (offset & 0x3FFu)));
    } else {
      wide.push_back(static_cast<wchar_t>(value));
    }
  }
  if (ok) *ok = exact;
  return wide;
}

std::string Utf8FromWide(std::wstring_view text, bool* ok) {
  if (ok != nullptr) *ok = true;
  std::string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size(); ++at) {
    const auto unit = static_cast<char32_t>(text[at]);
    if (unit >= 0xD800 && unit <= 0xDBFF && at + 1 < text.size()) {
      const auto low = static_cast<char32_t>(text[at + 1]);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        EncodeUtf8(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), out);
        ++at;
        continue;
      }
    }
    const bool unpaired = unit >= 0xD800 && unit <= 0xDFFF;
    if (unpaired && ok != nullptr) *ok = false;
    EncodeUtf8(unpaired ? kReplacement : unit, out);
  }
  return out;
}

std::wstring Win32Path(std::string_view path) {
  if (path.empty()) return std::wstring();
  std::string unc;
  if (HasSmbScheme(path)) {
    unc = UncFromSmbUrl(path);
    if (unc.empty()) return std::wstring();
    path = unc;
  }
  std::wstring wide = WideFromUtf8(path);
  for (wchar_t& c : wide) {
    if (c == L'/') c = L'\\';
  }
  // Already in the long or the device form: the system takes it as it is.
  if (wide.starts_with(L"\\\\?\\") || wide.starts_with(L"\\\\.\\")) return wide;

  // A relative path is taken from the folder the program started in.
  if (RootLength(wide) == 0 && !wide.starts_with(L"\\") && !(wide.size() >= 2 && wide[1] == L':') &&
      !StartFolder().empty())
    wide = (StartFolder().ends_with(L'\\') ? StartFolder() : StartFolder() + L'\\') + wide;

  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return std::wstring();
    if (length < full.size()) {
      full.resize(length);
      break;
    }
    full.resize(length);  // length counts the terminating zero here
  }
  // A trailing separator is dropped (a root keeps its own): the system takes
  // "C:\data" where it refuses "C:\data\".
  const size_t root = RootLength(full);
  while (full.size() > root && root > 0 && full.back() == L'\\') full.pop_back();

  if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  if (root == 3) return L"\\\\?\\" + full;
  return full;
}
