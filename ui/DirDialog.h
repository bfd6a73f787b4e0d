// SPDX-License-Identifier: GPL-3.0-or-later
// The program's folder picker: a title, a folder to open at, and the chosen
// folder's path as the result. The chooser has no owner and is not modal:
// showing it returns at once, the windows of the program stay usable while
// it is open, and the choice is handed over when the user makes it.
#pragma once

#include <functional>
#include <memory>
#include <string>

class QFileDialog;

inline constexpr char kDefaultPickerTitle[] = "Open";

class CDirDialog {
public:
  CDirDialog();
  // Closes and destroys the chooser: it never outlives its picker.
  ~CDirDialog();
  CDirDialog(const CDirDialog&) = delete;
  CDirDialog& operator=(const CDirDialog&) = delete;

  // Shows a new folder chooser, titled m_title ("Open" when it is empty) and
  // opened at m_initialSelection (the chooser's own default when it is
  // empty), and returns at once. When the user chooses a folder, its path
  // goes into m_path and onChosen is called with it on the window thread;
  // when the user cancels, nothing is called.
  void Show(std::function<void(const std::string& path)> onChosen);

  // Raises and activates the chooser and returns true when it is shown;
  // returns false when it is not.
  bool RaiseIfOpen();

  // Closes the chooser without a choice, when it is shown.
  void Close();

  std::string m_path;              // result: the chosen folder, UTF-8, no length limit
  std::string m_initialSelection;  // folder to open at; empty: none
  std::string m_title;             // text shown as the chooser's title; empty: "Open"

private:
  std::unique_ptr<QFileDialog> m_chooser;
};
