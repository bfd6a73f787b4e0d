// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ProgramIcon.h"

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256})
    icon.addFile(QStringLiteral(":/ferrox/icons/ferrox-%1.png").arg(size), QSize(size, size));
  return icon;
}
