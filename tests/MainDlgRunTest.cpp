// SPDX-License-Identifier: GPL-3.0-or-later
// The real main window running the real engine: a copy to its end, Abort
// and Exit during a run, Exit while idle, Enter and Escape, a worker that
// cannot be started, and the logon dialog a share that refuses the logon
// brings up.
#include <QDialogButtonBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "engine/LogPrintf.h"
#include "frontend/RunCommands.h"
#include "platform/smb/SmbCredentials.h"
#include "tests/support/GuiFixture.h"
#include "tests/support/SambaServer.h"

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
  // Once the worker has ended, the log says that Exit now closes the window.
  ASSERT_TRUE(WaitFor([this] { return LogHas("\r\nCopy thread has exited, Exit closes the window\r\n"); }));
  EXPECT_TRUE(ShownLog().ends_with("\nCopy thread has exited, Exit closes the window\n"));
  Button(kIdExit)->click();
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(dialog->result(), QDialog::Rejected);
}

TEST_F(CMainDlgRunTest, ADoubleClickOnStartStartsTheRunOnce) {
  Open();
  dialog->show();
  int64_t now = 5000;
  dialog->Hooks().nowMs = [&now] { return now; };
  StartWaitingRun();
  now += 300;  // the second click of a double click
  Button(kIdStart)->click();
  EXPECT_TRUE(g_RunState.runFlag);
  EXPECT_EQ(Button(kIdStart)->text().toStdString(), "&Abort");
  now += 300;
  QTest::keyClick(Edit(kIdSource), Qt::Key_Return);  // Enter later aborts
  EXPECT_FALSE(g_RunState.runFlag);
  EXPECT_EQ(Button(kIdStart)->text().toStdString(), "&Start");
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
  EXPECT_TRUE(LogHas("missing : 0 files, differ : 0 files, to copy : 0 bytes"));
  EXPECT_EQ(Button(kIdStart)->text().toStdString(), "&Start");
}

TEST_F(CMainDlgRunTest, ScanFoldersScansEverySourceAndCopiesNothing) {
  MakeFile(temp / "tree/sub/a.txt", 3000);
  MakeFile(temp / "one.bin", 20);
  fs::create_directories(temp / "dest");
  Open({temp / "tree", temp / "one.bin"});
  dialog->show();
  EXPECT_TRUE(Button(kIdScanFolders)->isEnabled());
  EXPECT_EQ(Button(kIdScanFolders)->text().toStdString(), "Scan &Folders");
  Edit(kIdDestination)->setText(QString::fromStdString(temp / "dest"));
  Button(kIdScanFolders)->click();
  ASSERT_TRUE(WaitFor([this] { return Idle() && Button(kIdScanFolders)->isEnabled(); }));
  EXPECT_TRUE(LogHas(
      "complete : 0 files, partial : 0 files, missing : 1 files, differ : 0 files, to copy : 3000 bytes"))
      << LogText();
  EXPECT_TRUE(LogHas(
      "complete : 0 files, partial : 0 files, missing : 1 files, differ : 0 files, to copy : 20 bytes"))
      << LogText();
  EXPECT_EQ(Button(kIdStart)->text().toStdString(), "&Start");
  EXPECT_TRUE(fs::is_empty(temp / "dest"));
}

TEST_F(CMainDlgRunTest, StartAbortsAScanAndScanFoldersWaitsForIdle) {
  Open();
  dialog->show();
  Edit(kIdSource)->setText(QString::fromStdString("\"" + temp / "not there" + "\""));
  Edit(kIdDestination)->setText(QString::fromStdString(temp.Path()));
  Button(kIdScanFolders)->click();
  ASSERT_TRUE(WaitFor([this] { return LogHas("sec limit..."); }));
  EXPECT_EQ(Button(kIdStart)->text().toStdString(), "&Abort");
  EXPECT_FALSE(Button(kIdScanFolders)->isEnabled());
  Button(kIdStart)->click();
  EXPECT_FALSE(g_RunState.runFlag);
  ASSERT_TRUE(WaitFor([this] { return Idle() && Button(kIdScanFolders)->isEnabled(); }));
  EXPECT_EQ(Button(kIdStart)->text().toStdString(), "&Start");
  StartWaitingRun();
  EXPECT_FALSE(Button(kIdScanFolders)->isEnabled());
  Button(kIdStart)->click();
  ASSERT_TRUE(WaitFor([this] { return Idle() && Button(kIdScanFolders)->isEnabled(); }));
}

