// SPDX-License-Identifier: GPL-3.0-or-later
// The two check boxes that switch other controls: Copy by parts enables the
// part controls, Check after copy disables the buffer size and sets it.
// Each runs after its check box has toggled itself and touches no other
// field.
#pragma once

#include "frontend/FormValues.h"
#include "frontend/FormView.h"

// Reads "Copy by parts" alone into values and enables ReGet, header, part
// number and part size when it is ticked, disables them when it is clear.
void OnCopyByPartsToggle(CFormView& view, CFormValues& values);

// Reads "Check after copy" alone into values; when ticked, disables the
// buffer size and sets it to 10485760, when clear, enables it and sets it to
// 1048576, replacing what was there; writes the buffer size alone.
void OnCheckAfterCopyToggle(CFormView& view, CFormValues& values);

// Applies the enable rules of both check boxes to the values as they stand,
// without changing any value (for a form whose values were set from
// outside).
void ApplyEnableRules(CFormView& view, const CFormValues& values);
