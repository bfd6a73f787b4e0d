// SPDX-License-Identifier: GPL-3.0-or-later
// Process-wide services of the Windows platform.
#include "platform/windows/WindowsApi.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/FileServices.h"
#include "platform/windows/WinPath.h"

namespace {

// Returns the text of the errno values the Windows C runtime has none of
// (it describes the first 43 only), in the words the POSIX backend's
// messages use; nullptr for any other value.
const char* ExtraErrorText(int error) {
  switch (error) {
    case ECONNABORTED:
      return "Software caused connection abort";
    case ECONNREFUSED:
      return "Connection refused";
    case ECONNRESET:
      return "Connection reset by peer";
    case ETIMEDOUT:
      return "Connection timed out";
    case ENETUNREACH:
      return "Network is unreachable";
    case EHOSTUNREACH:
      return "No route to host";
    case ENOTCONN:
      return "Transport endpoint is not connected";
    case ENOTSUP:
      return "Operation not supported";
    case EWOULDBLOCK:
      return "Resource temporarily unavailable";
    case EOVERFLOW:
      return "Value too large for defined data type";
    default:
      return nullptr;
  }
}

}  // namespace

// Returns the folder the program started in as UTF-8 (see StartFolder),
// or an empty text when the system could not tell.
std::string CurrentDirectory() { return Utf8FromWide(StartFolder()); }

// Returns the C runtime's description of error, or the project's own for
// the network and other values the runtime does not describe.
std::string ErrorText(int error) {
  if (const char* extra = ExtraErrorText(error)) return extra;
  char buffer[256] = {};
  if (strerror_s(buffer, sizeof buffer, error) != 0 || buffer[0] == '\0')
    return "error " + std::to_string(error);
  return buffer;
}
