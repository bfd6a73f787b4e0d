// SPDX-License-Identifier: GPL-3.0-or-later
// The window's side of a run without a window: the form values come from
// the command line, and every log message and progress update is applied at
// once on the worker's thread, under one short lock, to the log file and to
// standard output. Output that cannot be written is named on standard error
// by the main thread, outside the lock.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "cli/CliOptions.h"
#include "cli/LogFile.h"
#include "cli/OutputBuffer.h"
#include "cli/Presenter.h"
#include "cli/WriteFailures.h"
#include "engine/MainForm.h"

class CCliFrontEnd : public CMainForm {
public:
  // Shows the run through presenter, which writes to standardOutput, and,
  // when logFile is given, appends every message to it. All must outlive the
  // front end.
  CCliFrontEnd(const CCliOptions& options, CPresenter& presenter, const COutputBuffer& standardOutput,
               CLogFile* logFile);

  // The form values never change during a run, so no lock is needed.
  std::string Destination() const override { return m_options.destination; }
  bool CopyByParts() const override { return m_options.copyByParts; }
  bool ReGet() const override { return m_options.reget; }
  uint32_t Header() const override { return m_options.header; }
  uint32_t PartNumber() const override { return m_options.partNumber; }
  uint32_t PartSize() const override { return m_options.partSize; }

  void LogMessage(std::string_view message) override;
  void UpdateProgress() override;
  // Handles the worker's Start command as the window's Start button does
  // while a run goes on: it clears the run flag.
  void SendStartCommand() override;
  void OnSourceDone(const CSourceSummary& summary) override;
  // Adds the scanned source's result to the results and shows its summary.
  void OnScanDone(const CScanSummary& summary) override;
  // Shows the worker's pause through the presenter.
  void OnPauseChanged(bool paused) override;

  // Shows everything held back and writes all pending output now, before
  // the process stops. From the main thread.
  void FlushBeforeStop();

  // Shows what was held back, writes what is due and names output that
  // failed since the last tick. From the main thread.
  void Tick();

  // Closes the log file, shows the end of the run and writes everything
  // out. The end shows exitStatus with kExitOutputFailed added when output
  // failed before it; returns exitStatus with kExitOutputFailed added when
  // any output failed, the end's own included. From the main thread, after
  // the worker ended.
  int Finish(ResultFlags result, int exitStatus);

  // As Finish, for leaving at once while the worker may still run: does
  // nothing when the worker holds the lock at that moment, and leaves the
  // log file open.
  void FinishIfIdle(int exitStatus);

  // Returns the bitwise or of the results of the sources that ended so far.
  ResultFlags SourceResults() const { return m_sourceResults.load(); }

private:
  // Names the outputs that failed since the last call. From the main
  // thread, outside the lock; standardError and logError are their errno
  // values as read under the lock, 0 for none.
  void NoteFailures(int standardError, int logError);

  const CCliOptions& m_options;
  CPresenter& m_presenter;
  const COutputBuffer& m_standardOutput;
  CLogFile* m_logFile;
  CWriteFailures m_failures;  // used by the main thread only
  std::mutex m_lock;
  std::atomic<ResultFlags> m_sourceResults{kResultOk};
};
