#include "PassStall.h"

#include "FileServices.h"

CPassStall::CPassStall() : m_lastGrowth(TimeNow()) {}

bool CPassStall::GaveUp(bool grew, uint32_t limit) {
  const int64_t now = TimeNow();
  if (grew) {
    m_lastGrowth = now;
    return false;
  }
  return now - m_lastGrowth > static_cast<int64_t>(limit);
}
