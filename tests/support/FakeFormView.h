// SPDX-License-Identifier: GPL-3.0-or-later
// A form view over plain maps for tests of the form exchange and the
// toggles: field texts, check marks, enable states and the refusals shown.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "frontend/FormView.h"

class CFakeFormView : public CFormView {
public:
  struct CRefusal {
    int id;
    std::string message;
  };

  std::string FieldText(int id) const override {
    const auto found = texts.find(id);
    return found == texts.end() ? std::string() : found->second;
  }
  void SetFieldText(int id, std::string_view text) override { texts[id] = std::string(text); }
  bool IsChecked(int id) const override {
    const auto found = checks.find(id);
    return found != checks.end() && found->second;
  }
  void SetChecked(int id, bool checked) override { checks[id] = checked; }
  void SetEnabled(int id, bool enabled) override { enabled_[id] = enabled; }
  void RefuseField(int id, const std::string& message) override { refusals.push_back({id, message}); }

  // Returns whether id is enabled; controls never switched count as enabled.
  bool IsEnabled(int id) const override {
    const auto found = enabled_.find(id);
    return found == enabled_.end() || found->second;
  }

  std::map<int, std::string> texts;
  std::map<int, bool> checks;
  std::vector<CRefusal> refusals;

private:
  std::map<int, bool> enabled_;
};