// A worker thread that asks the window for a logon, as the engine does when
// a share refuses the run's.
class CLogonAsker {
public:
  CLogonAsker(CMainDlg& window, const std::string& share) {
    m_logon.share = share;
    m_thread = std::thread([this, &window] {
      m_given = window.AskShareLogon(m_logon);
      m_done = true;
    });
  }
  // Clears the run flag, so that a question nobody answered ends too.
  ~CLogonAsker() {
    g_RunState.runFlag = false;
    m_thread.join();
  }
  CLogonAsker(const CLogonAsker&) = delete;
  CLogonAsker& operator=(const CLogonAsker&) = delete;

  bool Done() const { return m_done; }
  // The answer; only once Done.
  bool Given() const { return m_given; }
  const CShareLogon& Logon() const { return m_logon; }

private:
  CShareLogon m_logon;
  bool m_given = false;
  std::atomic<bool> m_done{false};
  std::thread m_thread;
};

class CMainDlgLogonTest : public CMainDlgRunTest {
protected:
  // Waits until the logon dialog is open and returns it.
  QPointer<QDialog> WaitForLogonDialog() {
    EXPECT_TRUE(WaitFor([this] { return dialog->LogonDialog() != nullptr; }));
    return dialog->LogonDialog();
  }

  // The field of the open logon dialog named name: "user", "domain" or
  // "password".
  QLineEdit* LogonField(const char* name) const {
    QDialog* logon = dialog->LogonDialog();
    return logon ? logon->findChild<QLineEdit*>(QString::fromLatin1(name)) : nullptr;
  }

  // The OK or Cancel button of the open logon dialog.
  QPushButton* LogonButton(QDialogButtonBox::StandardButton which) const {
    QDialog* logon = dialog->LogonDialog();
    auto* box = logon ? logon->findChild<QDialogButtonBox*>() : nullptr;
    return box ? box->button(which) : nullptr;
  }

  // Types user, domain and password into the open logon dialog and presses
  // OK; returns the password field, which outlives the click a little.
  QPointer<QLineEdit> AnswerLogon(const std::string& user, const std::string& domain,
                                  const std::string& password) {
    QPointer<QLineEdit> passwordField = LogonField("password");
    if (!passwordField || !LogonField("user") || !LogonButton(QDialogButtonBox::Ok)) {
      ADD_FAILURE() << "no logon dialog";
      return passwordField;
    }
    LogonField("user")->setText(QString());
    QTest::keyClicks(LogonField("user"), QString::fromStdString(user));
    LogonField("domain")->setText(QString::fromStdString(domain));
    QTest::keyClicks(passwordField, QString::fromStdString(password));
    LogonButton(QDialogButtonBox::Ok)->click();
    return passwordField;
  }
};

TEST_F(CMainDlgLogonTest, OkHandsTheTypedLogonToTheWorkerAndClearsThePassword) {
  Open();
  dialog->show();
  g_RunState.runFlag = true;
  CLogonAsker asker(*dialog, "smb://nas/films");
  const QPointer<QDialog> logon = WaitForLogonDialog();
  ASSERT_TRUE(logon);
  EXPECT_EQ(logon->windowTitle().toStdString(), "Log on to smb://nas/films");
  EXPECT_TRUE(logon->isVisible());
  EXPECT_EQ(LogonField("password")->echoMode(), QLineEdit::Password);
  EXPECT_TRUE(LogonField("user")->text().isEmpty());
  // Beside the window, not over it: the window still takes input.
  EXPECT_FALSE(logon->isModal());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_TRUE(dialog->isEnabled());
  QTest::keyClicks(Edit(kIdDestination), "/typed meanwhile");
  EXPECT_EQ(Edit(kIdDestination)->text().toStdString(), "/typed meanwhile");
  EXPECT_FALSE(asker.Done());

  const QPointer<QLineEdit> password = AnswerLogon("ann", "WORK", "s3cret pw");
  ASSERT_TRUE(password);
  EXPECT_TRUE(password->text().isEmpty());
  EXPECT_EQ(dialog->LogonDialog(), nullptr);
  ASSERT_TRUE(WaitFor([&] { return asker.Done(); }, 2000));
  EXPECT_TRUE(asker.Given());
  EXPECT_EQ(asker.Logon().share, "smb://nas/films");
  EXPECT_EQ(asker.Logon().user, "ann");
  EXPECT_EQ(asker.Logon().domain, "WORK");
  EXPECT_EQ(asker.Logon().password, "s3cret pw");
  EXPECT_TRUE(WaitFor([&] { return logon.isNull(); }));
  EXPECT_EQ(LogText().find("s3cret"), std::string::npos);
}

