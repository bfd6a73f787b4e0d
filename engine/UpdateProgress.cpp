// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/UpdateProgress.h"

#include "engine/MainForm.h"
#include "engine/RunState.h"

void UpdateProgress() {
  if (CMainForm* form = g_RunState.mainForm.load()) form->UpdateProgress();
}
