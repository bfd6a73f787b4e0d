// SPDX-License-Identifier: GPL-3.0-or-later
// A front end for engine tests: holds the form values, applies every log
// message to a log channel, and records what the engine showed.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/MainForm.h"
#include "frontend/LogChannel.h"

// The run state's progress counters as one UpdateProgress call saw them.
struct CProgressSnapshot {
  uint32_t fileProgress;
  uint64_t bytesDone;
  uint64_t totalBytes;
  int32_t currentFileNumber;
  int32_t fileCount;
};

class CTestFrontEnd : public CMainForm {
public:
  // Installs itself as the run state's main form; the destructor removes it.
  CTestFrontEnd();
  ~CTestFrontEnd() override;

  std::string Destination() const override;
  bool CopyByParts() const override { return copyByParts; }
  bool ReGet() const override { return reget; }
  uint32_t Header() const override { return header; }
  uint32_t PartNumber() const override { return partNumber; }
  uint32_t PartSize() const override { return partSize; }

  void LogMessage(std::string_view message) override;
  void UpdateProgress() override;
  void SendStartCommand() override;
  void OnSourceDone(const CSourceSummary& summary) override;
  void OnScanDone(const CScanSummary& summary) override;
  // Counts the pauses and continues the engine told of.
  void OnPauseChanged(bool paused) override { ++(paused ? pauses : continues); }
  // Answers through onAskShareLogon; refuses without it.
  bool AskShareLogon(CShareLogon& logon) override;

  void SetDestination(std::string destination);

  // Every message in the order received, replaced ones included.
  std::vector<std::string> Messages() const;
  std::vector<CProgressSnapshot> Progress() const;
  std::vector<CSourceSummary> Summaries() const;
  std::vector<CScanSummary> ScanSummaries() const;

  // Answers the engine's request for another logon to a share.
  std::function<bool(CShareLogon&)> onAskShareLogon;
  std::atomic<int> logonRequests{0};
  std::atomic<int> pauses{0};
  std::atomic<int> continues{0};

  // Called on the logging thread after each message has been applied.
  std::function<void(const std::string&)> onMessage;

  // The log as the window would show it.
  std::string LogText() const { return log.Text(); }

  CLogChannel log;
  std::atomic<bool> copyByParts{false};
  std::atomic<bool> reget{false};
  std::atomic<uint32_t> header{1024};
  std::atomic<uint32_t> partNumber{1};
  std::atomic<uint32_t> partSize{104857600};
  std::atomic<int> progressUpdates{0};
  std::atomic<int> startCommands{0};

private:
  mutable std::mutex m_lock;
  std::string m_destination;
  std::vector<std::string> m_messages;
  std::vector<CProgressSnapshot> m_progress;
  std::vector<CSourceSummary> m_summaries;
  std::vector<CScanSummary> m_scanSummaries;
};
