// The classic and the modern label tables.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/labels/Labels.h"

namespace {

TEST(Labels, ClassicNamesAndColours) {
  const char* names[] = {"None", "Essential", "Hot", "In Progress", "Cool", "Personal", "Project 1",
                         "Project 2"};
  for (SInt16 i = 0; i < 8; ++i) {
    SCOPED_TRACE(i);
    RGBColor color{1, 2, 3};
    Str255 name;
    ASSERT_EQ(GetLabel(i, &color, name), noErr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(name + 1), name[0]), names[i]);
    if (i == 0) {
      EXPECT_EQ(color.red | color.green | color.blue, 0);
    }
  }
  RGBColor hot;
  ASSERT_EQ(GetLabel(2, &hot, nullptr), noErr);
  EXPECT_GT(hot.red, 0x8000);  // red
  EXPECT_LT(hot.green, 0x2000);

  RGBColor untouched{7, 7, 7};
  Str255 name = {3, 'a', 'b', 'c'};
  EXPECT_EQ(GetLabel(8, &untouched, name), paramErr);
  EXPECT_EQ(GetLabel(-1, &untouched, name), paramErr);
  EXPECT_EQ(untouched.red, 7);
  EXPECT_EQ(name[0], 3);
}

TEST(Labels, ModernNamesAndColours) {
  const char* names[] = {"None", "Gray", "Green", "Purple", "Blue", "Yellow", "Red", "Orange"};
  for (UInt32 i = 0; i < 8; ++i) {
    SCOPED_TRACE(i);
    RGBColor color;
    CFStringRef name = nullptr;
    ASSERT_EQ(CopyLabelColorAndName(i, &color, &name), noErr);
    ASSERT_NE(name, nullptr);
    char text[32];
    ASSERT_TRUE(CFStringGetCString(name, text, sizeof text, kCFStringEncodingUTF8));
    EXPECT_STREQ(text, names[i]);
    EXPECT_EQ(CFGetRetainCount(name), 1);  // the caller's own reference
    CFRelease(name);
  }
  RGBColor red;
  ASSERT_EQ(CopyLabelColorAndName(6, &red, nullptr), noErr);
  EXPECT_GT(red.red, red.green);
  CFStringRef name = nullptr;
  EXPECT_EQ(CopyLabelColorAndName(8, nullptr, &name), paramErr);
  EXPECT_EQ(name, nullptr);
}

}  // namespace
