#include "FormExchange.h"

#include <string>

#include "ControlIds.h"
#include "FormNumber.h"

namespace {

// Reads the unsigned number field id into value; refuses it with the
// positive-integer message and returns false when the text is not one.
bool ReadNumber(CFormView& view, int id, uint32_t& value) {
  if (ParseFormUnsigned(view.FieldText(id), value)) return true;
  view.RefuseField(id, kMsgPositiveInteger);
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
  if (!ReadNumber(view, kIdPartNumber, values.partNumber)) return false;
  if (values.partNumber < kMinPartNumber || values.partNumber > kMaxPartNumber) {
    view.RefuseField(kIdPartNumber, FormatRangeMessage(kMinPartNumber, kMaxPartNumber));
    return false;
  }
  if (!ReadNumber(view, kIdPartSize, values.partSize)) return false;
  values.copyByParts = view.IsChecked(kIdCopyByParts);
  values.reget = view.IsChecked(kIdReGet);
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
}
