// SPDX-License-Identifier: GPL-3.0-or-later
#include "win/EditText.h"

#include "platform/windows/WinPath.h"

namespace {

bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

std::wstring EditBoxText(std::string_view utf8, size_t limit) {
  const std::wstring wide = WideFromUtf8(utf8);
  std::wstring text;
  text.reserve(wide.size() + wide.size() / 32);
  for (size_t i = 0; i < wide.size(); ++i) {
    const wchar_t c = wide[i];
    if (c == L'\r') {
      if (i + 1 < wide.size() && wide[i + 1] == L'\n') text += L'\r';
      continue;
    }
    if (c == L'\n' && (text.empty() || text.back() != L'\r')) text += L'\r';
    text += c;
  }
  if (text.size() > limit) {
    size_t cut = limit;
    if (cut > 0 && IsLowSurrogate(text[cut])) --cut;
    // A line's CR stays with its LF.
    if (cut > 0 && text[cut - 1] == L'\r') --cut;
    text.resize(cut);
  }
  return text;
}

size_t CommonPrefixLength(std::wstring_view a, std::wstring_view b) {
  const size_t shortest = a.size() < b.size() ? a.size() : b.size();
  size_t common = 0;
  while (common < shortest && a[common] == b[common]) ++common;
  if (common > 0 && common < a.size() && IsLowSurrogate(a[common])) --common;
  // A CR LF pair is never split either.
  if (common > 0 && a[common - 1] == L'\r') --common;
  return common;
}

size_t LineStartAfter(std::wstring_view text, uint64_t lines) {
  size_t start = 0;
  for (uint64_t line = 0; line < lines; ++line) {
    const size_t feed = text.find(L'\n', start);
    if (feed == std::wstring_view::npos) return std::wstring_view::npos;
    start = feed + 1;
  }
  return start;
}
