// SPDX-License-Identifier: GPL-3.0-or-later
// The run commands' state machine over a host that records what they do.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "engine/LogPrintf.h"
#include "engine/RunState.h"
#include "frontend/RunButtons.h"
#include "frontend/RunCommands.h"
#include "frontend/SourceList.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFrontEnd.h"

namespace {

class CFakeRunHost : public CRunHost {
public:
  bool ReadFormValues() override {
    ++reads;
    return readPasses;
  }
  void EmptyLogAndWriteForm() override {
    ++writes;
    front.log.SetText("");
  }
  void ParseSourceList() override { ::ParseSourceList("", values.source, g_RunState.sources); }
  const CFormValues& FormValues() const override { return values; }
  void SetStartText(const char* text) override { startText = text; }
  void SetPauseText(const char* text) override { pauseText = text; }
  void SetRunButtons(bool pause, bool skipFile) override {
    pauseEnabled = pause;
    skipFileEnabled = skipFile;
  }
  void BringToFront() override { ++broughtToFront; }
  void CloseWindow() override { ++closed; }
  void ResetProgress() override { ++progressResets; }
  bool OpenRunLog(std::string& error) override {
    ++logsOpened;
    error = "no room";
    return logOpens;
  }
  void CloseRunLog() override { ++logsClosed; }
  void SetScanFoldersEnabled(bool enabled) override { scanEnabled.push_back(enabled); }
  bool StartWorker(std::function<void()> work, std::string& error) override {
    ++workersStarted;
    if (!threadsWork) {
      error = "Resource temporarily unavailable";
      return false;
    }
    if (runWorkerAtOnce) work();
    return true;
  }

  CTestFrontEnd front;
  CFormValues values;
  bool readPasses = true;
  bool threadsWork = true;
  bool runWorkerAtOnce = false;
  bool logOpens = true;
  int reads = 0, writes = 0, broughtToFront = 0, closed = 0, workersStarted = 0;
  int progressResets = 0, logsOpened = 0, logsClosed = 0;
  std::string startText = "&Start", pauseText = "&Pause";
  std::vector<bool> scanEnabled;  // every SetScanFoldersEnabled call
  bool pauseEnabled = false, skipFileEnabled = false;
};

class CRunCommandsTest : public ::testing::Test {
protected:
  CRunCommandsTest() { g_RunState.Reset(); }
  ~CRunCommandsTest() override { g_RunState.Reset(); }

