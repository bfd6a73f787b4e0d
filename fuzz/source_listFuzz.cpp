// SPDX-License-Identifier: GPL-3.0-or-later
// ParseSourceList on any Source text: the sources are the text's tokens but
// those carrying a password and share addresses that can name nothing, no
// password reaches the log, and the sources
// written back as Source text read back unchanged.
#include <string>
#include <vector>

#include "frontend/SourceAddress.h"
#include "frontend/SourceList.h"
#include "frontend/SourceToken.h"
#include "fuzz/FuzzChecks.h"
#include "platform/smb/SmbPath.h"
#include "tests/support/TestFrontEnd.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> sources;
  std::vector<std::string> messages;
  {
    CTestFrontEnd form;
    ParseSourceList("", text, sources);
    messages = form.Messages();
  }
  std::vector<std::string> kept;
  for (const std::string& token : SplitSourceText(text))
    if (!SmbPathHasPassword(token) && !SmbAddressFault(token)) kept.push_back(token);
  FUZZ_CHECK(sources == kept);
  const std::string leftOut = std::string("source left out (") + kReasonPassword + "): ";
  for (std::string_view shown : messages) {
    if (shown.starts_with(leftOut)) shown.remove_prefix(leftOut.size());
    if (shown.ends_with("\r\n")) shown.remove_suffix(2);
    FUZZ_CHECK(ShowsNoPassword(shown));
  }

  std::vector<std::string> tokenized;
  for (const std::string& source : sources)
    if (SourceToken(source)) tokenized.push_back(source);
  FUZZ_CHECK(SplitSourceText(BuildSourceText(sources).text) == tokenized);
  return 0;
}
