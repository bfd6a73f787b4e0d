// SPDX-License-Identifier: GPL-3.0-or-later
// The log channel fed random messages, long ones included, and now and then
// emptied through the form as Start does. After every message the positions
// describe the text, the text is the old one with the message applied under
// the line rule (its oldest lines dropped when it would hold 11000 line
// feeds), and the log never holds that many.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <string>

#include "frontend/LogChannel.h"
#include "fuzz/FuzzChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  CLogChannel channel;
  std::string text;
  size_t lastLineStart = 0;
  while (input.remaining_bytes() > 0) {
    const auto kind = input.ConsumeIntegral<uint8_t>();
    if (kind == 0xFF) {
      channel.SetText("");
      text.clear();
      lastLineStart = 0;
      continue;
    }
    std::string message = (kind & 1) != 0 ? "\r\n" : "";
    if ((kind & 2) != 0)
      message.append(input.ConsumeIntegralInRange<size_t>(0, 32765), input.ConsumeIntegral<char>());
    else
      message += input.ConsumeRandomLengthString(80);
    channel.OnLogUpdate(message);

    const std::string written = message.substr(0, message.find('\0'));
    const std::string kept = text.substr(0, written.starts_with("\r\n") ? text.size() : lastLineStart);
    text = channel.Text();
    const std::string whole = kept + written;
    FUZZ_CHECK(whole.ends_with(text));
    FUZZ_CHECK(std::count(text.begin(), text.end(), '\n') < kLogKeptLines + kLogDroppedLinesAtOnce);
    const size_t feed = text.rfind('\n');
    lastLineStart = feed == std::string::npos ? 0 : feed + 1;
    FUZZ_CHECK(channel.LogEndPosition() == static_cast<int64_t>(text.size()));
    FUZZ_CHECK(channel.LastLineStart() == static_cast<int64_t>(lastLineStart));
  }
  return 0;
}
