// SPDX-License-Identifier: GPL-3.0-or-later
// What a window is to the engine, the same for every window: the form
// values the worker reads, the log channel its messages are applied to and
// the progress display it computes, each under a short lock on the
// worker's own thread. Nothing is sent to the window: it is asked to
// repaint soon and takes the state at its own pace.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "engine/MainForm.h"
#include "frontend/EngineFormValues.h"
#include "frontend/LogChannel.h"
#include "frontend/ProgressDisplay.h"
#include "frontend/RunLogFile.h"

class CWindowFrontEnd : public CMainForm {
public:
  // Hands every piece of the log that becomes final to the run's log file.
  CWindowFrontEnd();
  // Closes the run's log file, writing the log's last line.
  ~CWindowFrontEnd() override;
  CWindowFrontEnd(const CWindowFrontEnd&) = delete;
  CWindowFrontEnd& operator=(const CWindowFrontEnd&) = delete;

  // The engine's view of the form: the values last published, each whole.
  std::string Destination() const override;
  bool CopyByParts() const override;
  bool ReGet() const override;
  uint32_t Header() const override;
  uint32_t PartNumber() const override;
  uint32_t PartSize() const override;

  // Applies message to the log channel now, on the calling thread, asks for
  // a repaint and returns without waiting for the window.
  void LogMessage(std::string_view message) override;

  // Computes the progress display from the run state now, on the calling
  // thread, asks for a repaint and returns without waiting for the window.
  void UpdateProgress() override;

  // Returns the run's log file.
  const CRunLogFile& RunLog() const { return m_runLog; }

protected:
  // Makes sure the display is brought up to date soon. Called from any
  // thread; never waits for the window's thread.
  virtual void RequestRepaint() = 0;

  // Returns true with the progress computed last in display when it changed
  // since it was last taken; returns false and leaves display otherwise.
  bool TakeProgress(CProgressDisplay& display);

  // Returns whether the progress changed since it was last taken.
  bool ProgressChanged() const;

  // Puts the progress display back as it was before any run (the labels
  // "File :" and "Total :", both bars at 0, the caption "Ferrox") and asks
  // for a repaint.
  void ResetDisplayedProgress();

  // Opens a new run log file in RunLogFolder(); returns false with a
  // description in error when it cannot.
  bool OpenLogFile(std::string& error);
  // Writes the log's last line into the run log file and closes it.
  void CloseLogFile();

  CRunLogFile m_runLog;

  CEngineFormValues m_engineValues;
  CLogChannel m_log;

private:
  mutable std::mutex m_progressLock;
  CProgressDisplay m_progress;     // under m_progressLock
  bool m_progressChanged = false;  // under m_progressLock
};
