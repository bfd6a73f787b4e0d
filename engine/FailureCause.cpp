// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/FailureCause.h"

#include <cerrno>

#include "engine/PathHelpers.h"
#include "engine/RunState.h"
#include "platform/FileServices.h"
#include "platform/smb/SmbPath.h"
#if !defined(_WIN32)
#include "platform/SmbModule.h"
#endif

bool FolderAnswers(const std::string& path) {
  const bool onShare = IsSmbPath(path);
  size_t cut = path.size();
  while (cut > 0 &&
         !(IsPathSeparator(path[cut - 1]) || (onShare && (path[cut - 1] == '/' || path[cut - 1] == '\\'))))
    --cut;
  if (cut <= 1) return false;
  CFindData data;
  return FindFirst(path.substr(0, cut - 1), data) != nullptr;
}

bool SourceAnswers(const std::string& path) {
  const std::string* source = g_RunState.currentSourcePath;
  if (source == nullptr || source->empty()) return FolderAnswers(path);
  CFindData data;
  return FindFirst(*source, data) != nullptr;
}

bool IsConnectionLevel(int error) {
  switch (error) {
    case ETIMEDOUT:
    case ECONNREFUSED:
    case ECONNRESET:
    case ECONNABORTED:
    case ENETRESET:
    case ENETDOWN:
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ENOTCONN:
    case EPIPE:
#if defined(EHOSTDOWN)
    case EHOSTDOWN:
#endif
      return true;
    default:
      return false;
  }
}

bool CannotHeal(const std::string& path, int error, bool listed) {
  switch (error) {
    case EPERM:
    case EILSEQ:
    case ENAMETOOLONG:
    case EISDIR:
    case ENOTDIR:
    case ELOOP:
      return true;
    case EACCES:
      // On a share the logon itself was refused: another logon may mend it.
      return !IsSmbPath(path);
    case ENOENT:
      return IsSmbPath(path) || (listed && FolderAnswers(path));
#if !defined(_WIN32)
    case kSmbModuleMissing:
      // Samba's client library could not be loaded: the process does not
      // try again.
      return true;
#endif
    default:
      return false;
  }
}

std::string CauseText(const std::string& path, int error) {
  switch (error) {
    case EPERM:
    case EACCES:
      return "access denied";
    case ENOENT:
      return "not found";
    case EILSEQ:
      if (IsSmbPath(path)) return "a name the share cannot hold";
      break;
#if !defined(_WIN32)
    case kSmbModuleMissing:
      if (IsSmbPath(path)) return SmbModuleFault();
      break;
#endif
    default:
      break;
  }
  return ErrorText(error);
}

std::string UnreachedText([[maybe_unused]] const std::string& path, int error) {
#if !defined(_WIN32)
  if (error == kSmbModuleMissing && IsSmbPath(path)) return SmbModuleFault();
#endif
  return ErrorText(error);
}
