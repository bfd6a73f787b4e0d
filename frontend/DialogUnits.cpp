// SPDX-License-Identifier: GPL-3.0-or-later
#include "frontend/DialogUnits.h"

namespace {

// Returns value * numerator / denominator rounded to the nearest integer.
int MulDiv(int value, int numerator, int denominator) {
  const long long product = static_cast<long long>(value) * numerator;
  const long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

}  // namespace

int CDialogUnits::X(int dlu) const { return MulDiv(dlu, baseX, 4); }

int CDialogUnits::Y(int dlu) const { return MulDiv(dlu, baseY, 8); }

int AverageCharWidth(int alphabetWidth) { return (alphabetWidth / 26 + 1) / 2; }

int WidenBaseX(int baseX, int neededPixels, int dluWidth) {
  if (dluWidth <= 0) return baseX;
  // X(dluWidth) rounds, so the smallest base whose rounded width reaches
  // the need is searched upwards from the exact quotient's floor.
  int base = baseX;
  const int candidate = neededPixels * 4 / dluWidth;
  if (candidate > base) base = candidate;
  while (CDialogUnits{base, 0}.X(dluWidth) < neededPixels) ++base;
  return base < baseX ? baseX : base;
}
