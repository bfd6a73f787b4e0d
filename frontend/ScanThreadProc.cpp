// SPDX-License-Identifier: GPL-3.0-or-later
#include "frontend/ScanThreadProc.h"

#include "engine/FileNode.h"
#include "engine/LogPrintf.h"
#include "engine/RunState.h"

int ScanThreadProc(const std::string* source) {
  CFileNode root;
  g_RunState.leftOut.clear();
  g_RunState.sourceLost = false;
  if (source)
    root.ScanFolder(*source);
  else
    LogPrintf("\r\nno source to scan\r\n");
  g_RunState.runFlag = false;
  root.FreeChildren();
  g_RunState.workerFinished = true;
  return 0;
}
