// The real main window running the real engine: a copy to its end, Abort
// and Exit during a run, Exit while idle, Enter and Escape, and a worker
// that cannot be started.
#include <QTest>
#include <filesystem>
#include <fstream>
#include <thread>

#include "GuiFixture.h"
#include "LogPrintf.h"
#include "RunCommands.h"

namespace {

namespace fs = std::filesystem;

class CMainDlgRunTest : public CGuiTest {
protected:
  // Writes a file of size bytes at path, creating its folders.
  static void MakeFile(const fs::path& path, size_t size) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    for (size_t i = 0; i < size; ++i) out.put(static_cast<char>('a' + i % 23));
  }

  // Returns the contents of the file at path.
  static std::string Contents(const fs::path& path) {
    std::error_code error;
    std::string contents(static_cast<size_t>(fs::file_size(path, error)), '\0');
    if (error) return "(missing)";
    std::ifstream(path, std::ios::binary)
        .read(contents.data(), static_cast<std::streamsize>(contents.size()));
    return contents;
  }

  // Starts a run on a source that never becomes reachable, so it waits.
  void StartWaitingRun() {
    Edit(kIdSource)->setText(QString::fromStdString("\"" + temp / "not there" + "\""));
    Edit(kIdDestination)->setText(QString::fromStdString(temp.Path()));
    Button(kIdStart)->click();
    ASSERT_TRUE(WaitFor([this] { return LogHas("sec limit..."); }));
    EXPECT_EQ(CurrentRunPhase(g_RunState), RunPhase::kRunning);
    EXPECT_EQ(Button(kIdStart)->text().toStdString(), "&Abort");
  }

  bool Idle() const { return CurrentRunPhase(g_RunState) == RunPhase::kIdle; }
};

TEST_F(CMainDlgRunTest, StartRunsARealCopyToItsEnd) {
  const std::string source = temp / "source";
  MakeFile(source + "/a.txt", 3000);
  MakeFile(source + "/sub folder/b c.bin", 200000);
  fs::create_directories(temp / "dest");
  Open({source});
  dialog->show();
  Edit(kIdDestination)->setText(QString::fromStdString(temp / "dest"));
  Edit(kIdBufferSize)->setText("65536");
  Button(kIdStart)->click();
  EXPECT_EQ(g_RunState.bufferSize, 65536u);
  ASSERT_TRUE(WaitFor([this] { return Idle(); }));
  dialog->RefreshDisplay();
  EXPECT_EQ(Button(kIdStart)->text().toStdString(), "&Start");
  EXPECT_EQ(dialog->windowTitle().toStdString(), "100% - " + source);
  EXPECT_EQ(Label(kIdTotalLabel)->text().toStdString(), "Total 100%");
  EXPECT_EQ(Bar(kIdTotalBar)->value(), 1000);
  EXPECT_EQ(Bar(kIdFileBar)->value(), 1000);
  EXPECT_EQ(Contents(temp / "dest/source/a.txt"), Contents(source + "/a.txt"));
  EXPECT_EQ(Contents(temp / "dest/source/sub folder/b c.bin"), Contents(source + "/sub folder/b c.bin"));
  const std::string log = LogText();
  EXPECT_TRUE(log.starts_with(source + "\r\nbuf_size = 65536 bytes\r\n")) << log;
  EXPECT_NE(log.find("succesfully copyed"), std::string::npos) << log;
  const std::string shown = ShownLog();
  EXPECT_NE(shown.find("succesfully copyed"), std::string::npos) << shown;
  EXPECT_EQ(shown.find('\r'), std::string::npos);
}

TEST_F(CMainDlgRunTest, RunThatEndsByItselfRestoresTheMinimisedWindow) {
  Open();
  dialog->show();
  Edit(kIdDestination)->setText(QString::fromStdString(temp.Path()));
  Button(kIdStart)->click();
  dialog->showMinimized();
  ASSERT_TRUE(WaitFor([this] { return Idle(); }));
  EXPECT_FALSE(dialog->isMinimized());
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(Button(kIdStart)->text().toStdString(), "&Start");
}

TEST_F(CMainDlgRunTest, LongSourceTextIsNotCut) {
  std::string text;
  for (int i = 0; i < 1000; ++i)
    text += "\"" + temp / ("a folder with a long name " + std::to_string(i)) + "\" ";
  Open();
  Edit(kIdSource)->setText(QString::fromStdString(text));
  dialog->Hooks().startWorker = [](std::function<void()>, std::string& error) {
    error = "not in this test";
    return false;
  };
  Button(kIdStart)->click();
  EXPECT_GT(text.size(), 32767u);
  EXPECT_EQ(dialog->Values().source, text);
  EXPECT_EQ(g_RunState.sources.size(), 1000u);
}

TEST_F(CMainDlgRunTest, EmptySourceStartsAWorkerThatEndsByItself) {
  Open();
  Edit(kIdDestination)->setText(QString::fromStdString(temp.Path()));
  Button(kIdStart)->click();
  ASSERT_TRUE(WaitFor([this] { return Idle(); }));
  EXPECT_EQ(Button(kIdStart)->text().toStdString(), "&Start");
  EXPECT_TRUE(LogHas("reconnect_limit = 300 sec\r\n"));
}

TEST_F(CMainDlgRunTest, AbortStopsTheRunWithoutWaiting) {
  Open();
  dialog->show();
  StartWaitingRun();
  Button(kIdStart)->click();  // Abort
  EXPECT_EQ(Button(kIdStart)->text().toStdString(), "&Start");
  EXPECT_FALSE(g_RunState.runFlag);
  EXPECT_TRUE(dialog->isVisible());
  ASSERT_TRUE(WaitFor([this] { return Idle(); }));
  EXPECT_TRUE(LogHas("connection failed"));
}