TEST_F(CMainDlgLogonTest, CancelAndTheCloseBoxGiveFalseAndTheLastUserIsOfferedAgain) {
  Open();
  dialog->show();
  g_RunState.runFlag = true;
  {
    CLogonAsker asker(*dialog, "\\\\nas\\films");
    ASSERT_TRUE(WaitForLogonDialog());
    EXPECT_EQ(dialog->LogonDialog()->windowTitle().toStdString(), "Log on to \\\\nas\\films");
    AnswerLogon("ann", "WORK", "pw");
    ASSERT_TRUE(WaitFor([&] { return asker.Done(); }, 2000));
    EXPECT_TRUE(asker.Given());
  }
  g_RunState.runFlag = true;
  {
    CLogonAsker asker(*dialog, "\\\\nas\\films");
    ASSERT_TRUE(WaitForLogonDialog());
    EXPECT_EQ(LogonField("user")->text().toStdString(), "ann");
    EXPECT_EQ(LogonField("domain")->text().toStdString(), "WORK");
    EXPECT_TRUE(LogonField("password")->text().isEmpty());
    QTest::keyClicks(LogonField("password"), "typed");
    LogonButton(QDialogButtonBox::Cancel)->click();
    EXPECT_EQ(dialog->LogonDialog(), nullptr);
    ASSERT_TRUE(WaitFor([&] { return asker.Done(); }, 2000));
    EXPECT_FALSE(asker.Given());
    EXPECT_TRUE(asker.Logon().password.empty());
  }
  g_RunState.runFlag = true;
  {
    CLogonAsker asker(*dialog, "smb://nas/films");
    const QPointer<QDialog> logon = WaitForLogonDialog();
    ASSERT_TRUE(logon);
    EXPECT_TRUE(logon->close());  // the close box
    EXPECT_EQ(dialog->LogonDialog(), nullptr);
    ASSERT_TRUE(WaitFor([&] { return asker.Done(); }, 2000));
    EXPECT_FALSE(asker.Given());
    EXPECT_TRUE(dialog->isVisible());
  }
}

TEST_F(CMainDlgLogonTest, AbortWhileTheDialogIsOpenClosesItAndTheWorkerGetsFalsePromptly) {
  Open();
  dialog->show();
  g_RunState.runFlag = true;
  g_RunState.workerFinished = false;
  CLogonAsker asker(*dialog, "smb://nas/films");
  const QPointer<QDialog> logon = WaitForLogonDialog();
  ASSERT_TRUE(logon);
  QTest::keyClicks(LogonField("password"), "half typed");
  QElapsedTimer timer;
  timer.start();
  Button(kIdStart)->click();  // Abort
  EXPECT_EQ(dialog->LogonDialog(), nullptr);
  EXPECT_FALSE(logon && logon->isVisible());
  EXPECT_FALSE(g_RunState.runFlag);
  ASSERT_TRUE(WaitFor([&] { return asker.Done(); }, 2000));
  EXPECT_LT(timer.elapsed(), 500);
  EXPECT_FALSE(asker.Given());
  EXPECT_TRUE(WaitFor([&] { return logon.isNull(); }));
  g_RunState.workerFinished = true;
}

TEST_F(CMainDlgLogonTest, ExitWhileTheDialogIsOpenClosesItAndTheWindowWaitsForTheWorker) {
  Open();
  dialog->show();
  g_RunState.runFlag = true;
  g_RunState.workerFinished = false;
  CLogonAsker asker(*dialog, "smb://nas/films");
  const QPointer<QDialog> logon = WaitForLogonDialog();
  ASSERT_TRUE(logon);
  Button(kIdExit)->click();
  EXPECT_EQ(dialog->LogonDialog(), nullptr);
  ASSERT_TRUE(WaitFor([&] { return asker.Done(); }, 2000));
  EXPECT_FALSE(asker.Given());
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_TRUE(LogHas("\r\nWait until copy thread exits...\r\n"));
  EXPECT_TRUE(WaitFor([&] { return logon.isNull(); }));
  g_RunState.workerFinished = true;
  Button(kIdExit)->click();
  EXPECT_FALSE(dialog->isVisible());
}

TEST_F(CMainDlgLogonTest, RunFlagClearedElsewhereWithdrawsTheQuestionAndTheDialog) {
  Open();
  dialog->show();
  g_RunState.runFlag = true;
  CLogonAsker asker(*dialog, "smb://nas/films");
  const QPointer<QDialog> logon = WaitForLogonDialog();
  ASSERT_TRUE(logon);
  g_RunState.runFlag = false;
  ASSERT_TRUE(WaitFor([&] { return asker.Done(); }, 1000));
  EXPECT_FALSE(asker.Given());
  EXPECT_TRUE(WaitFor([&] { return logon.isNull() && dialog->LogonDialog() == nullptr; }, 2000));
}