  CFakeRunHost host;
};

TEST_F(CRunCommandsTest, PhasesFollowTheTwoFlags) {
  EXPECT_EQ(CurrentRunPhase(g_RunState), RunPhase::kIdle);
  g_RunState.runFlag = true;
  g_RunState.workerFinished = false;
  EXPECT_EQ(CurrentRunPhase(g_RunState), RunPhase::kRunning);
  g_RunState.runFlag = false;
  EXPECT_EQ(CurrentRunPhase(g_RunState), RunPhase::kStopping);
}

TEST_F(CRunCommandsTest, StartFromIdleArmsTheRunAndCopiesTheSettings) {
  host.values.source = "\"/srv/a\" /srv/b";
  host.values.bufferSize = 4096;
  host.values.reconnectLimit = 9;
  host.values.checkCycles = 3;
  host.values.checkAfterCopy = true;
  host.values.passUnreadable = true;
  OnStartAbort(host);
  EXPECT_EQ(host.reads, 1);
  EXPECT_EQ(host.writes, 1);
  EXPECT_EQ(host.workersStarted, 1);
  EXPECT_EQ(host.startText, "&Abort");
  EXPECT_EQ(CurrentRunPhase(g_RunState), RunPhase::kRunning);
  EXPECT_EQ(g_RunState.sources, (std::vector<std::string>{"/srv/a", "/srv/b"}));
  EXPECT_EQ(g_RunState.bufferSize, 4096u);
  EXPECT_EQ(g_RunState.reconnectLimit, 9u);
  EXPECT_EQ(g_RunState.checkCycles, 3u);
  EXPECT_TRUE(g_RunState.checkAfterCopy);
  EXPECT_TRUE(g_RunState.passUnreadable);
  EXPECT_EQ(host.front.LogText(), "/srv/a\r\n/srv/b\r\n");
}

TEST_F(CRunCommandsTest, AbortThenStartWhileStoppingStartsNothing) {
  OnStartAbort(host);
  OnStartAbort(host);  // Abort
  EXPECT_EQ(host.startText, "&Start");
  EXPECT_EQ(host.broughtToFront, 1);
  EXPECT_EQ(CurrentRunPhase(g_RunState), RunPhase::kStopping);
  OnStartAbort(host);  // during the stopping phase: the abort path again
  EXPECT_EQ(host.workersStarted, 1);
  EXPECT_EQ(host.broughtToFront, 2);
  EXPECT_EQ(host.startText, "&Start");
  g_RunState.workerFinished = true;  // the worker has wound down
  OnStartAbort(host);
  EXPECT_EQ(host.workersStarted, 2);
  EXPECT_EQ(host.startText, "&Abort");
}

TEST_F(CRunCommandsTest, RefusedFieldStartsNothing) {
  host.readPasses = false;
  OnStartAbort(host);
  EXPECT_EQ(host.workersStarted, 0);
  EXPECT_EQ(host.writes, 0);
  EXPECT_EQ(host.startText, "&Start");
  EXPECT_EQ(CurrentRunPhase(g_RunState), RunPhase::kIdle);
}

TEST_F(CRunCommandsTest, WorkerThatCannotStartReturnsTheWindowToIdle) {
  host.threadsWork = false;
  OnStartAbort(host);
  EXPECT_EQ(CurrentRunPhase(g_RunState), RunPhase::kIdle);
  EXPECT_EQ(host.startText, "&Start");
  EXPECT_NE(host.front.LogText().find("copy thread could not be started (Resource temporarily unavailable)"),
            std::string::npos);
  OnExit(host);
  EXPECT_EQ(host.closed, 1);
}

TEST_F(CRunCommandsTest, ExitWhileIdleCloses) {
  OnExit(host);
  EXPECT_EQ(host.closed, 1);
}

TEST_F(CRunCommandsTest, ExitDuringARunAbortsAndAsksToWait) {
  OnStartAbort(host);
  OnExit(host);
  EXPECT_EQ(host.closed, 0);
  EXPECT_FALSE(g_RunState.runFlag);
  EXPECT_EQ(host.startText, "&Start");
  EXPECT_EQ(host.front.Messages().back(), "\r\nWait until copy thread exits...\r\n");
  OnExit(host);  // still stopping: the message again
  EXPECT_EQ(host.closed, 0);
  EXPECT_EQ(host.front.Messages().back(), "\r\nWait until copy thread exits...\r\n");
  g_RunState.workerFinished = true;
  OnExit(host);
  EXPECT_EQ(host.closed, 1);
}

TEST_F(CRunCommandsTest, WaitLineOutlivesTheWorkersReplacingLines) {
  host.values.source = "/srv/a";
  OnStartAbort(host);
  LogPrintf("%s", "\"big.bin\"     1048576 bytes,    1 mb,  10%");
  OnExit(host);
  for (const char* line : {"\"big.bin\"     2097152 bytes,    2 mb,  20%",
                           "trying to connect to /srv/a,  299 sec left...", "scanning folder /srv/a"})
    LogPrintf("%s", line);
  EXPECT_EQ(host.front.LogText(),
            "/srv/a\r\n\"big.bin\"     1048576 bytes,    1 mb,  10%\r\nWait until copy thread exits...\r\n"
            "scanning folder /srv/a");
  EXPECT_EQ(host.closed, 0);
  g_RunState.workerFinished = true;
  OnExit(host);
  EXPECT_EQ(host.closed, 1);
}

TEST_F(CRunCommandsTest, TheSecondClickOfADoubleClickOnStartIsIgnored) {
  OnStartCommand(host, 10000);
  EXPECT_EQ(CurrentRunPhase(g_RunState), RunPhase::kRunning);
  OnStartCommand(host, 10000 + kStartRepeatMs - 1);
  EXPECT_EQ(CurrentRunPhase(g_RunState), RunPhase::kRunning);
  OnStartCommand(host, 10000 + kStartRepeatMs);  // a later Start aborts
  EXPECT_FALSE(g_RunState.runFlag);
  g_RunState.workerFinished = true;
  // The worker's closing Start command is never ignored, and an Abort
  // does not hold the next Start back.
  OnStartCommand(host, 20000);
  OnStartAbort(host);
  EXPECT_FALSE(g_RunState.runFlag);
  g_RunState.workerFinished = true;
  OnStartCommand(host, 20001);
  EXPECT_EQ(host.workersStarted, 2);
}

TEST_F(CRunCommandsTest, StartOpensTheLogFilePutsTheProgressBackAndTheWorkersEndClosesIt) {
  OnStartAbort(host);
  EXPECT_EQ(host.logsOpened, 1);
  EXPECT_EQ(host.progressResets, 1);
  EXPECT_EQ(host.logsClosed, 0);
  OnStartAbort(host);
  g_RunState.workerFinished = true;
  OnWorkerFinished(host);
  OnWorkerFinished(host);  // seen once only
  EXPECT_EQ(host.logsClosed, 1);
  EXPECT_EQ(host.front.LogText().find("Exit closes"), std::string::npos);
  // A log file that cannot be made is named under the sources.
  host.logOpens = false;
  host.values.source = "/srv/a";
  OnStartAbort(host);
  EXPECT_EQ(host.front.LogText(), "/srv/a\r\nlog file not written (no room)\r\n");
}

TEST_F(CRunCommandsTest, AfterExitTheWorkersEndIsLoggedWithWhatExitDoesNow) {
  OnStartAbort(host);
  OnExit(host);
  EXPECT_EQ(host.closed, 0);
  g_RunState.workerFinished = true;
  OnWorkerFinished(host);
  EXPECT_EQ(host.front.Messages().back(), std::string(kExitNowMessage) + "\r\n");
  EXPECT_TRUE(
      host.front.LogText().ends_with("Wait until copy thread exits...\r\n\r\nCopy thread has exited, Exit "
                                     "closes the window\r\n"))
      << host.front.LogText();
  OnExit(host);
  EXPECT_EQ(host.closed, 1);
}

TEST_F(CRunCommandsTest, PauseTogglesItsLabelOnly) {
  OnPause(host);
  EXPECT_TRUE(g_RunState.pauseFlag);
  EXPECT_EQ(host.pauseText, "&Continue");
  OnPause(host);
  EXPECT_FALSE(g_RunState.pauseFlag);
  EXPECT_EQ(host.pauseText, "&Pause");
}

TEST_F(CRunCommandsTest, PauseAndSkipFileAreEnabledOnlyWhileACopyCanUseThem) {
  host.values.source = "/srv/a";
  OnStartAbort(host);
  EXPECT_TRUE(host.pauseEnabled);
  EXPECT_FALSE(host.skipFileEnabled);
  OnSkipFile(host);  // no file is being copied yet
  EXPECT_FALSE(g_RunState.skipFlag);

  host.fileActive = true;  // as the progress shown last says
  ShowRunButtons(host);
  EXPECT_TRUE(host.skipFileEnabled);
  OnSkipFile(host);
  EXPECT_TRUE(g_RunState.skipFlag);
  OnPause(host);
  EXPECT_EQ(host.pauseText, "&Continue");

  OnStartAbort(host);  // Abort: a winding-down copy is neither paused nor skipped
  EXPECT_FALSE(host.pauseEnabled);
  EXPECT_FALSE(host.skipFileEnabled);
  EXPECT_FALSE(g_RunState.pauseFlag);
  EXPECT_EQ(host.pauseText, "&Pause");

  g_RunState.workerFinished = true;
  OnWorkerFinished(host);
  EXPECT_FALSE(host.copyStarted);
  EXPECT_FALSE(host.fileActive);
  // A new run starts unpaused, with no skip left over.
  OnPause(host);
  OnStartAbort(host);
  EXPECT_FALSE(g_RunState.pauseFlag);
  EXPECT_FALSE(g_RunState.skipFlag);
  EXPECT_EQ(host.pauseText, "&Pause");
  EXPECT_TRUE(host.pauseEnabled);
}

TEST_F(CRunCommandsTest, ScanFoldersEnablesNeitherPauseNorSkipFile) {
  CTempDir temp;
  std::filesystem::create_directories(temp / "tree");
  host.values.source = "\"" + temp / "tree" + "\"";
  OnScanFolders(host);
  host.fileActive = true;
  ShowRunButtons(host);
  EXPECT_FALSE(host.pauseEnabled);
  EXPECT_FALSE(host.skipFileEnabled);
  g_RunState.runFlag = false;
  g_RunState.workerFinished = true;
}

TEST_F(CRunCommandsTest, ScanFoldersScansEverySourceAndCopiesNothing) {
  CTempDir temp;
  std::filesystem::create_directories(temp / "tree/sub");
  std::filesystem::create_directories(temp / "dst");
  std::ofstream(temp / "tree/sub/f") << "x";
  std::ofstream(temp / "one.txt") << "abc";
  host.values.source = "\"" + temp / "tree" + "\" \"" + temp / "one.txt" + "\"";
  host.values.destination = temp / "dst";
  host.front.SetDestination(temp / "dst");
  host.runWorkerAtOnce = true;
  OnScanFolders(host);
  EXPECT_EQ(host.workersStarted, 1);
  EXPECT_EQ(host.progressResets, 1);
  EXPECT_EQ(host.logsOpened, 0);
  // Start reads "&Abort" while the scan runs; the worker's closing Start
  // command puts it back in the window.
  EXPECT_EQ(host.startText, "&Abort");
  EXPECT_EQ(host.scanEnabled, std::vector<bool>{false});
  EXPECT_EQ(CurrentRunPhase(g_RunState), RunPhase::kIdle);
  EXPECT_TRUE(ScanFoldersEnabled(g_RunState));
  OnWorkerFinished(host);
  EXPECT_EQ(host.scanEnabled, (std::vector<bool>{false, true}));
  ASSERT_EQ(host.front.ScanSummaries().size(), 2u);
  EXPECT_EQ(host.front.ScanSummaries()[1].missingFiles, 1);
  EXPECT_TRUE(std::filesystem::is_empty(temp / "dst"));
  const std::string text = host.front.LogText();
  EXPECT_NE(
      text.find(
          "complete : 0 files, partial : 0 files, missing : 1 files, differ : 0 files, to copy : 1 bytes"),
      std::string::npos)
      << text;
  EXPECT_NE(
      text.find(
          "complete : 0 files, partial : 0 files, missing : 1 files, differ : 0 files, to copy : 3 bytes"),
      std::string::npos)
      << text;
}

TEST_F(CRunCommandsTest, StartDuringAScanAbortsIt) {
  host.values.source = "/nowhere";
  OnScanFolders(host);
  EXPECT_TRUE(g_RunState.runFlag);
  EXPECT_FALSE(ScanFoldersEnabled(g_RunState));
  OnStartAbort(host);
  EXPECT_FALSE(g_RunState.runFlag);
  EXPECT_EQ(host.startText, "&Start");
  EXPECT_EQ(host.workersStarted, 1);
  EXPECT_FALSE(ScanFoldersEnabled(g_RunState));  // until the worker has finished
}

TEST_F(CRunCommandsTest, StartDisablesScanFoldersUntilTheWorkerFinished) {
  OnStartAbort(host);
  EXPECT_EQ(host.scanEnabled, std::vector<bool>{false});
  g_RunState.runFlag = false;
  g_RunState.workerFinished = true;
  OnWorkerFinished(host);
  EXPECT_EQ(host.scanEnabled, (std::vector<bool>{false, true}));
}

TEST_F(CRunCommandsTest, ScanFoldersOnlyFromIdle) {
  OnStartAbort(host);
  OnScanFolders(host);
  EXPECT_EQ(host.workersStarted, 1);
}

TEST_F(CRunCommandsTest, ScanFoldersWithoutSourceSaysSo) {
  host.runWorkerAtOnce = true;
  OnScanFolders(host);
  EXPECT_EQ(CurrentRunPhase(g_RunState), RunPhase::kIdle);
  EXPECT_NE(host.front.LogText().find("no source to scan"), std::string::npos);
}

}  // namespace
