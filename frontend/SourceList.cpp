// SPDX-License-Identifier: GPL-3.0-or-later
#include "frontend/SourceList.h"

#include "engine/LogPrintf.h"
#include "frontend/SourceAddress.h"
#include "platform/smb/SmbPath.h"

namespace {

constexpr char kBlank = ' ';
constexpr char kQuote = '"';
constexpr std::string_view kSmbScheme = "smb://";

// Returns the length of the opening of a share path at the start of text:
// 6 for "smb://" (the scheme in any case), 2 for two separators, 0 when
// text opens no share path.
size_t SharePathOpening(std::string_view text) {
  if (text.size() >= kSmbScheme.size()) {
    bool scheme = true;
    for (size_t i = 0; i < kSmbScheme.size() && scheme; ++i) {
      char c = text[i];
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      scheme = c == kSmbScheme[i];
    }
    if (scheme) return kSmbScheme.size();
  }
  if (text.size() >= 2 && IsSmbSeparator(text[0]) && IsSmbSeparator(text[1])) return 2;
  return 0;
}

// Advances pos to the next occurrence of stop, or to the end of text.
void RunTo(std::string_view text, size_t& pos, char stop) {
  while (pos < text.size() && text[pos] != stop) ++pos;
}

// Advances pos to the next separator, or to the end of text.
void RunToSeparator(std::string_view text, size_t& pos) {
  while (pos < text.size() && !IsSmbSeparator(text[pos])) ++pos;
}

// Takes the token that begins at pos and moves pos past it.
std::string TakeToken(std::string_view text, size_t& pos) {
  if (text[pos] == kQuote) {
    const size_t start = ++pos;
    RunTo(text, pos, kQuote);
    std::string token(text.substr(start, pos - start));
    if (pos < text.size()) ++pos;  // the closing quote
    return token;
  }
  const size_t start = pos;
  if (const size_t opening = SharePathOpening(text.substr(pos))) {
    pos += opening;
    if (pos < text.size()) {
      ++pos;  // the server part's first character, whatever it is
      RunToSeparator(text, pos);
    }
    if (pos < text.size()) {
      ++pos;  // the separator before the share part
      RunToSeparator(text, pos);
    }
  }
  RunTo(text, pos, kBlank);
  return std::string(text.substr(start, pos - start));
}

}  // namespace

std::vector<std::string> SplitSourceText(std::string_view text) {
  std::vector<std::string> sources;
  size_t pos = 0;
  for (;;) {
    while (pos < text.size() && text[pos] == kBlank) ++pos;
    if (pos == text.size()) break;
    sources.push_back(TakeToken(text, pos));
  }
  return sources;
}

void ParseSourceList(const std::string& logText, std::string_view sourceText,
                     std::vector<std::string>& sources) {
  LogPrintf("%s", logText.c_str());
  sources.clear();
  for (std::string& source : SplitSourceText(sourceText)) {
    if (SmbPathHasPassword(source)) {
      LogPrintf("source left out (%s): %s\r\n", kReasonPassword, WithoutPassword(source).c_str());
      continue;
    }
    // A share address that can name nothing (a port out of range, say) would
    // only be waited for until the reconnect limit.
    if (const char* fault = SmbAddressFault(source)) {
      LogPrintf("source left out (%s): %s\r\n", fault, source.c_str());
      continue;
    }
    LogPrintf("%s\r\n", source.c_str());
    sources.push_back(std::move(source));
  }
}
