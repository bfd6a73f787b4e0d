// SPDX-License-Identifier: GPL-3.0-or-later
// The form exchange in its two directions over one list of fields, in this
// order: the log box (its 32000-byte limit), buffer size, reconnect limit,
// source, check after copy, destination, check cycles, header, part number
// (then its range 1 to 65535), part size, copy by parts, ReGet.
#pragma once

#include <cstdint>

#include "frontend/FormValues.h"
#include "frontend/FormView.h"

// The log box's limit, in bytes.
inline constexpr uint32_t kLogTextLimit = 32000;

inline constexpr char kMsgNoMoreThan[] = "Please enter no more than %1 characters.";

// Returns the limit message with %1 replaced by limit.
std::string FormatLimitMessage(uint32_t limit);

// Reads the controls into values field by field, stopping at the first
// refusal of an enabled field: the refused field's message is shown through
// view.RefuseField (which also focuses the field) and false is returned. The
// fields before the refused one have been stored, a part number refused only
// by its range has been stored too, the refused field and all after it keep
// their values. A disabled field is never refused, as the user cannot reach
// it: a text it would be refused for is replaced by its stored value (by the
// default part number when the stored one is outside its range too) and
// reading goes on.
// Returns true when no field was refused. The log box's text is not a form
// value: the log channel holds it, so reading only checks its limit.
bool ReadForm(CFormView& view, CFormValues& values);

// Writes values into the controls: numbers in decimal ("%u"), check boxes
// ticked for true. Shows no message. The log box is left alone: it always
// shows the log channel's text.
void WriteForm(CFormView& view, const CFormValues& values);
