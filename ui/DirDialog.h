// The program's folder picker: a title, a folder to open at, and the chosen
// folder's path as the result.
#pragma once

#include <string>

class QWidget;

inline constexpr char kDefaultPickerTitle[] = "Open";

class CDirDialog {
public:
  CDirDialog() = default;
  virtual ~CDirDialog() = default;

  // Shows the folder chooser, modal over m_owner, titled m_title ("Open"
  // when it is empty) and opened at m_initialSelection (the chooser's own
  // default when it is empty). Returns 1 with the chosen folder's path in
  // m_path when a folder was chosen, 0 when the user cancelled.
  int PickFolder();

  std::string m_path;              // result: the chosen folder, UTF-8, no length limit
  std::string m_initialSelection;  // folder to open at; empty: none
  std::string m_title;             // text shown as the chooser's title; empty: "Open"
  QWidget* m_owner = nullptr;      // window the chooser is modal over
};
