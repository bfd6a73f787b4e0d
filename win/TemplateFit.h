// SPDX-License-Identifier: GPL-3.0-or-later
// Fitting a dialog made from a template to the font it got: where the
// system's dialog font is wider than the one the template was laid out in,
// a label would be cut or wrapped. The dialog is then widened as a whole.
#pragma once

#include "platform/windows/WindowsApi.h"

// Measures the text of every static text, button and check box of dialog in
// its own font; when one does not fit its control, widens every control,
// its place and the dialog by the smallest common factor at which all fit
// (WidenBaseX), so every proportion of the template is kept. Leaves the
// dialog as it is when every text fits.
void FitTemplateTexts(HWND dialog);
