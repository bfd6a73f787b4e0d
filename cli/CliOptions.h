// SPDX-License-Identifier: GPL-3.0-or-later
// The command line of ferrox-cli: the form values it stands for, the sources
// and the output choices.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Connections.h"

inline constexpr char kProgramName[] = "ferrox-cli";

inline constexpr uint32_t kDefaultBufferSize = 1048576;
// The default buffer size while check after copy is on.
inline constexpr uint32_t kCheckBufferSize = 10485760;
inline constexpr uint32_t kDefaultReconnectLimit = 300;
inline constexpr uint32_t kDefaultCheckCycles = 1;
inline constexpr uint32_t kDefaultPartSize = 104857600;
inline constexpr uint32_t kDefaultHeader = 1024;

struct CCliOptions {
  std::string destination;  // empty: the current directory
  uint32_t bufferSize = kDefaultBufferSize;
  uint32_t reconnectLimit = kDefaultReconnectLimit;
  bool checkAfterCopy = false;
  uint32_t checkCycles = kDefaultCheckCycles;
  bool copyByParts = false;
  uint32_t partNumber = 1;
  uint32_t partSize = kDefaultPartSize;
  uint32_t header = kDefaultHeader;
  bool reget = false;
  bool passUnreadable = false;                 // --pass-unreadable: pages that cannot be read become zeros
  uint32_t connections = kDefaultConnections;  // --connections N: to one server at most (1 to 64)
  std::optional<std::string> logPath;
  std::optional<std::string> credentialsPath;  // --credentials FILE
  std::optional<std::string> user;             // --user [DOMAIN\]USER
  bool json = false;
  bool scan = false;  // --scan: scan the sources against the destination, copy nothing
  std::vector<std::string> sources;
};

enum class CliCommand { kRun, kHelp, kVersion, kUsageError };

// Reads the command line into options. Options may stand before, between or
// after the sources; "--" ends them. Returns kHelp or kVersion when asked
// for, kUsageError with a one-line message in error (without the program
// name) for an unknown option, a missing argument, a refused number, a
// missing source, a share address that carries a password or that can name
// nothing on a share (a port that is not a number from 1 to 65535, say:
// SmbAddressFault), and kRun otherwise. May reorder argv.
CliCommand ParseCommandLine(int argc, char** argv, CCliOptions& options, std::string& error);
