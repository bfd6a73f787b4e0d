// SPDX-License-Identifier: GPL-3.0-or-later
// The form values the engine reads while a run goes on (destination, copy
// by parts, ReGet, header, part number, part size), kept apart from the
// window's own copy behind a small lock, so the worker always reads a whole
// value and never touches a widget. The window publishes them after every
// change of its form values.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "frontend/FormValues.h"

class CEngineFormValues {
public:
  // Takes the engine's values from values. Any thread; usually the window's.
  void Publish(const CFormValues& values);

  // Each returns the value last published (the defaults before the first).
  std::string Destination() const;
  bool CopyByParts() const;
  bool ReGet() const;
  uint32_t Header() const;
  uint32_t PartNumber() const;
  uint32_t PartSize() const;

private:
  mutable std::mutex m_lock;
  CFormValues m_values;
};
