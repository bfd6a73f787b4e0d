// SPDX-License-Identifier: GPL-3.0-or-later
#include "frontend/FormToggles.h"

#include <string>

#include "frontend/ControlIds.h"

namespace {

constexpr int kPartControls[] = {kIdReGet, kIdHeader, kIdPartNumber, kIdPartSize};

}  // namespace

void OnCopyByPartsToggle(CFormView& view, CFormValues& values) {
  values.copyByParts = view.IsChecked(kIdCopyByParts);
  for (int id : kPartControls) view.SetEnabled(id, values.copyByParts);
}

void OnCheckAfterCopyToggle(CFormView& view, CFormValues& values) {
  values.checkAfterCopy = view.IsChecked(kIdCheckAfterCopy);
  view.SetEnabled(kIdBufferSize, !values.checkAfterCopy);
  values.bufferSize = values.checkAfterCopy ? kCheckedBufferSize : kDefaultBufferSize;
  view.SetFieldText(kIdBufferSize, std::to_string(values.bufferSize));
}

void ApplyEnableRules(CFormView& view, const CFormValues& values) {
  for (int id : kPartControls) view.SetEnabled(id, values.copyByParts);
  view.SetEnabled(kIdBufferSize, !values.checkAfterCopy);
}
