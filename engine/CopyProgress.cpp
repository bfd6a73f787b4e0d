// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CopyProgress.h"

#include <cerrno>
#include <cinttypes>

#include "engine/FailureCause.h"
#include "engine/LeftOut.h"
#include "engine/LogPrintf.h"
#include "engine/PathHelpers.h"
#include "engine/RunState.h"
#include "platform/smb/SmbPath.h"

uint64_t ScaledShare(uint64_t value, uint64_t scale, uint64_t whole) {
  // value * scale / whole = (value / whole) * scale + (value % whole) * scale
  // / whole. The second product may need 128 bits, which 32-bit compilers
  // lack: it is formed bit by bit of scale, its remainder modulo whole kept
  // below whole all along, so nothing overflows.
  const uint64_t part = value % whole;
  uint64_t quotient = 0;
  uint64_t remainder = 0;
  for (int bit = 63; bit >= 0; --bit) {
    // Double: quotient * whole + remainder goes twice as far.
    quotient <<= 1;
    if (remainder >= whole - remainder) {
      remainder -= whole - remainder;
      ++quotient;
    } else {
      remainder += remainder;
    }
    if ((scale >> bit) & 1) {
      if (remainder >= whole - part) {
        remainder -= whole - part;
        ++quotient;
      } else {
        remainder += part;
      }
    }
  }
  return value / whole * scale + quotient;
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
  // A name a share cannot hold says more than the system's word for it.
  const std::string text = error == EILSEQ && IsSmbPath(path) ? CauseText(path, error) : ErrorText(error);
  LogPrintf("%s : %s\r\n", path.c_str(), text.c_str());
}

uint32_t WriteFailed(const std::string& path, int error) {
  LogFailureCause(path, error);
  if (IsSmbPath(path) && IsConnectionLevel(error) && g_RunState.runFlag) return kResultReadFailure;
  NoteFailureCause("write error: " + CauseText(path, error));
  return kResultWriteFailure;
}

void LogChangedSource(const std::string& source) {
  LogPrintf("\r\n%s changed during the copy, its copy is kept as a partial\r\n", source.c_str());
  NoteFailureCause("changed during the copy");
}

std::string DestinationPath(const std::string& folder, const std::string& name) {
  return WithBackslash(folder) + name;
}
