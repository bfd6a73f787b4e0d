// SPDX-License-Identifier: GPL-3.0-or-later
// Conversion of dialog units into pixels: a horizontal dialog unit is a
// quarter of the dialog font's average character width, a vertical one an
// eighth of its height, so a template keeps its proportions at any font
// size and scale.
#pragma once

struct CDialogUnits {
  int baseX = 8;   // average character width of the dialog font, pixels
  int baseY = 16;  // height of the dialog font, pixels

  // Returns dlu horizontal dialog units in pixels, rounded to the nearest.
  int X(int dlu) const;
  // Returns dlu vertical dialog units in pixels, rounded to the nearest.
  int Y(int dlu) const;
};

// Returns the average character width from the width of the 52 letters
// "A".."Z" and "a".."z" written in one line, rounded to the nearest pixel.
int AverageCharWidth(int alphabetWidth);

// Returns baseX, or the smallest larger average width at which neededPixels
// fit into dluWidth horizontal dialog units, so a text wider in this font
// than in the template's still fits while every proportion is kept.
int WidenBaseX(int baseX, int neededPixels, int dluWidth);
