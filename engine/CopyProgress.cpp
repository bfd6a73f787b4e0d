#include "CopyProgress.h"

#include <cinttypes>

#include "LogPrintf.h"
#include "PathHelpers.h"

uint64_t ScaledShare(uint64_t value, uint64_t scale, uint64_t whole) {
  __extension__ using Wide = unsigned __int128;
  return static_cast<uint64_t>(static_cast<Wide>(value) * scale / whole);
}

void LogProgressLine(const std::string& name, uint64_t length, uint64_t percent) {
  LogPrintf("\"%s\"  %10" PRIu64 " bytes, %4" PRIu64 " mb, %3" PRIu64 "%%", name.c_str(), length,
            length >> 20, percent);
}

ResultFlags CloseDestination(CStream& destination, const std::string& name) {
  if (destination.Close() == 0) return kResultOk;
  LogPrintf("\r\neror %d writing %s\r\n", 32, name.c_str());
  return kResultWriteFailure;
}

void LogFailureCause(const std::string& path, int error) {
  LogPrintf("%s : %s\r\n", path.c_str(), ErrorText(error).c_str());
}

std::string DestinationPath(const std::string& folder, const std::string& name) {
  return WithBackslash(folder) + name;
}
