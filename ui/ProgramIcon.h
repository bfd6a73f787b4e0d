// SPDX-License-Identifier: GPL-3.0-or-later
// The program's own icon, from the images built into the program.
#pragma once

#include <QIcon>

// Returns the program's icon with its images from 16 to 256 pixels.
QIcon ProgramIcon();
