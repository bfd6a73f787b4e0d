// SPDX-License-Identifier: GPL-3.0-or-later
// ferrox-cli's command line (the input cut at zero bytes into arguments):
// a run always has a source, a part number in range and no address that
// carries a password; a usage error always has its message, and a message
// that quotes an argument quotes one that was given.
#include <algorithm>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "frontend/FormNumber.h"
#include "fuzz/FuzzChecks.h"

namespace {

// The options that take no argument, as given in full.
const std::vector<std::string> kFlagOptions = {"--check", "--reget", "--json", "--help", "--version"};

// Returns the text between the first quote pair of error after prefix, or
// "" when error does not begin with prefix.
std::string Quoted(const std::string& error, const std::string& prefix) {
  if (!error.starts_with(prefix)) return "";
  return error.substr(prefix.size(), error.rfind('\'') - prefix.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> arguments = SplitAtZeros(data, size);
  arguments.insert(arguments.begin(), kProgramName);
  const std::vector<std::string> given = arguments;
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  CCliOptions options;
  std::string error;
  const CliCommand command = ParseCommandLine(static_cast<int>(given.size()), argv.data(), options, error);
  auto isGiven = [&](const std::string& word) {
    return std::find(given.begin() + 1, given.end(), word) != given.end();
  };
  if (command == CliCommand::kRun) {
    FUZZ_CHECK(!options.sources.empty() && error.empty());
    FUZZ_CHECK(options.partNumber >= kMinPartNumber && options.partNumber <= kMaxPartNumber);
    FUZZ_CHECK(!SmbPathHasPassword(options.destination));
    for (const std::string& source : options.sources)
      FUZZ_CHECK(!SmbPathHasPassword(source) && isGiven(source));
  }
  if (command == CliCommand::kUsageError) FUZZ_CHECK(!error.empty());
  if (const std::string word = Quoted(error, "unrecognized option '"); !word.empty()) {
    FUZZ_CHECK(isGiven(word) && word.starts_with("--"));
    FUZZ_CHECK(std::find(kFlagOptions.begin(), kFlagOptions.end(), word) == kFlagOptions.end());
  }
  if (const std::string word = Quoted(error, "option '"); !word.empty()) FUZZ_CHECK(word.starts_with("-"));
  if (const std::string letter = Quoted(error, "invalid option -- '"); !letter.empty())
    FUZZ_CHECK(letter.size() == 1 && std::string("dbrchU").find(letter) == std::string::npos);
  return 0;
}
