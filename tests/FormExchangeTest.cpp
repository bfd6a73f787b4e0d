// SPDX-License-Identifier: GPL-3.0-or-later
// The form exchange: field order, the number rules, the three messages,
// stop at the first refusal and what is stored, disabled fields; the two
// toggles.
#include <gtest/gtest.h>

#include <string>

#include "frontend/ControlIds.h"
#include "frontend/FormExchange.h"
#include "frontend/FormNumber.h"
#include "frontend/FormToggles.h"
#include "tests/support/FakeFormView.h"

namespace {

class CFormExchangeTest : public ::testing::Test {
protected:
  CFormExchangeTest() { WriteForm(view, values); }

  // Sets the buffer size field to text, reads the form and returns the result.
  bool ReadWithBuffer(const std::string& text) {
    view.texts[kIdBufferSize] = text;
    return ReadForm(view, values);
  }

  CFakeFormView view;
  CFormValues values;
};

TEST_F(CFormExchangeTest, WritingShowsTheDefaults) {
  EXPECT_EQ(view.texts[kIdBufferSize], "1048576");
  EXPECT_EQ(view.texts[kIdReconnectLimit], "300");
  EXPECT_EQ(view.texts[kIdSource], "");
  EXPECT_EQ(view.texts[kIdDestination], "");
  EXPECT_EQ(view.texts[kIdCheckCycles], "1");
  EXPECT_EQ(view.texts[kIdHeader], "1024");
  EXPECT_EQ(view.texts[kIdPartNumber], "1");
  EXPECT_EQ(view.texts[kIdPartSize], "104857600");
  EXPECT_FALSE(view.checks[kIdCheckAfterCopy]);
  EXPECT_FALSE(view.checks[kIdCopyByParts]);
  EXPECT_FALSE(view.checks[kIdReGet]);
  EXPECT_FALSE(view.checks[kIdPassUnreadable]);
  EXPECT_FALSE(view.texts.contains(kIdLog));
  EXPECT_TRUE(view.refusals.empty());
}

TEST_F(CFormExchangeTest, ReadingStoresEveryField) {
  view.texts = {{kIdBufferSize, "4096"},  {kIdReconnectLimit, "60"}, {kIdSource, "\"/a b\""},
                {kIdDestination, "/dst"}, {kIdCheckCycles, "3"},     {kIdHeader, "512"},
                {kIdPartNumber, "7"},     {kIdPartSize, "1000"}};
  view.checks = {
      {kIdCheckAfterCopy, true}, {kIdCopyByParts, true}, {kIdReGet, true}, {kIdPassUnreadable, true}};
  ASSERT_TRUE(ReadForm(view, values));
  EXPECT_EQ(values.bufferSize, 4096u);
  EXPECT_EQ(values.reconnectLimit, 60u);
  EXPECT_EQ(values.source, "\"/a b\"");
  EXPECT_TRUE(values.checkAfterCopy);
  EXPECT_EQ(values.destination, "/dst");
  EXPECT_EQ(values.checkCycles, 3u);
  EXPECT_EQ(values.header, 512u);
  EXPECT_EQ(values.partNumber, 7u);
  EXPECT_EQ(values.partSize, 1000u);
  EXPECT_TRUE(values.copyByParts);
  EXPECT_TRUE(values.reget);
  EXPECT_TRUE(values.passUnreadable);
  // Written back, the box shows the value read.
  CFakeFormView shown;
  WriteForm(shown, values);
  EXPECT_TRUE(shown.checks[kIdPassUnreadable]);
}

TEST_F(CFormExchangeTest, NumberRules) {
  EXPECT_TRUE(ReadWithBuffer(" \t4096 \t"));
  EXPECT_EQ(values.bufferSize, 4096u);
  EXPECT_TRUE(ReadWithBuffer("0"));
  EXPECT_EQ(values.bufferSize, 0u);
  EXPECT_TRUE(ReadWithBuffer("+7"));
  EXPECT_EQ(values.bufferSize, 7u);
  EXPECT_TRUE(ReadWithBuffer("99999999999"));
  EXPECT_EQ(values.bufferSize, 4294967295u);
  ASSERT_TRUE(view.refusals.empty());
  for (const char* refused : {"-1", "", "12a", "0x10"}) {
    view.refusals.clear();
    EXPECT_FALSE(ReadWithBuffer(refused)) << refused;
    ASSERT_EQ(view.refusals.size(), 1u) << refused;
    EXPECT_EQ(view.refusals[0].id, kIdBufferSize);
    EXPECT_EQ(view.refusals[0].message, "Please enter a positive integer.");
    EXPECT_EQ(values.bufferSize, 4294967295u);
  }
}

TEST_F(CFormExchangeTest, RefusedReconnectLimitKeepsItAndEveryLaterField) {
  view.texts[kIdBufferSize] = "2048";
  view.texts[kIdReconnectLimit] = "soon";
  view.texts[kIdSource] = "/new";
  view.texts[kIdDestination] = "/dst";
  view.texts[kIdCheckCycles] = "5";
  view.checks[kIdCheckAfterCopy] = true;
  view.checks[kIdCopyByParts] = true;
  EXPECT_FALSE(ReadForm(view, values));
  ASSERT_EQ(view.refusals.size(), 1u);
  EXPECT_EQ(view.refusals[0].id, kIdReconnectLimit);
  EXPECT_EQ(values.bufferSize, 2048u);
  EXPECT_EQ(values.reconnectLimit, 300u);
  EXPECT_EQ(values.source, "");
  EXPECT_FALSE(values.checkAfterCopy);
  EXPECT_EQ(values.destination, "");
  EXPECT_EQ(values.checkCycles, 1u);
  EXPECT_FALSE(values.copyByParts);
}

TEST_F(CFormExchangeTest, PartNumberOutOfRangeIsStoredAndStopsTheReading) {
  for (const char* number : {"0", "65536"}) {
    view.refusals.clear();
    view.texts[kIdPartNumber] = number;
    view.texts[kIdPartSize] = "5";
    view.checks[kIdCopyByParts] = true;
    view.checks[kIdReGet] = true;
    EXPECT_FALSE(ReadForm(view, values));
    ASSERT_EQ(view.refusals.size(), 1u);
    EXPECT_EQ(view.refusals[0].id, kIdPartNumber);
    EXPECT_EQ(view.refusals[0].message, "Please enter an integer between 1 and 65535.");
    EXPECT_EQ(values.partNumber, std::stoul(number));
    EXPECT_EQ(values.partSize, 104857600u);
    EXPECT_FALSE(values.copyByParts);
    EXPECT_FALSE(values.reget);
  }
  view.refusals.clear();
  view.texts[kIdPartNumber] = "65535";
  EXPECT_TRUE(ReadForm(view, values));
  EXPECT_EQ(values.partNumber, 65535u);
}

TEST_F(CFormExchangeTest, LogTextOverItsLimitIsRefusedFirst) {
  view.texts[kIdLog] = std::string(32000, 'x');
  view.texts[kIdBufferSize] = "4096";
  EXPECT_TRUE(ReadForm(view, values));
  view.texts[kIdLog] += "y";
  view.texts[kIdBufferSize] = "8192";
  EXPECT_FALSE(ReadForm(view, values));
  ASSERT_EQ(view.refusals.size(), 1u);
  EXPECT_EQ(view.refusals[0].id, kIdLog);
  EXPECT_EQ(view.refusals[0].message, "Please enter no more than 32000 characters.");
  EXPECT_EQ(values.bufferSize, 4096u);
}

TEST_F(CFormExchangeTest, DisabledFieldWithARefusedTextGoesBackToItsValueAndReadingGoesOn) {
  values.header = 512;
  values.partNumber = 9;
  OnCopyByPartsToggle(view, values);  // clear: the part controls are disabled
  view.texts[kIdHeader] = "bad";
  view.texts[kIdPartNumber] = "0";
  view.texts[kIdPartSize] = "4096";
  view.texts[kIdDestination] = "/dst";
  ASSERT_TRUE(ReadForm(view, values));
  EXPECT_TRUE(view.refusals.empty());
  EXPECT_EQ(view.texts[kIdHeader], "512");
  EXPECT_EQ(values.header, 512u);
  EXPECT_EQ(view.texts[kIdPartNumber], "9");
  EXPECT_EQ(values.partNumber, 9u);
  EXPECT_EQ(values.partSize, 4096u);  // a valid disabled field is read
  EXPECT_EQ(values.destination, "/dst");
  // Check after copy disables the buffer size: its refused text goes back too.
  view.checks[kIdCheckAfterCopy] = true;
  OnCheckAfterCopyToggle(view, values);
  view.texts[kIdBufferSize] = "-1";
  EXPECT_TRUE(ReadForm(view, values));
  EXPECT_EQ(view.texts[kIdBufferSize], "10485760");
  EXPECT_TRUE(view.refusals.empty());
}

TEST_F(CFormExchangeTest, DisabledPartNumberStoredOutOfRangeGoesBackToTheDefault) {
  view.checks[kIdCopyByParts] = true;
  OnCopyByPartsToggle(view, values);
  view.texts[kIdPartNumber] = "70000";
  EXPECT_FALSE(ReadForm(view, values));  // enabled: refused, and stored
  EXPECT_EQ(values.partNumber, 70000u);
  view.checks[kIdCopyByParts] = false;
  OnCopyByPartsToggle(view, values);
  view.refusals.clear();
  EXPECT_TRUE(ReadForm(view, values));
  EXPECT_TRUE(view.refusals.empty());
  EXPECT_EQ(view.texts[kIdPartNumber], "1");
  EXPECT_EQ(values.partNumber, 1u);
}

TEST_F(CFormExchangeTest, CopyByPartsToggleSwitchesThePartControls) {
  view.checks[kIdCopyByParts] = true;
  view.texts[kIdBufferSize] = "77";
  OnCopyByPartsToggle(view, values);
  EXPECT_TRUE(values.copyByParts);
  for (int id : {kIdReGet, kIdHeader, kIdPartNumber, kIdPartSize}) EXPECT_TRUE(view.IsEnabled(id));
  EXPECT_EQ(values.bufferSize, 1048576u);  // no other field is read
  view.checks[kIdCopyByParts] = false;
  OnCopyByPartsToggle(view, values);
  EXPECT_FALSE(values.copyByParts);
  for (int id : {kIdReGet, kIdHeader, kIdPartNumber, kIdPartSize}) EXPECT_FALSE(view.IsEnabled(id));
}

TEST_F(CFormExchangeTest, CheckAfterCopyToggleSetsAndLocksTheBufferSize) {
  view.texts[kIdBufferSize] = "4096";
  view.checks[kIdCheckAfterCopy] = true;
  OnCheckAfterCopyToggle(view, values);
  EXPECT_FALSE(view.IsEnabled(kIdBufferSize));
  EXPECT_EQ(view.texts[kIdBufferSize], "10485760");
  EXPECT_EQ(values.bufferSize, 10485760u);
  view.texts[kIdBufferSize] = "4096";
  view.checks[kIdCheckAfterCopy] = false;
  OnCheckAfterCopyToggle(view, values);
  EXPECT_TRUE(view.IsEnabled(kIdBufferSize));
  EXPECT_EQ(view.texts[kIdBufferSize], "1048576");
  EXPECT_EQ(values.bufferSize, 1048576u);
}

}  // namespace
