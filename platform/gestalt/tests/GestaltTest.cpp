// Gestalt defaults and the selectors tests set or remove.
#include <gtest/gtest.h>

#include "platform/gestalt/Gestalt.h"

TEST(Gestalt, DefaultsDescribeA104SystemWithAppleEvents) {
  SInt32 value = 0;
  ASSERT_EQ(Gestalt(gestaltSystemVersion, &value), noErr);
  EXPECT_GE(value, 0x1040);
  ASSERT_EQ(Gestalt(gestaltFinderAttr, &value), noErr);
  EXPECT_TRUE(value & (1 << 2));
  EXPECT_TRUE(value & (1 << 3));
  ASSERT_EQ(Gestalt(gestaltAppleEventsAttr, &value), noErr);
  EXPECT_TRUE(value & 1);
}

TEST(Gestalt, UnknownSelectorAndNullResponse) {
  SInt32 value = 42;
  EXPECT_EQ(Gestalt('zzzz', &value), gestaltUndefSelectorErr);
  EXPECT_EQ(value, 42);
  EXPECT_EQ(Gestalt(gestaltSystemVersion, nullptr), paramErr);
}

TEST(Gestalt, TestsCanAddReplaceAndDeleteSelectors) {
  EXPECT_EQ(NewGestaltValue('tst1', 7), noErr);
  EXPECT_EQ(NewGestaltValue('tst1', 8), gestaltDupSelectorErr);
  SInt32 value = 0;
  EXPECT_EQ(Gestalt('tst1', &value), noErr);
  EXPECT_EQ(value, 7);
  EXPECT_EQ(ReplaceGestaltValue('tst1', 9), noErr);
  EXPECT_EQ(Gestalt('tst1', &value), noErr);
  EXPECT_EQ(value, 9);
  EXPECT_EQ(DeleteGestaltValue('tst1'), noErr);
  EXPECT_EQ(Gestalt('tst1', &value), gestaltUndefSelectorErr);
  EXPECT_EQ(ReplaceGestaltValue('tst1', 1), gestaltUndefSelectorErr);
  EXPECT_EQ(DeleteGestaltValue('tst1'), gestaltUndefSelectorErr);

  SInt32 old = 0;
  ASSERT_EQ(Gestalt(gestaltSystemVersion, &old), noErr);
  ASSERT_EQ(ReplaceGestaltValue(gestaltSystemVersion, 0x1029), noErr);
  EXPECT_EQ(Gestalt(gestaltSystemVersion, &value), noErr);
  EXPECT_EQ(value, 0x1029);
  ReplaceGestaltValue(gestaltSystemVersion, old);
}
