// SPDX-License-Identifier: GPL-3.0-or-later
// What the window shows of a run: both bars painted at their values, the
// display put back by Start, progress labels that hold their widest text
// at any font size, the log kept whole and left where the user scrolled it,
// each run's log file, and the window resized and maximised.
#include <QFont>
#include <QGroupBox>
#include <QImage>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QWindow>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "frontend/LogBoxText.h"
#include "frontend/ProgressDisplay.h"
#include "frontend/RunCommands.h"
#include "tests/support/GuiFixture.h"

namespace {

namespace fs = std::filesystem;

class CMainDlgDisplayTest : public CGuiTest {
protected:
  // Returns the number of pixels of the bar of id, in the window as it was
  // last painted, along the bar's middle row that differ from its empty
  // right end: the length of its filled part.
  int PaintedLength(int id) const {
    QCoreApplication::processEvents();
    const QImage shot = dialog->screen()->grabWindow(dialog->winId()).toImage();
    const QRect bar = Bar(id)->geometry();
    const int y = bar.center().y();
    const QRgb empty = shot.pixel(bar.right() - 3, y);
    int length = 0;
    for (int x = bar.left() + 2; x < bar.right() - 3; ++x)
      if (shot.pixel(x, y) != empty) ++length;
    return length;
  }

  // Returns the bar's inner length for value (0 to 1000), in pixels.
  int ExpectedLength(int id, int value) const { return (Bar(id)->width() - 4) * value / kProgressBarRange; }

