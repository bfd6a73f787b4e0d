// SPDX-License-Identifier: GPL-3.0-or-later
// What the run commands need of the window: the form exchange, the log,
// the two button texts, the window itself and a way to start a worker.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "frontend/FormValues.h"

class CRunHost {
public:
  virtual ~CRunHost() = default;

  // Reads the whole form into the form values; shows the message of a
  // refused field, focuses it and returns false.
  virtual bool ReadFormValues() = 0;
  // Empties the log and writes the form values into the controls.
  virtual void EmptyLogAndWriteForm() = 0;
  // Splits the Source value into the run state's source list, echoing the
  // log text and each source to the log.
  virtual void ParseSourceList() = 0;
  // Returns the form values.
  virtual const CFormValues& FormValues() const = 0;

  // Set the texts of the Start button and of the Pause button.
  virtual void SetStartText(const char* text) = 0;
  virtual void SetPauseText(const char* text) = 0;

  // Shows the window normally (restored when minimised) and brings it to
  // the front.
  virtual void BringToFront() = 0;
  // Closes the window with the Exit command's result; the program ends.
  virtual void CloseWindow() = 0;

  // Runs work on a new thread that nobody waits for. Returns false with a
  // description in error when no thread could be created.
  virtual bool StartWorker(std::function<void()> work, std::string& error) = 0;

  // Enables or disables the Pause and Skip File buttons; nothing by
  // default.
  virtual void SetRunButtons(bool /*pauseEnabled*/, bool /*skipFileEnabled*/) {}

  // Puts the progress display back as it was before any run; nothing by
  // default.
  virtual void ResetProgress() {}
  // Opens a new log file for the run's log; returns false with a
  // description in error when it cannot. True and nothing else by default.
  virtual bool OpenRunLog(std::string& /*error*/) { return true; }
  // Writes what is left of the log into the run's log file and closes it;
  // nothing by default or while none is open.
  virtual void CloseRunLog() {}
  // Enables or disables the Scan Folders button; nothing by default.
  virtual void SetScanFoldersEnabled(bool /*enabled*/) {}

  // What the run commands remember between commands; window thread only.
  bool workerStarted = false;  // a worker was started and its end not handled yet
  bool exitRequested = false;  // Exit was pressed while that worker ran
  bool runStarted = false;     // a run was started by a Start command, at runStartMs
  int64_t runStartMs = 0;
  bool copyStarted = false;  // the worker started is a copy (Start), not a scan
  bool fileActive = false;   // the progress shown last says a file is being copied
};
