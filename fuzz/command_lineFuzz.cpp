// SPDX-License-Identifier: GPL-3.0-or-later
// The window's intake of addresses from outside. Arguments (the input cut at
// zero bytes): the Source text TakeCommandLine builds reads back as exactly
// the sources of the arguments it takes, and every other argument is listed
// as left out. A dropped list (the whole input): every path taken is a text
// the Source field can hold. No password is taken or shown.
#include <string>
#include <vector>

#include "frontend/CommandLine.h"
#include "frontend/SourceList.h"
#include "frontend/SourceToken.h"
#include "fuzz/FuzzChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> arguments = SplitAtZeros(data, size);
  const CCommandLineSources taken = TakeCommandLine(arguments);
  std::vector<std::string> expected;
  for (const std::string& argument : arguments) {
    const CAddressSource source = SourceOfArgument(argument);
    FUZZ_CHECK(ShowsNoPassword(source.shown));
    FUZZ_CHECK(source.reason.empty() || source.path.empty());
    if (source.reason.empty() && SourceToken(source.path)) expected.push_back(source.path);
  }
  for (const std::string& path : expected) FUZZ_CHECK(!SmbPathHasPassword(path));
  FUZZ_CHECK(SplitSourceText(taken.sourceText) == expected);
  FUZZ_CHECK(taken.leftOut.size() + expected.size() == arguments.size());
  for (const CLeftOutArgument& left : taken.leftOut)
    FUZZ_CHECK(!left.reason.empty() && ShowsNoPassword(left.argument));

  const CDroppedSources dropped =
      TakeDroppedUrls(std::string_view(reinterpret_cast<const char*>(data), size));
  for (const std::string& path : dropped.paths)
    FUZZ_CHECK(path.find('\0') == std::string::npos && !SmbPathHasPassword(path));
  for (const CLeftOutArgument& left : dropped.leftOut) FUZZ_CHECK(ShowsNoPassword(left.argument));
  return 0;
}
