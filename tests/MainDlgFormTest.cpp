// SPDX-License-Identifier: GPL-3.0-or-later
// The real main window: its controls, defaults and template state, the
// validation messages with what is stored after them, and the toggles.
#include <QFontMetrics>
#include <QGroupBox>
#include <QPushButton>
#include <QTest>

#include "frontend/DialogTemplate.h"
#include "frontend/DialogUnits.h"
#include "tests/support/GuiFixture.h"
#include "ui/TemplateWidgets.h"

namespace {

class CMainDlgFormTest : public CGuiTest {};

TEST_F(CMainDlgFormTest, EveryControlOfTheTemplateWithItsLabelAndState) {
  Open();
  EXPECT_EQ(dialog->windowTitle().toStdString(), "Ferrox");
  for (const CControlTemplate& control : MainDialogTemplate()) {
    if (control.id == kIdNone) continue;
    QWidget* widget = dialog->Control(control.id);
    ASSERT_NE(widget, nullptr) << control.id;
    EXPECT_EQ(widget->objectName().toStdString(), "ctl" + std::to_string(control.id));
    EXPECT_EQ(dialog->findChild<QWidget*>(widget->objectName()), widget);
    EXPECT_EQ(widget->isEnabled(), !control.disabled) << control.id;
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      EXPECT_EQ(button->text().toStdString(), control.text) << control.id;
    }
  }
  EXPECT_EQ(Label(kIdFileLabel)->text().toStdString(), "File :");
  EXPECT_EQ(Label(kIdTotalLabel)->text().toStdString(), "Total :");
  EXPECT_TRUE(qobject_cast<QPushButton*>(Button(kIdStart))->isDefault());
  EXPECT_TRUE(LogBox()->isReadOnly());
  EXPECT_EQ(LogBox()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_TRUE(Button(kIdLogUpdate)->isHidden());
  EXPECT_EQ(Bar(kIdFileBar)->minimum(), 0);
  EXPECT_EQ(Bar(kIdFileBar)->maximum(), 1000);
  EXPECT_EQ(Bar(kIdTotalBar)->maximum(), 1000);
  const auto groups = dialog->findChildren<QGroupBox*>();
  ASSERT_EQ(groups.size(), 2);
}

TEST_F(CMainDlgFormTest, LaidOutInDialogUnitsOfItsFont) {
  Open();
  const CDialogUnits plain = DialogUnitsOf(dialog->font());
  // The controls keep the template's proportions: every x is the same
  // multiple of its dialog units, whatever the font.
  const QRect log = dialog->Control(kIdLog)->geometry();
  const QRect exit = dialog->Control(kIdExit)->geometry();
  EXPECT_EQ(dialog->height(), plain.Y(kMainDialogHeight));
  EXPECT_EQ(log.y(), plain.Y(80));
  EXPECT_EQ(log.height(), plain.Y(120));
  EXPECT_EQ(exit.y(), plain.Y(230));
  EXPECT_NEAR(static_cast<double>(log.width()) / dialog->width(), 320.0 / 333.0, 0.01);
  EXPECT_NEAR(static_cast<double>(exit.x()) / dialog->width(), 275.0 / 333.0, 0.01);
  // Every static text fits its place.
  for (QLabel* label : dialog->findChildren<QLabel*>())
    EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
}

TEST_F(CMainDlgFormTest, DefaultsAreShown) {
  Open();
  EXPECT_EQ(Edit(kIdBufferSize)->text().toStdString(), "1048576");
  EXPECT_EQ(Edit(kIdReconnectLimit)->text().toStdString(), "300");
  EXPECT_EQ(Edit(kIdCheckCycles)->text().toStdString(), "1");
  EXPECT_EQ(Edit(kIdHeader)->text().toStdString(), "1024");
  EXPECT_EQ(Edit(kIdPartNumber)->text().toStdString(), "1");
  EXPECT_EQ(Edit(kIdPartSize)->text().toStdString(), "104857600");
  EXPECT_EQ(Edit(kIdSource)->text().toStdString(), "");
  EXPECT_EQ(Edit(kIdDestination)->text().toStdString(), "");
  for (int id : {kIdCheckAfterCopy, kIdCopyByParts, kIdReGet, kIdPassUnreadable})
    EXPECT_FALSE(Button(id)->isChecked()) << id;
  EXPECT_FALSE(g_RunState.runFlag);
  EXPECT_FALSE(g_RunState.pauseFlag);
  EXPECT_EQ(g_RunState.mainForm.load(), dialog.get());
}

TEST_F(CMainDlgFormTest, DisabledButtonsCannotBeClicked) {
  Open();
  g_RunState.workerFinished = true;
  for (int id : {kIdPause, kIdSkipFile}) {
    Button(id)->click();
    QTest::mouseClick(Button(id), Qt::LeftButton);
  }
  EXPECT_FALSE(g_RunState.pauseFlag);
  EXPECT_FALSE(g_RunState.runFlag);
  EXPECT_EQ(Button(kIdPause)->text().toStdString(), "&Pause");
}

TEST_F(CMainDlgFormTest, RefusedNumberShowsTheMessageFocusesAndSelectsAndStartsNothing) {
  Open();
  dialog->show();
  QApplication::setActiveWindow(dialog.get());
  Edit(kIdReconnectLimit)->setText("-5");
  Edit(kIdDestination)->setText(temp.Path().c_str());
  Edit(kIdBufferSize)->setText(" 4096 ");
  Button(kIdStart)->click();
  ASSERT_EQ(messages, (std::vector<std::string>{"Please enter a positive integer."}));
  EXPECT_EQ(QApplication::focusWidget(), Edit(kIdReconnectLimit));
  EXPECT_EQ(Edit(kIdReconnectLimit)->selectedText().toStdString(), "-5");
  EXPECT_EQ(dialog->Values().bufferSize, 4096u);
  EXPECT_EQ(dialog->Values().reconnectLimit, 300u);
  EXPECT_EQ(dialog->Values().destination, "");
  // Nothing started, and what was typed is still there.
  EXPECT_TRUE(g_RunState.workerFinished);
  EXPECT_FALSE(g_RunState.runFlag);
  EXPECT_EQ(Button(kIdStart)->text().toStdString(), "&Start");
  EXPECT_EQ(Edit(kIdDestination)->text().toStdString(), temp.Path());
  EXPECT_EQ(Edit(kIdBufferSize)->text().toStdString(), " 4096 ");
}

TEST_F(CMainDlgFormTest, EveryValidationMessage) {
  Open();
  dialog->show();
  QApplication::setActiveWindow(dialog.get());
  dialog->Hooks().startWorker = [](std::function<void()>, std::string& error) {
    error = "not in this test";
    return false;
  };
  for (const char* text : {"", "12a", "0x10", "-1"}) {
    messages.clear();
    Edit(kIdCheckCycles)->setText(text);
    Button(kIdStart)->click();
    EXPECT_EQ(messages, (std::vector<std::string>{"Please enter a positive integer."})) << text;
    EXPECT_EQ(QApplication::focusWidget(), Edit(kIdCheckCycles));
  }
  Edit(kIdCheckCycles)->setText("2");
  QTest::mouseClick(Button(kIdCopyByParts), Qt::LeftButton);  // enables part number
  for (const char* number : {"0", "65536"}) {
    messages.clear();
    Edit(kIdPartNumber)->setText(number);
    Edit(kIdPartSize)->setText("77");
    Button(kIdStart)->click();
    EXPECT_EQ(messages, (std::vector<std::string>{"Please enter an integer between 1 and 65535."}));
    EXPECT_EQ(dialog->Values().partNumber, std::stoul(number));
    EXPECT_EQ(dialog->Values().partSize, 104857600u);
    EXPECT_EQ(dialog->Values().checkCycles, 2u);
    EXPECT_EQ(QApplication::focusWidget(), Edit(kIdPartNumber));
    EXPECT_EQ(Edit(kIdPartNumber)->selectedText().toStdString(), number);
  }
}

TEST_F(CMainDlgFormTest, RefusedTextInADisabledFieldStopsNoCommand) {
  Open();
  dialog->show();
  QApplication::setActiveWindow(dialog.get());
  QTest::mouseClick(Button(kIdCopyByParts), Qt::LeftButton);
  Edit(kIdPartNumber)->selectAll();
  QTest::keyClicks(Edit(kIdPartNumber), "0");
  QTest::mouseClick(Button(kIdCopyByParts), Qt::LeftButton);
  ASSERT_FALSE(Edit(kIdPartNumber)->isEnabled());
  dialog->Hooks().pickFolder = [this](CDirDialog& picker) {
    picker.m_path = temp.Path();
    return true;
  };
  Button(kIdBrowseDestination)->click();
  EXPECT_EQ(Edit(kIdDestination)->text().toStdString(), temp.Path());
  EXPECT_EQ(Edit(kIdPartNumber)->text().toStdString(), "1");
  EXPECT_EQ(dialog->PartNumber(), 1u);
  Button(kIdStart)->click();
  EXPECT_EQ(Button(kIdStart)->text().toStdString(), "&Abort");
  EXPECT_TRUE(messages.empty());
  EXPECT_TRUE(WaitFor([] { return g_RunState.workerFinished.load(); }));
}

TEST_F(CMainDlgFormTest, LogBoxShowsAHugeMessageWholeAndReadingStillPasses) {
  Open();
  dialog->LogMessage("\r\n" + std::string(40000, 'x'));
  EXPECT_GT(LogText().size(), 40000u);
  EXPECT_TRUE(ShownLog().ends_with("\n" + std::string(40000, 'x')));
  dialog->Hooks().startWorker = [](std::function<void()>, std::string& error) {
    error = "not in this test";
    return false;
  };
  Button(kIdStart)->click();
  EXPECT_TRUE(messages.empty());
}

TEST_F(CMainDlgFormTest, CopyByPartsEnablesThePartControls) {
  Open();
  const int parts[] = {kIdReGet, kIdHeader, kIdPartNumber, kIdPartSize};
  Edit(kIdBufferSize)->setText("555");
  QTest::mouseClick(Button(kIdCopyByParts), Qt::LeftButton);
  EXPECT_TRUE(dialog->Values().copyByParts);
  EXPECT_TRUE(dialog->CopyByParts());
  for (int id : parts) EXPECT_TRUE(dialog->Control(id)->isEnabled()) << id;
  EXPECT_EQ(dialog->Values().bufferSize, 1048576u);  // nothing else was read
  QTest::mouseClick(Button(kIdCopyByParts), Qt::LeftButton);
  EXPECT_FALSE(dialog->Values().copyByParts);
  for (int id : parts) EXPECT_FALSE(dialog->Control(id)->isEnabled()) << id;
}

TEST_F(CMainDlgFormTest, CheckAfterCopyLocksAndSetsTheBufferSize) {
  Open();
  Edit(kIdBufferSize)->setText("4096");
  QTest::mouseClick(Button(kIdCheckAfterCopy), Qt::LeftButton);
  EXPECT_FALSE(Edit(kIdBufferSize)->isEnabled());
  EXPECT_EQ(Edit(kIdBufferSize)->text().toStdString(), "10485760");
  EXPECT_TRUE(dialog->Values().checkAfterCopy);
  Edit(kIdBufferSize)->setText("4096");
  QTest::mouseClick(Button(kIdCheckAfterCopy), Qt::LeftButton);
  EXPECT_TRUE(Edit(kIdBufferSize)->isEnabled());
  EXPECT_EQ(Edit(kIdBufferSize)->text().toStdString(), "1048576");
  EXPECT_FALSE(dialog->Values().checkAfterCopy);
}

TEST_F(CMainDlgFormTest, EngineSeesTheValuesStoredByTheLastReading) {
  Open();
  Edit(kIdDestination)->setText("/somewhere");
  Edit(kIdHeader)->setText("2048");
  Edit(kIdPartNumber)->setText("3");
  Edit(kIdPartSize)->setText("4096");
  EXPECT_EQ(dialog->Destination(), "");  // typing alone changes nothing
  dialog->Hooks().pickFolder = [](CDirDialog&) { return false; };
  Button(kIdBrowseDestination)->click();  // reads the form
  EXPECT_EQ(dialog->Destination(), "/somewhere");
  EXPECT_EQ(dialog->Header(), 2048u);
  EXPECT_EQ(dialog->PartNumber(), 3u);
  EXPECT_EQ(dialog->PartSize(), 4096u);
  EXPECT_FALSE(dialog->ReGet());
}

}  // namespace
