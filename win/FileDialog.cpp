#include "FileDialog.h"

#include <commdlg.h>

#include "WinPath.h"

namespace {

// Room for many long names: the dialog fails rather than cut a selection.
constexpr DWORD kSelectionChars = 1 << 16;

}  // namespace

std::optional<std::vector<std::string>> PickSourceFiles(HWND owner) {
  std::wstring buffer(kSelectionChars, L'\0');
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFile = buffer.data();
  dialog.nMaxFile = kSelectionChars;
  dialog.Flags = OFN_HIDEREADONLY | OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST | OFN_EXPLORER;
  if (!GetOpenFileNameW(&dialog)) return std::nullopt;

  // One file: its full path. Several: the folder, then each name, every
  // text ended by a zero and the list by a second one.
  const wchar_t* next = buffer.c_str();
  const std::wstring folder = next;
  next += folder.size() + 1;
  std::vector<std::string> files;
  if (*next == L'\0') {
    files.push_back(Utf8FromWide(folder));
    return files;
  }
  const std::wstring prefix = folder.ends_with(L'\\') ? folder : folder + L'\\';
  while (*next != L'\0') {
    const std::wstring name = next;
    next += name.size() + 1;
    files.push_back(Utf8FromWide(prefix + name));
  }
  return files;
}
