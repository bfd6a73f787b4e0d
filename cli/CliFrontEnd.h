// The window's side of a run without a window: the form values come from
// the command line, and every log message and progress update is applied at
// once on the worker's thread, under one short lock, to the log file and to
// standard output.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "CliOptions.h"
#include "LogFile.h"
#include "MainForm.h"
#include "Presenter.h"

class CCliFrontEnd : public CMainForm {
public:
  // Shows the run through presenter and, when logFile is given, appends
  // every message to it. Both must outlive the front end.
  CCliFrontEnd(const CCliOptions& options, CPresenter& presenter, CLogFile* logFile);

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

  // Shows what was held back and writes what is due. From the main thread.
  void Tick();

  // Shows the end of the run and writes everything out.
  void Finish(ResultFlags result, int exitStatus);

  // As Finish, for leaving at once while the worker may still run: does
  // nothing when the worker holds the lock at that moment.
  void FinishIfIdle(int exitStatus);

  // Returns the bitwise or of the results of the sources that ended so far.
  ResultFlags SourceResults() const { return m_sourceResults.load(); }

private:
  const CCliOptions& m_options;
  CPresenter& m_presenter;
  CLogFile* m_logFile;
  std::mutex m_lock;
  std::atomic<ResultFlags> m_sourceResults{kResultOk};
};
