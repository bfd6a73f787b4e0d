// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's commands: the run commands, the three browse buttons,
// dropping files on the window, and the About box.
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QUrl>
#include <filesystem>
#include <memory>

#include "engine/LogPrintf.h"
#include "engine/RunState.h"
#include "frontend/AboutText.h"
#include "frontend/CommandLine.h"
#include "frontend/ControlIds.h"
#include "frontend/FormExchange.h"
#include "frontend/RunButtons.h"
#include "frontend/RunCommands.h"
#include "frontend/RunLogFile.h"
#include "frontend/SourceAddress.h"
#include "frontend/SourceSelection.h"
#include "frontend/SourceToken.h"
#include "ui/AboutDlg.h"
#include "ui/DirDialog.h"
#include "ui/MainDlg.h"
#include "ui/SourceFileDialog.h"

namespace {

constexpr char kDestinationTitle[] = "Choose Destination Dir";
constexpr char kSourceDirTitle[] = "Choose Source Dir";

constexpr char kUriListFormat[] = "text/uri-list";

constexpr char kOpenLogFolderText[] = "Open &Log Folder";

// Returns the sources of the URLs in mime, taken from the list as it was
// sent, byte for byte, so that escaped names reach the decoding unchanged.
CDroppedSources DroppedSources(const QMimeData* mime) {
  if (!mime || !mime->hasFormat(QString::fromLatin1(kUriListFormat))) return CDroppedSources();
  const QByteArray list = mime->data(QString::fromLatin1(kUriListFormat));
  return TakeDroppedUrls(std::string_view(list.constData(), static_cast<size_t>(list.size())));
}

}  // namespace

void CMainDlg::OnStartAbort() {
  ::OnStartAbort(*this);
  if (!g_RunState.runFlag) CloseLogonDialog();
}

void CMainDlg::OnStartButton() {
  ::OnStartCommand(*this, NowMs());
  if (!g_RunState.runFlag) CloseLogonDialog();
}

void CMainDlg::OnExit() {
  ::OnExit(*this);
  if (!g_RunState.runFlag) CloseLogonDialog();
}

void CMainDlg::OnPause() { ::OnPause(*this); }

void CMainDlg::OnSkipFile() { ::OnSkipFile(*this); }

void CMainDlg::OnScanFolders() { ::OnScanFolders(*this); }

bool CMainDlg::ShiftHeld() const {
  if (m_hooks.shiftHeld) return m_hooks.shiftHeld();
  return (QGuiApplication::queryKeyboardModifiers() & Qt::ShiftModifier) != 0;
}

void CMainDlg::PickFolder(CDirDialog& picker, std::function<void(const std::string& path)> apply) {
  if (!m_hooks.pickFolder) {
    picker.Show(std::move(apply));
    return;
  }
  if (m_hooks.pickFolder(picker)) apply(picker.m_path);
}

void CMainDlg::OnBrowseDestination() {
  if (m_destinationPicker.RaiseIfOpen()) return;
  if (!ReadFormValues()) return;
  m_destinationPicker.m_title = kDestinationTitle;
  m_destinationPicker.m_initialSelection = m_values.destination;
  PickFolder(m_destinationPicker, [this](const std::string& path) { ApplyDestinationFolder(path); });
}

void CMainDlg::ApplyDestinationFolder(const std::string& path) {
  m_values.destination = path;
  SetFieldText(kIdDestination, path);
  m_engineValues.Publish(m_values);
}

void CMainDlg::OnSourceDir() {
  if (m_sourceDirPicker.RaiseIfOpen()) return;
  const bool append = ShiftHeld();
  if (!ReadFormValues()) return;
  m_sourceDirPicker.m_title = kSourceDirTitle;
  m_sourceDirPicker.m_initialSelection = m_lastSourceFolder;
  PickFolder(m_sourceDirPicker, [this, append](const std::string& path) { ApplySourceFolder(path, append); });
}

void CMainDlg::ApplySourceFolder(const std::string& path, bool append) {
  m_lastSourceFolder = path;
  if (PutSourceFolder(path, append, FieldText(kIdSource), m_values.source))
    SetFieldText(kIdSource, m_values.source);
}

void CMainDlg::OnSourceFile() {
  const bool append = ShiftHeld();
  if (!ReadFormValues()) return;
  std::optional<std::vector<std::string>> files;
  if (m_hooks.pickFiles) {
    files = m_hooks.pickFiles();
  } else {
    files = PickSourceFiles(this);
  }
  if (files && AddSourcePaths(*files, "file", append, m_values.source)) WriteFormValues();
}

void CMainDlg::OnDropPaths(const std::vector<std::string>& paths, bool append) {
  if (paths.empty() || !ReadFormValues()) return;
  if (AddSourcePaths(paths, "dropped item", append, m_values.source)) WriteFormValues();
}

void CMainDlg::ShowAbout() {
  if (m_hooks.aboutBox) {
    m_hooks.aboutBox();
    return;
  }
  CAboutDlg about(this);
  about.exec();
}

void CMainDlg::OpenLogFolder() {
  const std::string folder = RunLogFolder();
  if (folder.empty()) return;
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(folder), error);
  if (m_hooks.openFolder) {
    m_hooks.openFolder(folder);
    return;
  }
  QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(folder)));
}

void CMainDlg::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  menu.addAction(QString::fromUtf8(kOpenLogFolderText), this, &CMainDlg::OpenLogFolder);
  menu.addAction(QString::fromUtf8(kAboutMenuText), this, &CMainDlg::ShowAbout);
  menu.exec(event->globalPos());
}

void CMainDlg::ShowLogBoxMenu(const QPoint& position) {
  const std::unique_ptr<QMenu> menu(m_logBox->createStandardContextMenu(position));
  menu->addSeparator();
  menu->addAction(QString::fromUtf8(kOpenLogFolderText), this, &CMainDlg::OpenLogFolder);
  menu->addAction(QString::fromUtf8(kAboutMenuText), this, &CMainDlg::ShowAbout);
  menu->exec(m_logBox->viewport()->mapToGlobal(position));
}

void CMainDlg::dragEnterEvent(QDragEnterEvent* event) {
  if (!DroppedSources(event->mimeData()).addressed) return;
  event->setDropAction(Qt::CopyAction);
  event->accept();
}

void CMainDlg::dragMoveEvent(QDragMoveEvent* event) {
  if (!DroppedSources(event->mimeData()).addressed) return;
  event->setDropAction(Qt::CopyAction);
  event->accept();
}

void CMainDlg::dropEvent(QDropEvent* event) {
  const CDroppedSources dropped = DroppedSources(event->mimeData());
  if (!dropped.addressed) return;
  event->setDropAction(Qt::CopyAction);
  event->accept();
  for (const CLeftOutArgument& left : dropped.leftOut)
    LogPrintf("\r\ndropped item left out of Source (%s): %s\r\n", left.reason.c_str(), left.argument.c_str());
  OnDropPaths(dropped.paths, (event->modifiers() & Qt::ShiftModifier) != 0);
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
