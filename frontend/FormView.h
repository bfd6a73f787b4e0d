// SPDX-License-Identifier: GPL-3.0-or-later
// What the form exchange, the toggles and the run commands need of the
// window's controls, addressed by control id. The window implements it over
// its widgets; tests implement it over plain maps.
#pragma once

#include <string>
#include <string_view>

class CFormView {
public:
  virtual ~CFormView() = default;

  // Returns the whole text of the edit box id, UTF-8.
  virtual std::string FieldText(int id) const = 0;
  // Replaces the whole text of the edit box id.
  virtual void SetFieldText(int id, std::string_view text) = 0;

  // Returns whether the check box id is ticked.
  virtual bool IsChecked(int id) const = 0;
  // Ticks or clears the check box id.
  virtual void SetChecked(int id, bool checked) = 0;

  // Enables or disables the control id.
  virtual void SetEnabled(int id, bool enabled) = 0;
  // Returns whether the control id is enabled, so the user can reach it.
  virtual bool IsEnabled(int id) const = 0;

  // Shows message in a modal message box with a warning icon, then moves
  // the keyboard focus to the control id and selects its whole text.
  virtual void RefuseField(int id, const std::string& message) = 0;
};
