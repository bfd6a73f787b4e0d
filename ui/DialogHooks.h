// SPDX-License-Identifier: GPL-3.0-or-later
// Replacements for the main window's dialogs and its look at the keyboard,
// so tests can drive every command without blocking or waiting. Each hook
// that is not set leaves the real behaviour in place.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class CDirDialog;

struct CDialogHooks {
  // Called with a validation message instead of showing it in a message box.
  std::function<void(const std::string& message)> messageBox;
  // Called instead of showing the folder picker, with its title and initial
  // selection set; returns whether a folder was chosen (then in the picker's
  // m_path), which the command then applies at once.
  std::function<bool(CDirDialog& picker)> pickFolder;
  // Called instead of the multiple-selection file dialog; returns the chosen
  // files' full paths, or nullopt when cancelled.
  std::function<std::optional<std::vector<std::string>>()> pickFiles;
  // Called instead of asking the window system whether Shift is held.
  std::function<bool()> shiftHeld;
  // Called instead of starting a detached thread; returns false with an
  // error text to act as a failed thread creation.
  std::function<bool(std::function<void()> work, std::string& error)> startWorker;
  // Called instead of showing the About box.
  std::function<void()> aboutBox;
  // Called instead of reading the steady clock, in milliseconds.
  std::function<int64_t()> nowMs;
  // Called with the folder instead of opening it in the file manager.
  std::function<void(const std::string& folder)> openFolder;
};
