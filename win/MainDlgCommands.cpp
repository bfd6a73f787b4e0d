// The main window's commands: the run commands, the three browse buttons,
// files dropped on the window, and the About box.
#include "WindowsApi.h"
#include <shellapi.h>

#include "AboutDlg.h"
#include "ControlIds.h"
#include "FileDialog.h"
#include "MainDlg.h"
#include "RunCommands.h"
#include "SourceAddress.h"
#include "SourceSelection.h"
#include "WinPath.h"

namespace {

constexpr char kDestinationTitle[] = "Choose Destination Dir";
constexpr char kSourceDirTitle[] = "Choose Source Dir";

// Returns the paths of the files and folders of drop, UTF-8, in order; a
// path that is no valid UTF-16 goes to broken instead.
std::vector<std::string> DroppedPaths(HDROP drop, std::vector<std::string>& broken) {
  std::vector<std::string> paths;
  const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    const UINT length = DragQueryFileW(drop, i, nullptr, 0);
    std::wstring path(static_cast<size_t>(length) + 1, L'\0');
    const UINT copied = DragQueryFileW(drop, i, path.data(), length + 1);
    path.resize(copied);
    bool exact = true;
    std::string utf8 = Utf8FromWide(path, &exact);
    if (!path.empty()) (exact ? paths : broken).push_back(std::move(utf8));
  }
  return paths;
}

}  // namespace

void CMainDlg::OnStartAbort() { ::OnStartAbort(*this); }

void CMainDlg::OnExit() { ::OnExit(*this); }

void CMainDlg::OnPause() { ::OnPause(*this); }

void CMainDlg::OnScanFolders() { ::OnScanFolders(*this); }

bool CMainDlg::ShiftHeld() {
  // Any bit but the toggle state: the key is down.
  return (static_cast<unsigned short>(GetKeyState(VK_SHIFT)) & 0xFFFEu) != 0;
}

void CMainDlg::OnBrowseDestination() {
  if (m_destinationPicker.RaiseIfOpen()) return;
  if (!ReadFormValues()) return;
  m_destinationPicker.m_title = kDestinationTitle;
  m_destinationPicker.m_initialSelection = m_values.destination;
  if (m_destinationPicker.PickFolder()) ApplyDestinationFolder(m_destinationPicker.m_path);
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
  if (m_sourceDirPicker.PickFolder()) ApplySourceFolder(m_sourceDirPicker.m_path, append);
}

void CMainDlg::ApplySourceFolder(const std::string& path, bool append) {
  m_lastSourceFolder = path;
  // The field as it stands now: the window stayed usable while the
  // browser was open.
  if (PutSourceFolder(path, append, FieldText(kIdSource), m_values.source)) SetFieldText(kIdSource, m_values.source);
}

void CMainDlg::OnSourceFile() {
  const bool append = ShiftHeld();
  if (!ReadFormValues()) return;
  std::vector<std::string> broken;
  const std::optional<std::vector<std::string>> files = PickSourceFiles(m_hwnd, broken);
  LogLeftOutOfSource("file", broken, kReasonUtf16);
  if (files && AddSourcePaths(*files, "file", append, m_values.source)) WriteFormValues();
}

void CMainDlg::OnDropFiles(HDROP drop) {
  // The keyboard belonged to the program the drag came from: Shift is asked
  // of the keyboard itself, not of this thread's last key message.
  const bool append = (static_cast<unsigned short>(GetAsyncKeyState(VK_SHIFT)) & 0x8000u) != 0;
  std::vector<std::string> broken;
  const std::vector<std::string> paths = DroppedPaths(drop, broken);
  DragFinish(drop);
  LogLeftOutOfSource("dropped item", broken, kReasonUtf16);
  OnDropPaths(paths, append);
}

void CMainDlg::OnDropPaths(const std::vector<std::string>& paths, bool append) {
  if (paths.empty() || !ReadFormValues()) return;
  if (AddSourcePaths(paths, "dropped item", append, m_values.source)) WriteFormValues();
}

void CMainDlg::ShowAbout() {
  CAboutDlg about;
  about.DoModal(m_hwnd);
}
