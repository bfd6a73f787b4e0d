// SPDX-License-Identifier: GPL-3.0-or-later
#include "frontend/LogBoxText.h"

#include "frontend/FormExchange.h"
#include "frontend/Utf8Text.h"

std::string LogBoxText(std::string_view channelText) {
  return std::string(channelText.substr(0, Utf8CutPosition(channelText, kLogTextLimit)));
}

std::string WithoutCarriageReturns(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (char c : text)
    if (c != '\r') result += c;
  return result;
}