TEST_F(CMainDlgRunTest, EnterAbortsARunningCopyAndStartsFromIdle) {
  Open();
  dialog->show();
  StartWaitingRun();
  QTest::keyClick(Edit(kIdSource), Qt::Key_Return);
  EXPECT_FALSE(g_RunState.runFlag);
  ASSERT_TRUE(WaitFor([this] { return Idle(); }));
  QTest::keyClick(LogBox(), Qt::Key_Return);  // Enter in the log box starts too
  EXPECT_TRUE(g_RunState.runFlag);
  EXPECT_EQ(Button(kIdStart)->text().toStdString(), "&Abort");
  Button(kIdStart)->click();
}

TEST_F(CMainDlgRunTest, ExitDuringARunAbortsAndKeepsTheWindowUntilTheWorkerEnded) {
  Open();
  dialog->show();
  StartWaitingRun();
  Button(kIdExit)->click();
  ASSERT_TRUE(dialog->isVisible());
  EXPECT_FALSE(g_RunState.runFlag);
  EXPECT_EQ(Button(kIdStart)->text().toStdString(), "&Start");
  // Lines that replace the last one, as a worker winding down writes them.
  for (const char* line : {"\"big.bin\"     1048576 bytes,    1 mb,  10%",
                           "trying to connect to /srv/a,  299 sec left...", "scanning folder /srv/a"})
    LogPrintf("%s", line);
  ASSERT_TRUE(WaitFor([this] { return Idle(); }));
  EXPECT_TRUE(LogHas("\r\nWait until copy thread exits...\r\n")) << LogText();
  EXPECT_NE(ShownLog().find("\nWait until copy thread exits...\n"), std::string::npos);
  Button(kIdExit)->click();
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(dialog->result(), QDialog::Rejected);
}

TEST_F(CMainDlgRunTest, ExitWhileIdleClosesAtOnce) {
  Open();
  dialog->show();
  Button(kIdExit)->click();
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(dialog->result(), QDialog::Rejected);
}

TEST_F(CMainDlgRunTest, EscapeAndTheCloseBoxAreExit) {
  Open();
  dialog->show();
  QTest::keyClick(Edit(kIdSource), Qt::Key_Escape);
  EXPECT_FALSE(dialog->isVisible());
  Open();
  dialog->show();
  StartWaitingRun();
  EXPECT_FALSE(dialog->close());  // the close box during a run
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_FALSE(g_RunState.runFlag);
  ASSERT_TRUE(WaitFor([this] { return Idle(); }));
  EXPECT_TRUE(dialog->close());
}

TEST_F(CMainDlgRunTest, WorkerThatCannotBeCreatedReturnsTheWindowToIdle) {
  Open();
  dialog->Hooks().startWorker = [](std::function<void()>, std::string& error) {
    error = "Resource temporarily unavailable";
    return false;
  };
  Button(kIdStart)->click();
  EXPECT_TRUE(Idle());
  EXPECT_EQ(Button(kIdStart)->text().toStdString(), "&Start");
  EXPECT_TRUE(LogHas("copy thread could not be started (Resource temporarily unavailable), nothing done"));
  dialog->show();
  Button(kIdExit)->click();
  EXPECT_FALSE(dialog->isVisible());
}

TEST_F(CMainDlgRunTest, WorkerMessagesNeverWaitForTheWindowThread) {
  Open();
  // The window thread runs no event loop while another thread logs and
  // updates the progress: every hand-over completes all the same.
  std::thread worker([this] {
    for (int i = 0; i < 5000; ++i) {
      dialog->LogMessage("\r\nline " + std::to_string(i));
      dialog->UpdateProgress();
    }
  });
  worker.join();
  EXPECT_TRUE(LogText().ends_with("\r\nline 4999"));
  dialog->RefreshDisplay();
  EXPECT_TRUE(ShownLog().ends_with("\nline 4999"));
}

TEST_F(CMainDlgRunTest, TotalBarBeyondItsRangeIsShownFull) {
  Open();
  const std::string path = "/srv/x";
  g_RunState.currentSourcePath = &path;
  g_RunState.totalBytes = 100;
  g_RunState.bytesDone = 150;
  g_RunState.fileProgress = 5;
  g_RunState.currentFileNumber = 3;
  g_RunState.fileCount = 10;
  dialog->UpdateProgress();
  g_RunState.currentSourcePath = nullptr;
  dialog->RefreshDisplay();
  EXPECT_EQ(Bar(kIdTotalBar)->value(), 1000);
  EXPECT_EQ(Label(kIdTotalLabel)->text().toStdString(), "Total 150%");
  EXPECT_EQ(Label(kIdFileLabel)->text().toStdString(), "File (3/10)   0%");
  EXPECT_EQ(Bar(kIdFileBar)->value(), 5);
  EXPECT_EQ(dialog->windowTitle().toStdString(), "150% - /srv/x");
}

TEST_F(CMainDlgRunTest, PauseAndScanFoldersAreWired) {
  Open();
  dialog->OnPause();
  EXPECT_EQ(Button(kIdPause)->text().toStdString(), "&Continue");
  dialog->OnPause();
  EXPECT_EQ(Button(kIdPause)->text().toStdString(), "&Pause");
  fs::create_directories(temp / "tree/sub");
  Edit(kIdSource)->setText(QString::fromStdString(temp / "tree"));
  dialog->OnScanFolders();
  ASSERT_TRUE(WaitFor([this] { return Idle(); }));
  EXPECT_TRUE(LogHas("scanning folder"));
  EXPECT_EQ(Button(kIdStart)->text().toStdString(), "&Start");
}

}  // namespace
