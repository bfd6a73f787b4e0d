// SPDX-License-Identifier: GPL-3.0-or-later
// The dialog templates as data, and the conversion of dialog units.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "frontend/ControlIds.h"
#include "frontend/DialogAnchors.h"
#include "frontend/DialogTemplate.h"
#include "frontend/DialogUnits.h"

namespace {

TEST(DialogUnitsTest, ConvertsWithRounding) {
  const CDialogUnits units{6, 13};
  EXPECT_EQ(units.X(333), 500);  // 333 * 6 / 4 = 499.5
  EXPECT_EQ(units.Y(281), 457);  // 281 * 13 / 8 = 456.6
  EXPECT_EQ(units.X(0), 0);
  EXPECT_EQ(AverageCharWidth(312), 6);  // 52 letters of 6 pixels
}

TEST(DialogUnitsTest, WidenBaseXMakesATextFit) {
  EXPECT_EQ(WidenBaseX(6, 90, 68), 6);  // 68 units are 102 pixels: fits
  const int widened = WidenBaseX(6, 130, 68);
  EXPECT_GE((CDialogUnits{widened, 13}.X(68)), 130);
  EXPECT_LT((CDialogUnits{widened - 1, 13}.X(68)), 130);
}

TEST(DialogTemplateTest, MainTemplateHoldsEveryControlOnce) {
  std::set<int> ids;
  int statics = 0;
  for (const CControlTemplate& control : MainDialogTemplate()) {
    if (control.id == kIdNone) {
      ++statics;
      continue;
    }
    EXPECT_TRUE(ids.insert(control.id).second) << control.id;
    EXPECT_LE(control.x + control.width, kMainDialogWidth) << control.id;
    EXPECT_LE(control.y + control.height, kMainDialogHeight) << control.id;
  }
  EXPECT_EQ(ids,
            (std::set<int>{1,    2,    1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008, 1009, 1010, 1011,
                           1012, 1013, 1014, 1017, 1018, 1019, 1020, 1021, 1022, 1023, 1024, 1025, 1026}));
  EXPECT_EQ(statics, 10);  // eight static texts and two group boxes
}

TEST(DialogTemplateTest, DisabledInTheTemplate) {
  std::set<int> disabled;
  for (const CControlTemplate& control : MainDialogTemplate())
    if (control.disabled) disabled.insert(control.id);
  EXPECT_EQ(disabled,
            (std::set<int>{kIdPause, kIdSkipFile, kIdReGet, kIdHeader, kIdPartNumber, kIdPartSize}));
}

TEST(DialogTemplateTest, AboutBoxTexts) {
  const auto about = AboutDialogTemplate();
  ASSERT_EQ(about.size(), 5u);
  EXPECT_EQ(std::string(about[1].text), "Ferrox Version 1.0");
  EXPECT_EQ(std::string(about[3].text), "Licensed under the GNU GPL v3 or later");
  EXPECT_EQ(std::string(about[4].text), "OK");
  EXPECT_EQ(about[4].id, kIdStart);
}

TEST(DialogAnchorsTest, TheLogAndTheFieldsTakeTheRoomTheRestFollows) {
  auto anchorOf = [](int id) {
    for (const CControlTemplate& control : MainDialogTemplate())
      if (control.id == id) return MainDialogAnchor(control);
    return CControlAnchor{};
  };
  const CPixelRect place{10, 20, 100, 50};
  EXPECT_EQ(AnchoredPlace(place, anchorOf(kIdLog), 30, 40), (CPixelRect{10, 20, 130, 90}));
  EXPECT_EQ(AnchoredPlace(place, anchorOf(kIdSource), 30, 40), (CPixelRect{10, 20, 130, 50}));
  EXPECT_EQ(AnchoredPlace(place, anchorOf(kIdDestination), 30, 40), (CPixelRect{10, 20, 130, 50}));
  EXPECT_EQ(AnchoredPlace(place, anchorOf(kIdSourceDir), 30, 40), place);
  EXPECT_EQ(AnchoredPlace(place, anchorOf(kIdBufferSize), 30, 40), (CPixelRect{40, 20, 100, 50}));
  EXPECT_EQ(AnchoredPlace(place, anchorOf(kIdTotalBar), 30, 40), (CPixelRect{10, 60, 130, 50}));
  EXPECT_EQ(AnchoredPlace(place, anchorOf(kIdFileLabel), 30, 40), (CPixelRect{10, 60, 100, 50}));
  EXPECT_EQ(AnchoredPlace(place, anchorOf(kIdStart), 30, 40), (CPixelRect{10, 60, 100, 50}));
  EXPECT_EQ(AnchoredPlace(place, anchorOf(kIdExit), 30, 40), (CPixelRect{40, 60, 100, 50}));
  EXPECT_EQ(AnchoredPlace(place, anchorOf(kIdPartSize), 30, 40), (CPixelRect{10, 60, 100, 50}));
  // Smaller than the template, nothing moves.
  EXPECT_EQ(AnchoredPlace(place, anchorOf(kIdLog), -5, -5), place);
}

TEST(DialogTemplateTest, ProgressLabelsMeetTheirBarsAndTheBarsDoNotOverlap) {
  const auto controls = MainDialogTemplate();
  auto find = [&controls](int id) {
    for (const CControlTemplate& control : controls)
      if (control.id == id) return control;
    return CControlTemplate{};
  };
  for (auto [label, bar] : {std::pair{kIdFileLabel, kIdFileBar}, std::pair{kIdTotalLabel, kIdTotalBar}})
    EXPECT_LE(find(label).x + find(label).width, find(bar).x);
  EXPECT_LE(find(kIdFileBar).y + find(kIdFileBar).height, find(kIdTotalBar).y);
}

}  // namespace
