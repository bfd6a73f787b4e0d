// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/ShareLogon.h"

#include <cerrno>

#include "engine/LogPrintf.h"
#include "engine/MainForm.h"
#include "engine/RunState.h"
#include "platform/FileServices.h"
#include "platform/smb/SmbCredentials.h"
#include "platform/smb/SmbPath.h"

bool LogonRefused(const std::string& path, int error) { return error == EACCES && IsSmbPath(path); }

std::string ShareOfPath(const std::string& path) {
  CSmbLocation location;
  if (!ParseSmbPath(path, location) || location.share.empty()) return path;
  return path.substr(0, location.shareEnd);
}

bool LogonAgain(const std::string& path, int64_t& waited) {
  waited = 0;
  const std::string share = ShareOfPath(path);
  CMainForm* form = g_RunState.mainForm.load();
  CShareLogon logon;
  logon.share = share;
  const int64_t asked = TimeNow();
  const bool given = form && g_RunState.runFlag && form->AskShareLogon(logon) && g_RunState.runFlag;
  waited = TimeNow() - asked;
  if (!given) {
    // A run stopped while the user was asked ends as stopped, not refused.
    if (g_RunState.runFlag)
      LogPrintf("\r\n%s refused the logon (user name or password ?)\r\n", share.c_str());
    return false;
  }
  CSmbCredentials credentials;
  credentials.user = logon.user;
  credentials.domain = logon.domain;
  credentials.password = logon.password;
  SetSmbCredentials(credentials);
  // The copies of the password held here are cleared before they go.
  credentials.password.assign(credentials.password.size(), '\0');
  logon.password.assign(logon.password.size(), '\0');
  return true;
}
