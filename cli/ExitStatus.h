// The exit statuses of ferrox-cli besides the sources' result bits.
#pragma once

inline constexpr int kExitSuccess = 0;
// A usage error, or a run that could not start.
inline constexpr int kExitUsage = 1;
// The run was aborted with Ctrl-C or SIGTERM.
inline constexpr int kExitAborted = 130;
