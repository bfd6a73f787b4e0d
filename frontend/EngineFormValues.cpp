// SPDX-License-Identifier: GPL-3.0-or-later
#include "frontend/EngineFormValues.h"

void CEngineFormValues::Publish(const CFormValues& values) {
  std::lock_guard lock(m_lock);
  m_values.destination = values.destination;
  m_values.copyByParts = values.copyByParts;
  m_values.reget = values.reget;
  m_values.header = values.header;
  m_values.partNumber = values.partNumber;
  m_values.partSize = values.partSize;
}

std::string CEngineFormValues::Destination() const {
  std::lock_guard lock(m_lock);
  return m_values.destination;
}

bool CEngineFormValues::CopyByParts() const {
  std::lock_guard lock(m_lock);
  return m_values.copyByParts;
}

bool CEngineFormValues::ReGet() const {
  std::lock_guard lock(m_lock);
  return m_values.reget;
}

uint32_t CEngineFormValues::Header() const {
  std::lock_guard lock(m_lock);
  return m_values.header;
}

uint32_t CEngineFormValues::PartNumber() const {
  std::lock_guard lock(m_lock);
  return m_values.partNumber;
}

uint32_t CEngineFormValues::PartSize() const {
  std::lock_guard lock(m_lock);
  return m_values.partSize;
}
