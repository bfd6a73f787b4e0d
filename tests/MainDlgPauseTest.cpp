// SPDX-License-Identifier: GPL-3.0-or-later
// Pause and Skip File in the real main window over the real engine: each
// button enabled only while it can act, reached by its mnemonic, and doing
// what it says.
#include <QPushButton>
#include <QTest>
#include <atomic>
#include <chrono>
#include <thread>

#include "frontend/RunCommands.h"
#include "tests/support/GuiFixture.h"
#include "tests/support/MemFileSystem.h"

namespace {

class CMainDlgPauseTest : public CGuiTest {
protected:
  bool Idle() const { return CurrentRunPhase(g_RunState) == RunPhase::kIdle; }

  // Presses Alt and key in the window, as the user reaches a button by its
  // mnemonic.
  void PressMnemonic(Qt::Key key) {
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    QTest::keyClick(dialog->windowHandle(), key, Qt::AltModifier);
  }

  // Returns the log's last line.
  std::string LastLine() const {
    const std::string text = LogText();
    return text.substr(text.rfind('\n') + 1);
  }
};

TEST_F(CMainDlgPauseTest, PauseHoldsTheCopyAndContinueLetsItGoOn) {
  Open();
  dialog->show();
  EXPECT_FALSE(Button(kIdPause)->isEnabled());
  Edit(kIdSource)->setText(QString::fromStdString("\"" + temp / "not there" + "\""));
  Edit(kIdDestination)->setText(QString::fromStdString(temp.Path()));
  Button(kIdStart)->click();
  ASSERT_TRUE(WaitFor([this] { return LogHas("sec limit..."); }));
  EXPECT_TRUE(Button(kIdPause)->isEnabled());
  // Waiting for a source, no file is being copied.
  EXPECT_FALSE(Button(kIdSkipFile)->isEnabled());

  // A mnemonic clicks its button the way a click is shown: a moment later.
  PressMnemonic(Qt::Key_P);
  ASSERT_TRUE(WaitFor([] { return g_RunState.pauseFlag.load(); }));
  EXPECT_EQ(Button(kIdPause)->text().toStdString(), "&Continue");
  ASSERT_TRUE(WaitFor([this] { return g_RunState.workerPaused && LastLine() == "paused"; }));
  ASSERT_TRUE(WaitFor([this] { return dialog->windowTitle().startsWith("Paused - from "); }))
      << dialog->windowTitle().toStdString();

  // "&Continue" is reached with Alt+C.
  PressMnemonic(Qt::Key_C);
  ASSERT_TRUE(WaitFor([] { return !g_RunState.pauseFlag; }));
  EXPECT_EQ(Button(kIdPause)->text().toStdString(), "&Pause");
  ASSERT_TRUE(WaitFor([this] { return !g_RunState.workerPaused && LastLine().ends_with("sec limit..."); }));
  ASSERT_TRUE(WaitFor([this] { return dialog->windowTitle().startsWith("from "); }));

  Button(kIdStart)->click();
  EXPECT_FALSE(Button(kIdPause)->isEnabled());
  ASSERT_TRUE(WaitFor([this] { return Idle(); }));
  EXPECT_FALSE(Button(kIdPause)->isEnabled());
  EXPECT_EQ(Button(kIdPause)->text().toStdString(), "&Pause");
}

TEST_F(CMainDlgPauseTest, SkipFileEndsTheFileBeingCopiedAndTheRunGoesOn) {
  CMemFileSystem fs("/mem");
  const CMountGuard mount(fs);
  fs.AddPatternFile("/mem/src/a.bin", 16 * 65536, 9);
  fs.AddFile("/mem/src/b.txt", "the next file");
  fs.AddFolder("/mem/dst");
  // The third block of a.bin is held until the test lets it go: the
  // worker's own read, with no file read ahead.
  g_RunState.fetchFiles = 0;
  std::atomic<bool> reached{false};
  std::atomic<bool> release{false};
  fs.SetOnRead([&](const std::string& path, uint64_t offset, size_t) {
    if (!path.ends_with("a.bin") || offset != 2 * 65536) return;
    reached = true;
    for (int waited = 0; !release && waited < 20000; ++waited)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });

  Open({"/mem/src"});
  dialog->show();
  if (Button(kIdCheckAfterCopy)->isChecked()) Button(kIdCheckAfterCopy)->click();
  Edit(kIdBufferSize)->setText("65536");
  Edit(kIdDestination)->setText("/mem/dst");
  EXPECT_FALSE(Button(kIdSkipFile)->isEnabled());
  Button(kIdStart)->click();
  ASSERT_TRUE(WaitFor([&] { return reached.load(); }));
  ASSERT_TRUE(WaitFor([this] { return Button(kIdSkipFile)->isEnabled(); }));

  PressMnemonic(Qt::Key_K);
  ASSERT_TRUE(WaitFor([] { return g_RunState.skipFlag.load(); }));
  release = true;
  ASSERT_TRUE(WaitFor([this] { return Idle(); }));
  dialog->RefreshDisplay();

  EXPECT_EQ(fs.FileSize("/mem/dst/src/a.bin"), 2u * 65536);
  EXPECT_TRUE(fs.FileBytes("/mem/dst/src/a.bin") == CMemFileSystem::PatternBytes(9, 0, 2 * 65536));
  EXPECT_EQ(fs.FileBytes("/mem/dst/src/b.txt"), "the next file");
  const std::string log = LogText();
  EXPECT_NE(log.find("\r\n\"a.bin\" skipped, its partial copy is kept\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("\r\n\r\n1 file skipped by the user\r\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("succesfully copyed"), std::string::npos) << log;
  EXPECT_FALSE(Button(kIdSkipFile)->isEnabled());
  EXPECT_FALSE(Button(kIdPause)->isEnabled());
}

}  // namespace