TEST_F(CMainDlgLogonTest, NothingIsAskedWithoutARunOrOnTheWindowThread) {
  Open();
  {
    CLogonAsker asker(*dialog, "smb://nas/films");  // the run flag is clear
    ASSERT_TRUE(WaitFor([&] { return asker.Done(); }, 1000));
    EXPECT_FALSE(asker.Given());
  }
  WaitFor([] { return false; }, 100);
  EXPECT_EQ(dialog->LogonDialog(), nullptr);
  g_RunState.runFlag = true;
  CShareLogon logon;
  logon.share = "smb://nas/films";
  EXPECT_FALSE(dialog->AskShareLogon(logon));
  g_RunState.runFlag = false;
}

// Returns a password made up for this run.
std::string MadeUpPassword() {
  std::random_device random;
  return "Pw-" + std::to_string(random()) + "-" + std::to_string(random());
}

TEST_F(CMainDlgLogonTest, ShareThatRefusesTheLogonAsksForOneAndTheCopyGoesOn) {
  std::string why;
  if (!CSambaServer::Available(why)) GTEST_SKIP() << "no private Samba server here: " << why;
  SetSmbCredentials(CSmbCredentials());
  fs::create_directories(temp / "server");
  MakeFile(temp / "priv/secret film.bin", 300000);
  fs::create_directories(temp / "dest");
  CSambaServer server(temp / "server", {{"priv", temp / "priv", false}});
  ASSERT_TRUE(server.Start()) << server.Error();
  const std::string password = MadeUpPassword();
  ASSERT_TRUE(server.AddUser(password)) << server.Error();
  const std::string share = server.Url("priv");

  Open();
  dialog->show();
  Edit(kIdSource)->setText(QString::fromStdString("\"" + share + "/secret film.bin\""));
  Edit(kIdDestination)->setText(QString::fromStdString(temp / "dest"));
  Button(kIdStart)->click();
  auto waitForLogon = [this](const QPointer<QDialog>& previous) {
    EXPECT_TRUE(WaitFor([&] { return previous.isNull() && dialog->LogonDialog() != nullptr; }));
    return QPointer<QDialog>(dialog->LogonDialog());
  };
  QPointer<QDialog> logon = waitForLogon(nullptr);
  ASSERT_TRUE(logon);
  EXPECT_EQ(logon->windowTitle().toStdString(), "Log on to " + share);
  auto answer = [this](const std::string& typed) {
    LogonField("user")->setText(QString::fromStdString(CSambaServer::ProcessUser()));
    LogonField("password")->setText(QString::fromStdString(typed));
    LogonButton(QDialogButtonBox::Ok)->click();
  };
  answer(password + "x");  // refused again: asked again
  logon = waitForLogon(logon);
  ASSERT_TRUE(logon);
  EXPECT_EQ(LogonField("user")->text().toStdString(), CSambaServer::ProcessUser());
  answer(password);
  ASSERT_TRUE(WaitFor([this] { return Idle(); }, 60000));
  EXPECT_EQ(Contents(temp / "dest/secret film.bin"), Contents(temp / "priv/secret film.bin"));
  EXPECT_TRUE(LogHas("succesfully copyed")) << LogText();
  EXPECT_EQ(LogText().find(password), std::string::npos);
  SetSmbCredentials(CSmbCredentials());
}

TEST_F(CMainDlgLogonTest, CancelledLogonEndsTheShareSource) {
  std::string why;
  if (!CSambaServer::Available(why)) GTEST_SKIP() << "no private Samba server here: " << why;
  SetSmbCredentials(CSmbCredentials());
  fs::create_directories(temp / "server");
  MakeFile(temp / "priv/a.bin", 1000);
  CSambaServer server(temp / "server", {{"priv", temp / "priv", false}});
  ASSERT_TRUE(server.Start()) << server.Error();
  ASSERT_TRUE(server.AddUser(MadeUpPassword())) << server.Error();
  const std::string share = server.Url("priv");

  Open();
  dialog->show();
  Edit(kIdSource)->setText(QString::fromStdString(share + "/a.bin"));
  Edit(kIdDestination)->setText(QString::fromStdString(temp.Path()));
  Button(kIdStart)->click();
  ASSERT_TRUE(WaitFor([this] { return dialog->LogonDialog() != nullptr; }));
  dialog->LogonDialog()->reject();  // Cancel
  ASSERT_TRUE(WaitFor([this] { return Idle(); }, 60000));
  EXPECT_TRUE(LogHas(share + " refused the logon (user name or password ?)")) << LogText();
  EXPECT_FALSE(fs::exists(temp / "a.bin"));
}

}  // namespace
