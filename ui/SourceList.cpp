#include "SourceList.h"

#include "LogPrintf.h"

namespace {

constexpr char kBlank = ' ';
constexpr char kQuote = '"';
constexpr char kSeparator = '/';

// Advances pos to the next occurrence of stop, or to the end of text.
void RunTo(std::string_view text, size_t& pos, char stop) {
  while (pos < text.size() && text[pos] != stop) ++pos;
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
  if (text.substr(pos, 2) == "//") {
    pos += 2;
    if (pos < text.size()) {
      ++pos;  // the server part's first character, whatever it is
      RunTo(text, pos, kSeparator);
    }
    if (pos < text.size()) {
      ++pos;  // the separator before the share part
      RunTo(text, pos, kSeparator);
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
  sources = SplitSourceText(sourceText);
  for (const std::string& source : sources) LogPrintf("%s\r\n", source.c_str());
}
