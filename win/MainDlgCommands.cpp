// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's commands: the run commands, the three browse buttons,
// files dropped on the window, and the About box.
// windows.h before the system headers that need it.
#include "platform/windows/WindowsApi.h"

#include <commctrl.h>
#include <shellapi.h>

#include <filesystem>

#include "frontend/AboutText.h"
#include "frontend/ControlIds.h"
#include "frontend/RunButtons.h"
#include "frontend/RunCommands.h"
#include "frontend/RunLogFile.h"
#include "frontend/SourceAddress.h"
#include "frontend/SourceSelection.h"
#include "platform/windows/WinPath.h"
#include "win/AboutDlg.h"
#include "win/FileDialog.h"
#include "win/MainDlg.h"

namespace {

constexpr char kDestinationTitle[] = "Choose Destination Dir";
constexpr char kSourceDirTitle[] = "Choose Source Dir";

// The log box's context menu.
enum : UINT { kMenuCopy = 1, kMenuSelectAll, kMenuOpenLogFolder, kMenuAbout };

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

void CMainDlg::OnStartButton() { ::OnStartCommand(*this, static_cast<int64_t>(GetTickCount64())); }

void CMainDlg::OnExit() { ::OnExit(*this); }

void CMainDlg::OnPause() { ::OnPause(*this); }

void CMainDlg::OnSkipFile() { ::OnSkipFile(*this); }

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
  if (PutSourceFolder(path, append, FieldText(kIdSource), m_values.source))
    SetFieldText(kIdSource, m_values.source);
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

void CMainDlg::OpenLogFolder() {
  const std::string folder = RunLogFolder();
  if (folder.empty()) return;
  const std::wstring wide = WideFromUtf8(folder);
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(wide), error);
  ShellExecuteW(m_hwnd, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void CMainDlg::ShowLogMenu(POINT at) {
  const HWND box = GetDlgItem(m_hwnd, kIdLog);
  HMENU menu = CreatePopupMenu();
  if (!menu) return;
  DWORD start = 0, end = 0;
  SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  const UINT copyState = start == end ? static_cast<UINT>(MF_GRAYED) : 0u;
  AppendMenuW(menu, static_cast<UINT>(MF_STRING) | copyState, kMenuCopy, L"&Copy");
  AppendMenuW(menu, MF_STRING, kMenuSelectAll, L"Select &All");
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, kMenuOpenLogFolder, L"Open &Log Folder");
  AppendMenuW(menu, MF_STRING, kMenuAbout, WideFromUtf8(kAboutMenuText).c_str());
  if (at.x == -1 && at.y == -1) {
    RECT place{};
    GetWindowRect(box, &place);
    at = POINT{place.left + 8, place.top + 8};
  }
  const auto chosen = static_cast<UINT>(
      TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, m_hwnd, nullptr));
  DestroyMenu(menu);
  switch (chosen) {
    case kMenuCopy:
      SendMessageW(box, WM_COPY, 0, 0);
      break;
    case kMenuSelectAll:
      SendMessageW(box, EM_SETSEL, 0, -1);
      break;
    case kMenuOpenLogFolder:
      OpenLogFolder();
      break;
    case kMenuAbout:
      ShowAbout();
      break;
    default:
      break;
  }
}

LRESULT CALLBACK CMainDlg::LogBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR /*id*/,
                                      DWORD_PTR self) {
  if (message == WM_CONTEXTMENU) {
    reinterpret_cast<CMainDlg*>(self)->ShowLogMenu(
        POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))});
    return 0;
  }
  return DefSubclassProc(box, message, wParam, lParam);
}
