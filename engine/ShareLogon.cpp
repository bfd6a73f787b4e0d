#include "ShareLogon.h"

#include <cerrno>

#include "FileServices.h"
#include "LogPrintf.h"
#include "MainForm.h"
#include "RunState.h"
#include "SmbCredentials.h"
#include "SmbPath.h"

bool LogonRefused(const std::string& path, int error) { return error == EACCES && IsSmbPath(path); }

std::string ShareOfPath(const std::string& path) {
  const size_t start = path.find("://") == 3 ? 6 : 2;
  size_t end = path.find_first_of("/\\", start);  // after the server
  if (end == std::string::npos) return path;
  end = path.find_first_of("/\\", end + 1);  // after the share
  return end == std::string::npos ? path : path.substr(0, end);
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
    if (g_RunState.runFlag) LogPrintf("\r\n%s refused the logon (user name or password ?)\r\n", share.c_str());
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
