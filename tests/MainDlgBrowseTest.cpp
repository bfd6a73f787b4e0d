// The three browse commands, Shift held at the click, the last source
// folder, and dropping files and folders on the window.
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "GuiFixture.h"
#include "SourceList.h"

namespace {

class CMainDlgBrowseTest : public CGuiTest {
protected:
  // Makes the folder picker record its title and initial selection and
  // choose path (or cancel when path is empty).
  void PickFolder(const std::string& path) {
    dialog->Hooks().pickFolder = [this, path](CDirDialog& picker) {
      titles.push_back(picker.m_title);
      initials.push_back(picker.m_initialSelection);
      if (path.empty()) return false;
      picker.m_path = path;
      return true;
    };
  }

  void HoldShift(bool held) {
    dialog->Hooks().shiftHeld = [held] { return held; };
  }

  std::string Source() const { return Edit(kIdSource)->text().toStdString(); }

  // Sends a drop of paths (as local file addresses) onto target.
  void Drop(QWidget* target, const std::vector<std::string>& paths, Qt::KeyboardModifiers modifiers) {
    QMimeData mime;
    QList<QUrl> urls;
    for (const std::string& path : paths) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(path)));
    mime.setUrls(urls);
    mime.setText(QStringLiteral("ignored"));
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, modifiers);
    QApplication::sendEvent(target, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, modifiers);
    QApplication::sendEvent(target, &drop);
  }

  std::vector<std::string> titles, initials;
};

TEST_F(CMainDlgBrowseTest, SourceDirReplacesThenShiftAppends) {
  Open();
  HoldShift(false);
  PickFolder("/srv/first dir");
  Button(kIdSourceDir)->click();
  EXPECT_EQ(Source(), "\"/srv/first dir\" ");
  HoldShift(true);
  PickFolder("/srv/second");
  Button(kIdSourceDir)->click();
  EXPECT_EQ(Source(), "\"/srv/first dir\"  \"/srv/second\"");
  EXPECT_EQ(titles, (std::vector<std::string>{"Choose Source Dir", "Choose Source Dir"}));
  // The first time at the chooser's own default, then at the last folder.
  EXPECT_EQ(initials, (std::vector<std::string>{"", "/srv/first dir"}));
  EXPECT_EQ(dialog->LastSourceFolder(), "/srv/second");
  EXPECT_EQ(SplitSourceText(dialog->Values().source),
            (std::vector<std::string>{"/srv/first dir", "/srv/second"}));
}

TEST_F(CMainDlgBrowseTest, CancelledPickerChangesNothingButTheFormIsRead) {
  Open();
  PickFolder("");
  Edit(kIdSource)->setText("typed");
  Button(kIdSourceDir)->click();
  EXPECT_EQ(Source(), "typed");
  EXPECT_EQ(dialog->Values().source, "typed");
  EXPECT_EQ(dialog->LastSourceFolder(), "");
}

TEST_F(CMainDlgBrowseTest, DestinationOpensAtTheTypedFolder) {
  Open();
  PickFolder("/home/ann/copies");
  Edit(kIdDestination)->setText("/home/ann");
  Button(kIdBrowseDestination)->click();
  EXPECT_EQ(titles, (std::vector<std::string>{"Choose Destination Dir"}));
  EXPECT_EQ(initials, (std::vector<std::string>{"/home/ann"}));
  EXPECT_EQ(Edit(kIdDestination)->text().toStdString(), "/home/ann/copies");
  EXPECT_EQ(dialog->Destination(), "/home/ann/copies");
  EXPECT_EQ(dialog->LastSourceFolder(), "");
}

TEST_F(CMainDlgBrowseTest, SourceFileWritesEveryChosenFileQuoted) {
  Open();
  HoldShift(false);
  dialog->Hooks().pickFiles = [] {
    return std::optional<std::vector<std::string>>({"/srv/films/a b.avi", "/srv/films/c.avi"});
  };
  Button(kIdSourceFile)->click();
  EXPECT_EQ(Source(), "\"/srv/films/a b.avi\" \"/srv/films/c.avi\" ");
  HoldShift(true);
  dialog->Hooks().pickFiles = [] { return std::optional<std::vector<std::string>>({"/srv/d"}); };
  Button(kIdSourceFile)->click();
  EXPECT_EQ(Source(), "\"/srv/films/a b.avi\" \"/srv/films/c.avi\"  \"/srv/d\" ");
  EXPECT_EQ(dialog->LastSourceFolder(), "");
}

TEST_F(CMainDlgBrowseTest, AFileNameThatCannotBeWrittenIsNamedInTheLog) {
  Open();
  HoldShift(false);
  dialog->Hooks().pickFiles = [] {
    return std::optional<std::vector<std::string>>({"/srv/say \"hi\".txt", "/srv/ok.txt"});
  };
  Button(kIdSourceFile)->click();
  EXPECT_EQ(Source(), "\"/srv/ok.txt\" ");
  EXPECT_TRUE(
      LogHas("file left out of Source (a double quote the Source field cannot carry): /srv/say \"hi\".txt"));
}

TEST_F(CMainDlgBrowseTest, RefusedFieldEndsTheBrowseBeforeThePicker) {
  Open();
  PickFolder("/srv/x");
  Edit(kIdHeader)->setText("bad");
  Edit(kIdDestination)->setText("/typed");
  Button(kIdSourceDir)->click();
  EXPECT_EQ(messages, (std::vector<std::string>{"Please enter a positive integer."}));
  EXPECT_TRUE(titles.empty());
  EXPECT_EQ(Edit(kIdDestination)->text().toStdString(), "/typed");
  EXPECT_EQ(Source(), "");
}

TEST_F(CMainDlgBrowseTest, DroppedFilesFillSourceAndShiftAppends) {
  Open();
  dialog->show();
  Drop(dialog.get(), {"/srv/a b", "/srv/c"}, Qt::NoModifier);
  EXPECT_EQ(Source(), "\"/srv/a b\" \"/srv/c\" ");
  // Dropped on the Source field itself: the field takes no text from it.
  Drop(Edit(kIdSource), {"/srv/d"}, Qt::ShiftModifier);
  EXPECT_EQ(Source(), "\"/srv/a b\" \"/srv/c\"  \"/srv/d\" ");
  Drop(LogBox()->viewport(), {"/srv/e"}, Qt::NoModifier);
  EXPECT_EQ(Source(), "\"/srv/e\" ");
}

}  // namespace
