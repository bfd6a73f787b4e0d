// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/TerminalText.h"

void AppendForTerminal(std::string& out, std::string_view text, size_t maxBytes) {
  if (text.size() > maxBytes) {
    size_t cut = maxBytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text = text.substr(0, cut);
  }
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    out += byte < 0x20 || byte == 0x7F ? '?' : c;
  }
}

void AppendTerminalTitle(std::string& out, std::string_view title) {
  out += "\033]0;";
  AppendForTerminal(out, title);
  out += '\a';
}
