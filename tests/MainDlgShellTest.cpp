// The window's start: the help text, then the command-line sources under
// it; the About box and where it is offered.
#include <QContextMenuEvent>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include <QPushButton>

#include "AboutDlg.h"
#include "GuiFixture.h"
#include "WindowHelpText.h"

namespace {

class CMainDlgShellTest : public CGuiTest {};

TEST_F(CMainDlgShellTest, HelpTextFirstThenTheCommandLineSources) {
  Open({temp / "my photos", "/srv/data"});
  EXPECT_EQ(Edit(kIdSource)->text().toStdString(), "\"" + temp / "my photos" + "\" \"/srv/data\"");
  EXPECT_EQ(LogText(), WindowHelpText() + temp / "my photos" + "\r\n/srv/data\r\n");
  EXPECT_EQ(g_RunState.sources, (std::vector<std::string>{temp / "my photos", "/srv/data"}));
  EXPECT_EQ(dialog->Log().LogEndPosition(), static_cast<int64_t>(LogText().size()));
  const std::string shown = ShownLog();
  EXPECT_TRUE(shown.starts_with("    *** Ferrox 1.0, built "));
  EXPECT_TRUE(shown.ends_with("\n/srv/data\n"));
}

TEST_F(CMainDlgShellTest, WithoutArgumentsTheLogHoldsTheHelpTextOnly) {
  Open();
  EXPECT_EQ(LogText(), WindowHelpText());
  EXPECT_TRUE(g_RunState.sources.empty());
  EXPECT_EQ(QApplication::focusWidget() == nullptr || QApplication::focusWidget() == Edit(kIdSource), true);
}

TEST_F(CMainDlgShellTest, ArgumentsLeftOutAreNamedUnderTheSources) {
  Open({"/srv/a", "/srv/say \"hi\"", "/srv/b\xff"});
  EXPECT_EQ(g_RunState.sources, (std::vector<std::string>{"/srv/a"}));
  EXPECT_TRUE(
      LogText().ends_with("/srv/a\r\n"
                          "command-line argument left out of Source (a double quote the Source field cannot "
                          "carry): /srv/say \"hi\"\r\n"
                          "command-line argument left out of Source (not valid UTF-8): /srv/b\xff\r\n"))
      << LogText();
}

TEST_F(CMainDlgShellTest, StartEmptiesTheLogAndListsTheSources) {
  Open({"/srv/nothing here"});
  dialog->Hooks().startWorker = [](std::function<void()>, std::string& error) {
    error = "not in this test";
    return false;
  };
  Button(kIdStart)->click();
  EXPECT_TRUE(LogText().starts_with("/srv/nothing here\r\n")) << LogText();
}

TEST_F(CMainDlgShellTest, AboutBoxShowsTheVersion) {
  CAboutDlg about;
  EXPECT_EQ(about.windowTitle().toStdString(), "About Ferrox");
  std::vector<std::string> texts;
  for (QLabel* label : about.findChildren<QLabel*>())
    if (!label->text().isEmpty()) texts.push_back(label->text().toStdString());
  EXPECT_EQ(texts, (std::vector<std::string>{"Ferrox Version 1.0", "Resumes after network drops"}));
  bool iconShown = false;
  for (QLabel* label : about.findChildren<QLabel*>()) iconShown = iconShown || !label->pixmap().isNull();
  EXPECT_TRUE(iconShown);
  auto* ok = about.findChild<QPushButton*>(QStringLiteral("ctl1"));
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->text().toStdString(), "OK");
  EXPECT_TRUE(ok->isDefault());
  about.show();
  ok->click();
  EXPECT_FALSE(about.isVisible());
  EXPECT_EQ(about.result(), QDialog::Accepted);
}

TEST_F(CMainDlgShellTest, AboutIsOfferedByF1AndByTheContextMenu) {
  Open();
  dialog->show();
  QApplication::setActiveWindow(dialog.get());
  int shown = 0;
  dialog->Hooks().aboutBox = [&shown] { ++shown; };
  QTest::keyClick(dialog.get(), Qt::Key_F1);
  EXPECT_EQ(shown, 1);
  // The context menu of the window offers "&About Ferrox...".
  QTimer::singleShot(0, [] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_EQ(menu->actions()[0]->text().toStdString(), "&About Ferrox...");
    menu->actions()[0]->trigger();
    menu->close();
  });
  QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2), dialog->mapToGlobal(QPoint(2, 2)));
  QApplication::sendEvent(dialog.get(), &event);
  EXPECT_EQ(shown, 2);
}

TEST_F(CMainDlgShellTest, RealAboutBoxIsModalOverTheWindowAndCloses) {
  Open();
  dialog->show();
  QTimer::singleShot(50, [] {
    QWidget* modal = QApplication::activeModalWidget();
    ASSERT_NE(modal, nullptr);
    EXPECT_EQ(modal->windowTitle().toStdString(), "About Ferrox");
    modal->close();
  });
  dialog->ShowAbout();
  EXPECT_TRUE(dialog->isVisible());
}

}  // namespace
