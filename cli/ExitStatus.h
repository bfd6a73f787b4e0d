// SPDX-License-Identifier: GPL-3.0-or-later
// The exit statuses of ferrox-cli besides the sources' result bits.
#pragma once

inline constexpr int kExitSuccess = 0;
// A usage error, or a run that could not start.
inline constexpr int kExitUsage = 1;
// Standard output or the --log file could not be written; or'ed with the
// sources' result bits.
inline constexpr int kExitOutputFailed = 32;
// The run was aborted with Ctrl-C or SIGTERM.
inline constexpr int kExitAborted = 130;

// Returns status with kExitOutputFailed added; an abort and a usage error
// keep their statuses.
constexpr int WithOutputFailure(int status) {
  return status == kExitAborted || status == kExitUsage ? status : status | kExitOutputFailed;
}
