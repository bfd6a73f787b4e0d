// SPDX-License-Identifier: GPL-3.0-or-later
#include "win/FileDialog.h"

#include <commdlg.h>

#include "platform/windows/WinPath.h"

namespace {

// Room for many long names: the dialog fails rather than cut a selection.
constexpr DWORD kSelectionChars = 1 << 16;

}  // namespace

std::optional<std::vector<std::string>> PickSourceFiles(HWND owner, std::vector<std::string>& broken) {
  std::wstring buffer(kSelectionChars, L'\0');
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFile = buffer.data();
  dialog.nMaxFile = kSelectionChars;
  // The dialog may move the process's current folder as the user browses;
  // it is put back. Paths are taken from the folder the program started
  // in anyway (StartFolder), so a run going on meanwhile is not affected.
  dialog.Flags = OFN_HIDEREADONLY | OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST | OFN_EXPLORER | OFN_NOCHANGEDIR;
  const std::wstring& started = StartFolder();
  const BOOL chosen = GetOpenFileNameW(&dialog);
  if (!started.empty()) SetCurrentDirectoryW(started.c_str());
  if (!chosen) return std::nullopt;

  // One file: its full path. Several: the folder, then each name, every
  // text ended by a zero and the list by a second one.
  const wchar_t* next = buffer.c_str();
  const std::wstring folder = next;
  next += folder.size() + 1;
  std::vector<std::string> files;
  auto take = [&files, &broken](const std::wstring& path) {
    bool exact = true;
    std::string utf8 = Utf8FromWide(path, &exact);
    (exact ? files : broken).push_back(std::move(utf8));
  };
  if (*next == L'\0') {
    take(folder);
    return files;
  }
  const std::wstring prefix = folder.ends_with(L'\\') ? folder : folder + L'\\';
  while (*next != L'\0') {
    const std::wstring name = next;
    next += name.size() + 1;
    take(prefix + name);
  }
  return files;
}
