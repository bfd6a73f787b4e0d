// SPDX-License-Identifier: GPL-3.0-or-later
#include "frontend/FormExchange.h"

#include <string>

#include "frontend/ControlIds.h"
#include "frontend/FormNumber.h"

namespace {

// Puts the stored value back into the disabled field id, which the user
// cannot reach to mend a refused text.
void RestoreField(CFormView& view, int id, uint32_t value) { view.SetFieldText(id, std::to_string(value)); }

// Reads the unsigned number field id into value. Returns false after
// refusing it with the positive-integer message when the text is not one
// and the field is enabled; a disabled field's refused text is replaced by
// value, which stays, and true is returned.
bool ReadNumber(CFormView& view, int id, uint32_t& value) {
  if (ParseFormUnsigned(view.FieldText(id), value)) return true;
  if (!view.IsEnabled(id)) {
    RestoreField(view, id, value);
    return true;
  }
  view.RefuseField(id, kMsgPositiveInteger);
  return false;
}

// Returns whether number is a part number.
bool IsPartNumber(uint32_t number) { return number >= kMinPartNumber && number <= kMaxPartNumber; }

// Reads the part number field into value as ReadNumber does, then checks its
// range: a number outside it is stored and, when the field is enabled,
// refused with the range message (false is returned). A disabled field goes
// back to the value stored before, or to the default part number when that
// one is outside the range too, and true is returned.
bool ReadPartNumber(CFormView& view, uint32_t& value) {
  const uint32_t stored = value;
  if (!ReadNumber(view, kIdPartNumber, value)) return false;
  if (IsPartNumber(value)) return true;
  if (!view.IsEnabled(kIdPartNumber)) {
    value = IsPartNumber(stored) ? stored : kDefaultPartNumber;
    RestoreField(view, kIdPartNumber, value);
    return true;
  }
  view.RefuseField(kIdPartNumber, FormatRangeMessage(kMinPartNumber, kMaxPartNumber));
  return false;
}

}  // namespace

std::string FormatLimitMessage(uint32_t limit) {
  std::string message = kMsgNoMoreThan;
  const size_t at = message.find("%1");
  if (at != std::string::npos) message.replace(at, 2, std::to_string(limit));
  return message;
}

bool ReadForm(CFormView& view, CFormValues& values) {
  if (view.FieldText(kIdLog).size() > kLogTextLimit) {
    view.RefuseField(kIdLog, FormatLimitMessage(kLogTextLimit));
    return false;
  }
  if (!ReadNumber(view, kIdBufferSize, values.bufferSize)) return false;
  if (!ReadNumber(view, kIdReconnectLimit, values.reconnectLimit)) return false;
  values.source = view.FieldText(kIdSource);
  values.checkAfterCopy = view.IsChecked(kIdCheckAfterCopy);
  values.destination = view.FieldText(kIdDestination);
  if (!ReadNumber(view, kIdCheckCycles, values.checkCycles)) return false;
  if (!ReadNumber(view, kIdHeader, values.header)) return false;
  if (!ReadPartNumber(view, values.partNumber)) return false;
  if (!ReadNumber(view, kIdPartSize, values.partSize)) return false;
  values.copyByParts = view.IsChecked(kIdCopyByParts);
  values.reget = view.IsChecked(kIdReGet);
  values.passUnreadable = view.IsChecked(kIdPassUnreadable);
  return true;
}

void WriteForm(CFormView& view, const CFormValues& values) {
  view.SetFieldText(kIdBufferSize, std::to_string(values.bufferSize));
  view.SetFieldText(kIdReconnectLimit, std::to_string(values.reconnectLimit));
  view.SetFieldText(kIdSource, values.source);
  view.SetChecked(kIdCheckAfterCopy, values.checkAfterCopy);
  view.SetFieldText(kIdDestination, values.destination);
  view.SetFieldText(kIdCheckCycles, std::to_string(values.checkCycles));
  view.SetFieldText(kIdHeader, std::to_string(values.header));
  view.SetFieldText(kIdPartNumber, std::to_string(values.partNumber));
  view.SetFieldText(kIdPartSize, std::to_string(values.partSize));
  view.SetChecked(kIdCopyByParts, values.copyByParts);
  view.SetChecked(kIdReGet, values.reget);
  view.SetChecked(kIdPassUnreadable, values.passUnreadable);
}
