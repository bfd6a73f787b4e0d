// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliOptions.h"

#include <getopt.h>

#include "cli/ShareCredentials.h"
#include "frontend/FormNumber.h"
#include "platform/Connections.h"
#include "platform/smb/SmbPath.h"

namespace {

// The identities of the options without a short form.
enum LongOnly : int {
  kOptCheckCycles = 256,
  kOptParts,
  kOptPartSize,
  kOptHeader,
  kOptReget,
  kOptLog,
  kOptJson,
  kOptVersion,
  kOptCredentials,
  kOptScan,
  kOptPassUnreadable,
  kOptConnections,
};

constexpr char kShortOptions[] = ":d:b:r:chU:";

const option kLongOptions[] = {
    {"dest", required_argument, nullptr, 'd'},
    {"buffer-size", required_argument, nullptr, 'b'},
    {"reconnect-limit", required_argument, nullptr, 'r'},
    {"check", no_argument, nullptr, 'c'},
    {"check-cycles", required_argument, nullptr, kOptCheckCycles},
    {"parts", required_argument, nullptr, kOptParts},
    {"part-size", required_argument, nullptr, kOptPartSize},
    {"header", required_argument, nullptr, kOptHeader},
    {"reget", no_argument, nullptr, kOptReget},
    {"pass-unreadable", no_argument, nullptr, kOptPassUnreadable},
    {"connections", required_argument, nullptr, kOptConnections},
    {"log", required_argument, nullptr, kOptLog},
    {"json", no_argument, nullptr, kOptJson},
    {"scan", no_argument, nullptr, kOptScan},
    {"credentials", required_argument, nullptr, kOptCredentials},
    {"user", required_argument, nullptr, 'U'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, kOptVersion},
    {nullptr, 0, nullptr, 0},
};

// Returns the long name of the option with the identity id, "--" included.
std::string OptionName(int id) {
  for (const option& entry : kLongOptions) {
    if (entry.name != nullptr && entry.val == id) return std::string("--") + entry.name;
  }
  return std::string("-") + static_cast<char>(id);
}

// Returns true when id is the identity of a long option that takes no
// argument.
bool TakesNoArgument(int id) {
  for (const option& entry : kLongOptions) {
    if (entry.name != nullptr && entry.val == id) return entry.has_arg == no_argument;
  }
  return false;
}

// Reads the value of the option id into value under the form's number rule
// and within [lo, hi]. Returns true, or false with the form's message in
// error.
bool ReadNumber(int id, const char* text, uint32_t lo, uint32_t hi, uint32_t& value, std::string& error) {
  uint32_t number = 0;
  if (!ParseFormUnsigned(text, number)) {
    error = OptionName(id) + ": " + kMsgPositiveInteger;
    return false;
  }
  if (number < lo || number > hi) {
    error = OptionName(id) + ": " + FormatRangeMessage(lo, hi);
    return false;
  }
  value = number;
  return true;
}

constexpr uint32_t kAnyNumber = 4294967295u;

}  // namespace

CliCommand ParseCommandLine(int argc, char** argv, CCliOptions& options, std::string& error) {
  bool bufferSizeGiven = false;
  opterr = 0;
  optind = 0;  // a full restart of getopt's scan
  for (;;) {
    const int id = getopt_long(argc, argv, kShortOptions, kLongOptions, nullptr);
    if (id == -1) break;
    bool valid = true;
    switch (id) {
      case 'd':
        options.destination = optarg;
        break;
      case 'b':
        valid = ReadNumber(id, optarg, 0, kAnyNumber, options.bufferSize, error);
        bufferSizeGiven = true;
        break;
      case 'r':
        valid = ReadNumber(id, optarg, 0, kAnyNumber, options.reconnectLimit, error);
        break;
      case 'c':
        options.checkAfterCopy = true;
        break;
      case kOptCheckCycles:
        valid = ReadNumber(id, optarg, 0, kAnyNumber, options.checkCycles, error);
        break;
      case kOptParts:
        valid = ReadNumber(id, optarg, kMinPartNumber, kMaxPartNumber, options.partNumber, error);
        options.copyByParts = true;
        break;
      case kOptPartSize:
        valid = ReadNumber(id, optarg, 0, kAnyNumber, options.partSize, error);
        break;
      case kOptHeader:
        valid = ReadNumber(id, optarg, 0, kAnyNumber, options.header, error);
        break;
      case kOptPassUnreadable:
        options.passUnreadable = true;
        break;
      case kOptReget:
        options.reget = true;
        break;
      case kOptConnections:
        valid = ReadNumber(id, optarg, 1, kMostConnections, options.connections, error);
        break;
      case kOptLog:
        options.logPath = optarg;
        break;
      case kOptJson:
        options.json = true;
        break;
      case kOptScan:
        options.scan = true;
        break;
      case kOptCredentials:
        options.credentialsPath = optarg;
        break;
      case 'U':
        options.user = optarg;
        break;
      case 'h':
        return CliCommand::kHelp;
      case kOptVersion:
        return CliCommand::kVersion;
      case ':':
        // Some C libraries report an argument given to an option that takes
        // none in the same way as a missing one.
        if (optopt != 0 && TakesNoArgument(optopt))
          error = "option '" + OptionName(optopt) + "' doesn't allow an argument";
        else
          error = "option '" + std::string(argv[optind - 1]) + "' requires an argument";
        return CliCommand::kUsageError;
      default:
        // An unknown or ambiguous long option comes back with optopt 0 and
        // getopt past its word. One that takes no argument but was given
        // one comes back with its identity. An unknown letter comes back as
        // itself, and optind need not have passed its word yet (a letter
        // inside "-zc"), so no word is named for it.
        if (optopt == 0)
          error = "unrecognized option '" + std::string(argv[optind - 1]) + "'";
        else if (TakesNoArgument(optopt))
          error = "option '" + OptionName(optopt) + "' doesn't allow an argument";
        else
          error = "invalid option -- '" + std::string(1, static_cast<char>(optopt)) + "'";
        return CliCommand::kUsageError;
    }
    if (!valid) return CliCommand::kUsageError;
  }
  if (!bufferSizeGiven && options.checkAfterCopy) options.bufferSize = kCheckBufferSize;
  for (int i = optind; i < argc; ++i) options.sources.emplace_back(argv[i]);
  if (options.sources.empty()) {
    error = "no source given";
    return CliCommand::kUsageError;
  }
  std::vector<std::string> addresses = options.sources;
  addresses.push_back(options.destination);
  for (const std::string& address : addresses) {
    if (!AddressCarriesPassword(address)) continue;
    error =
        "a password in a share address is refused (a process listing shows it); put it in a file given "
        "with --credentials FILE";
    return CliCommand::kUsageError;
  }
  for (const std::string& address : addresses) {
    const char* fault = SmbAddressFault(address);
    if (fault == nullptr) continue;
    error = "\"" + address + "\": " + fault;
    return CliCommand::kUsageError;
  }
  return CliCommand::kRun;
}
