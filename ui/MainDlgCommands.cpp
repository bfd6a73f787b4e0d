// The main window's commands: the run commands, the three browse buttons,
// dropping files on the window, and the About box.
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QUrl>
#include <memory>

#include "AboutDlg.h"
#include "AboutText.h"
#include "CommandLine.h"
#include "DirDialog.h"
#include "FormExchange.h"
#include "LogPrintf.h"
#include "MainDlg.h"
#include "RunCommands.h"
#include "SourceToken.h"

namespace {

constexpr char kDestinationTitle[] = "Choose Destination Dir";
constexpr char kSourceDirTitle[] = "Choose Source Dir";

// Returns the local paths of the files and folders in mime, in order, and
// adds the addresses that are not local to notLocal.
std::vector<std::string> LocalPaths(const QMimeData* mime, std::vector<std::string>* notLocal) {
  std::vector<std::string> paths;
  if (!mime || !mime->hasUrls()) return paths;
  for (const QUrl& url : mime->urls()) {
    if (url.isLocalFile())
      paths.push_back(url.toLocalFile().toUtf8().toStdString());
    else if (notLocal)
      notLocal->push_back(url.toString().toUtf8().toStdString());
  }
  return paths;
}

}  // namespace

void CMainDlg::OnStartAbort() { ::OnStartAbort(*this); }

void CMainDlg::OnExit() { ::OnExit(*this); }

void CMainDlg::OnPause() { ::OnPause(*this); }

void CMainDlg::OnScanFolders() { ::OnScanFolders(*this); }

bool CMainDlg::ShiftHeld() const {
  if (m_hooks.shiftHeld) return m_hooks.shiftHeld();
  return (QGuiApplication::queryKeyboardModifiers() & Qt::ShiftModifier) != 0;
}

bool CMainDlg::Pick(CDirDialog& picker) {
  if (m_hooks.pickFolder) return m_hooks.pickFolder(picker);
  return picker.PickFolder() == 1;
}

void CMainDlg::LogLeftOut(const char* what, const std::vector<std::string>& paths) {
  for (const std::string& path : paths)
    LogPrintf("\r\n%s left out of Source (%s): %s\r\n", what, kReasonQuote, path.c_str());
}

void CMainDlg::OnBrowseDestination() {
  CDirDialog picker;
  picker.m_owner = this;
  if (!ReadFormValues()) return;
  picker.m_title = kDestinationTitle;
  picker.m_initialSelection = m_values.destination;
  if (!Pick(picker)) return;
  m_values.destination = picker.m_path;
  WriteFormValues();
}

void CMainDlg::OnSourceDir() {
  CDirDialog picker;
  picker.m_owner = this;
  const bool append = ShiftHeld();
  if (!ReadFormValues()) return;
  picker.m_title = kSourceDirTitle;
  picker.m_initialSelection = m_lastSourceFolder;
  if (!Pick(picker)) return;
  m_lastSourceFolder = picker.m_path;
  const std::optional<std::string> token = SourceToken(picker.m_path);
  if (!token) {
    LogLeftOut("folder", {picker.m_path});
    return;
  }
  m_values.source = append ? m_values.source + " " + *token : *token + " ";
  WriteFormValues();
}

void CMainDlg::OnSourceFile() {
  const bool append = ShiftHeld();
  if (!ReadFormValues()) return;
  std::optional<std::vector<std::string>> files;
  if (m_hooks.pickFiles) {
    files = m_hooks.pickFiles();
  } else {
    const QStringList chosen = QFileDialog::getOpenFileNames(this);
    if (!chosen.isEmpty()) {
      files.emplace();
      for (const QString& file : chosen) files->push_back(file.toUtf8().toStdString());
    }
  }
  if (!files || files->empty()) return;
  const CSourceText added = BuildSourceText(*files);
  LogLeftOut("file", added.leftOut);
  if (added.text.empty()) return;
  m_values.source = CombineSourceText(m_values.source, added.text, append);
  WriteFormValues();
}

void CMainDlg::OnDropPaths(const std::vector<std::string>& paths, bool append) {
  if (paths.empty() || !ReadFormValues()) return;
  const CSourceText added = BuildSourceText(paths);
  LogLeftOut("dropped item", added.leftOut);
  if (added.text.empty()) return;
  m_values.source = CombineSourceText(m_values.source, added.text, append);
  WriteFormValues();
}

void CMainDlg::ShowAbout() {
  if (m_hooks.aboutBox) {
    m_hooks.aboutBox();
    return;
  }
  CAboutDlg about(this);
  about.exec();
}

void CMainDlg::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  menu.addAction(QString::fromUtf8(kAboutMenuText), this, &CMainDlg::ShowAbout);
  menu.exec(event->globalPos());
}

void CMainDlg::ShowLogBoxMenu(const QPoint& position) {
  const std::unique_ptr<QMenu> menu(m_logBox->createStandardContextMenu(position));
  menu->addSeparator();
  menu->addAction(QString::fromUtf8(kAboutMenuText), this, &CMainDlg::ShowAbout);
  menu->exec(m_logBox->viewport()->mapToGlobal(position));
}

void CMainDlg::dragEnterEvent(QDragEnterEvent* event) {
  if (LocalPaths(event->mimeData(), nullptr).empty()) return;
  event->setDropAction(Qt::CopyAction);
  event->accept();
}

void CMainDlg::dragMoveEvent(QDragMoveEvent* event) {
  if (LocalPaths(event->mimeData(), nullptr).empty()) return;
  event->setDropAction(Qt::CopyAction);
  event->accept();
}

void CMainDlg::dropEvent(QDropEvent* event) {
  std::vector<std::string> notLocal;
  const std::vector<std::string> paths = LocalPaths(event->mimeData(), &notLocal);
  if (paths.empty()) return;
  event->setDropAction(Qt::CopyAction);
  event->accept();
  for (const std::string& address : notLocal)
    LogPrintf("\r\ndropped item left out of Source (not a local file or folder): %s\r\n", address.c_str());
  OnDropPaths(paths, (event->modifiers() & Qt::ShiftModifier) != 0);
}

bool CMainDlg::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop) event->ignore();
  switch (type) {
    case QEvent::DragEnter:
      dragEnterEvent(static_cast<QDragEnterEvent*>(event));
      return event->isAccepted();
    case QEvent::DragMove:
      dragMoveEvent(static_cast<QDragMoveEvent*>(event));
      return event->isAccepted();
    case QEvent::Drop:
      dropEvent(static_cast<QDropEvent*>(event));
      return event->isAccepted();
    default:
      return QDialog::eventFilter(watched, event);
  }
}
