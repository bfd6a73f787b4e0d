#include "UpdateProgress.h"

#include "MainForm.h"
#include "RunState.h"

void UpdateProgress() {
  if (CMainForm* form = g_RunState.mainForm.load()) form->UpdateProgress();
}
