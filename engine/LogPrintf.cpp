// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/LogPrintf.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "engine/MainForm.h"
#include "engine/RunState.h"
#include "platform/ErrnoGuard.h"

void LogPrintf(const char* format, ...) {
  // Each thread formats into its own buffer, so a window-thread message never
  // shares storage with one the worker is formatting.
  thread_local std::string buffer(4096, '\0');
  const CErrnoGuard keepErrno;

  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int length = std::vsnprintf(buffer.data(), buffer.size(), format, args);
  va_end(args);
  if (length >= 0 && static_cast<size_t>(length) >= buffer.size()) {
    buffer.resize(static_cast<size_t>(length) + 1);
    length = std::vsnprintf(buffer.data(), buffer.size(), format, again);
  }
  va_end(again);
  if (length < 0) return;

  if (CMainForm* form = g_RunState.mainForm.load()) {
    form->LogMessage(std::string_view(buffer.data(), static_cast<size_t>(length)));
  }
}