  // Returns the log's run files in the state folder, by name.
  std::vector<std::string> RunLogs() const {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(temp / "state/ferrox", error))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  static std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // The text of the first line in the log box's view.
  std::string TopLine() const {
    return LogBox()->cursorForPosition(QPoint(2, 2)).block().text().toStdString();
  }
};

TEST_F(CMainDlgDisplayTest, BothBarsPaintTheirValuesWhileTheyMoveInSmallSteps) {
  Open();
  dialog->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
  const std::string path = "/srv/x";
  g_RunState.currentSourcePath = &path;
  g_RunState.totalBytes = 1000000;
  // As a copy moves them: the total in thousandths, the file bar faster.
  for (uint32_t step = 0; step <= 190; ++step) {
    g_RunState.bytesDone = uint64_t{step} * 1000;
    g_RunState.fileProgress = step * 37 % 1000;
    dialog->UpdateProgress();
    dialog->RefreshDisplay();
    QCoreApplication::processEvents();
  }
  g_RunState.currentSourcePath = nullptr;
  EXPECT_EQ(Label(kIdTotalLabel)->text().toStdString(), "Total  19%");
  EXPECT_NEAR(PaintedLength(kIdTotalBar), ExpectedLength(kIdTotalBar, 190), 3);
  EXPECT_NEAR(PaintedLength(kIdFileBar), ExpectedLength(kIdFileBar, 190 * 37 % 1000), 3);
  // The two bars meet without overlapping.
  EXPECT_LE(Bar(kIdFileBar)->geometry().bottom(), Bar(kIdTotalBar)->geometry().top() - 1);
}

TEST_F(CMainDlgDisplayTest, StartPutsTheBarsLabelsAndCaptionBack) {
  Open();
  const std::string path = "/srv/x";
  g_RunState.currentSourcePath = &path;
  g_RunState.totalBytes = 100;
  g_RunState.bytesDone = 100;
  g_RunState.fileProgress = 1000;
  g_RunState.currentFileNumber = 0;
  dialog->UpdateProgress();
  g_RunState.currentSourcePath = nullptr;
  dialog->RefreshDisplay();
  ASSERT_EQ(Bar(kIdTotalBar)->value(), 1000);
  dialog->Hooks().startWorker = [](std::function<void()>, std::string& error) {
    error = "not in this test";
    return false;
  };
  Button(kIdStart)->click();
  dialog->RefreshDisplay();
  EXPECT_EQ(Label(kIdFileLabel)->text().toStdString(), "File :");
  EXPECT_EQ(Label(kIdTotalLabel)->text().toStdString(), "Total :");
  EXPECT_EQ(Bar(kIdFileBar)->value(), 0);
  EXPECT_EQ(Bar(kIdTotalBar)->value(), 0);
  EXPECT_EQ(dialog->windowTitle().toStdString(), "Ferrox");
}

TEST_F(CMainDlgDisplayTest, ProgressLabelsHoldTheirWidestTextAtEveryFontSize) {
  const QFont original = QApplication::font();
  for (int points : {6, 9, 12, 17, 25}) {
    QFont font = original;
    font.setPointSize(points);
    QApplication::setFont(font);
    Open();
    for (int id : {kIdFileLabel, kIdTotalLabel}) {
      Label(id)->setText(QString::fromLatin1(kWidestProgressLabel));
      EXPECT_GE(Label(id)->width(), Label(id)->sizeHint().width()) << points << " points";
      EXPECT_LE(Label(id)->geometry().right(), Bar(id == kIdFileLabel ? kIdFileBar : kIdTotalBar)->x());
    }
    dialog.reset();
  }
  QApplication::setFont(original);
}

TEST_F(CMainDlgDisplayTest, LogKeepsTheRunAndStaysWhereTheUserReads) {
  Open();
  dialog->resize(dialog->minimumSize());
  dialog->show();
  for (int line = 0; line < 3000; ++line) dialog->LogMessage("\r\n\"file " + std::to_string(line) + "\"");
  const std::string shown = ShownLog();
  EXPECT_NE(shown.find("\n\"file 0\"\n"), std::string::npos);
  QScrollBar* bar = LogBox()->verticalScrollBar();
  EXPECT_EQ(bar->value(), bar->maximum());

  // Read back from the top: new lines leave the view and the caret alone.
  QTest::keyClick(LogBox(), Qt::Key_Home, Qt::ControlModifier);
  QTest::keyClick(LogBox(), Qt::Key_PageDown);
  const int top = bar->value();
  const int caret = LogBox()->textCursor().position();
  ASSERT_LT(top, bar->maximum());
  for (int line = 3000; line < 3100; ++line) dialog->LogMessage("\r\n\"file " + std::to_string(line) + "\"");
  dialog->LogMessage("\"file 3099\"  50%");
  dialog->RefreshDisplay();
  EXPECT_EQ(bar->value(), top);
  EXPECT_EQ(LogBox()->textCursor().position(), caret);

  // Back at the end, the box follows it again.
  QTest::keyClick(LogBox(), Qt::Key_End, Qt::ControlModifier);
  dialog->LogMessage("\r\nlast");
  dialog->RefreshDisplay();
  EXPECT_EQ(bar->value(), bar->maximum());
  EXPECT_TRUE(ShownLog().ends_with("\nlast"));
}

TEST_F(CMainDlgDisplayTest, OldestLinesLeaveTheBoxButTheLinesInViewStay) {
  Open();
  dialog->show();
  for (int line = 0; line < 10500; ++line) dialog->LogMessage("\r\nline " + std::to_string(line));
  dialog->RefreshDisplay();
  QScrollBar* bar = LogBox()->verticalScrollBar();
  bar->setValue(bar->maximum() / 2);
  const std::string top = TopLine();
  ASSERT_TRUE(top.starts_with("line ")) << top;
  for (int line = 10500; line < 11500; ++line) dialog->LogMessage("\r\nline " + std::to_string(line));
  uint64_t dropped = 0;
  const std::string text = dialog->Log().Text(&dropped);
  ASSERT_GT(dropped, 0u);
  EXPECT_EQ(ShownLog(), WithoutCarriageReturns(text));
  EXPECT_EQ(TopLine(), top);
  EXPECT_GE(LogBox()->document()->blockCount(), kLogKeptLines);
}

TEST_F(CMainDlgDisplayTest, EachRunWritesItsWholeLogIntoAFileOfItsOwnAndOldOnesArePruned) {
  fs::create_directories(temp / "state/ferrox");
  for (int old = 0; old < 55; ++old) {
    char name[64];
    std::snprintf(name, sizeof name, "ferrox-2020-01-01_00-00-%02d.log", old);
    std::ofstream(temp / "state/ferrox/" + name) << "old";
  }
  const std::string source = temp / "source";
  fs::create_directories(source + "/sub");
  std::ofstream(source + "/a.txt") << "alpha";
  std::ofstream(source + "/sub/b.txt") << "beta";
  fs::create_directories(temp / "dest");
  Open({source});
  Edit(kIdDestination)->setText(QString::fromStdString(temp / "dest"));
  Button(kIdStart)->click();
  ASSERT_TRUE(WaitFor(
      [this] { return CurrentRunPhase(g_RunState) == RunPhase::kIdle && !dialog->RunLog().IsOpen(); }));
  const std::vector<std::string> logs = RunLogs();
  ASSERT_EQ(logs.size(), kRunLogsKept);
  EXPECT_EQ(logs.front(), "ferrox-2020-01-01_00-00-06.log");
  const std::string newest = logs.back();
  EXPECT_TRUE(newest.starts_with("ferrox-") && newest.ends_with(".log")) << newest;
  std::string expected = WithoutCarriageReturns(LogText());
  if (!expected.ends_with("\n")) expected += "\n";
  EXPECT_EQ(Contents(temp / "state/ferrox/" + newest), expected);
  EXPECT_NE(expected.find("succesfully copyed"), std::string::npos) << expected;
}

TEST_F(CMainDlgDisplayTest, TheWindowGrowsAndTheLogAndTheFieldsTakeTheRoom) {
  Open();
  EXPECT_TRUE(dialog->windowFlags() & Qt::WindowMaximizeButtonHint);
  const QSize smallest = dialog->size();
  EXPECT_EQ(dialog->minimumSize(), smallest);
  auto place = [this](int id) { return dialog->Control(id)->geometry(); };
  const QRect log = place(kIdLog), source = place(kIdSource), destination = place(kIdDestination),
              exit = place(kIdExit), start = place(kIdStart), total = place(kIdTotalBar),
              buffer = place(kIdBufferSize);
  dialog->show();
  dialog->resize(smallest + QSize(300, 200));
  QCoreApplication::processEvents();
  EXPECT_EQ(place(kIdLog), log.adjusted(0, 0, 300, 200));
  EXPECT_EQ(place(kIdSource), source.adjusted(0, 0, 300, 0));
  EXPECT_EQ(place(kIdDestination), destination.adjusted(0, 0, 300, 0));
  EXPECT_EQ(place(kIdExit), exit.translated(300, 200));
  EXPECT_EQ(place(kIdStart), start.translated(0, 200));
  EXPECT_EQ(place(kIdTotalBar), total.adjusted(0, 200, 300, 200));
  EXPECT_EQ(place(kIdBufferSize), buffer.translated(300, 0));
  // Smaller than the template it cannot be; maximised it fills the screen.
  dialog->resize(100, 100);
  EXPECT_EQ(dialog->size(), smallest);
  dialog->showMaximized();
  ASSERT_TRUE(WaitFor([this] { return dialog->isMaximized(); }));
  QCoreApplication::processEvents();
  EXPECT_GT(place(kIdLog).height(), log.height());
  EXPECT_EQ(place(kIdLog).right() - place(kIdExit).right(), log.right() - exit.right());
}

}  // namespace
