// Run-time lookup finds the label function of the shared labels library and
// answers NULL for names nothing exports.
#include <gtest/gtest.h>

#include "platform/dyld/MachOSymbols.h"
#include "platform/labels/Labels.h"

namespace {

typedef OSStatus (*CopyLabelColorAndNameProc)(UInt32, RGBColor*, CFStringRef*);

TEST(MachOSymbols, FindsTheLabelFunctionByItsMachOName) {
  ASSERT_TRUE(NSIsSymbolNameDefined("_CopyLabelColorAndName"));
  NSSymbol symbol = NSLookupAndBindSymbol("_CopyLabelColorAndName");
  ASSERT_NE(symbol, nullptr);
  auto proc = reinterpret_cast<CopyLabelColorAndNameProc>(NSAddressOfSymbol(symbol));
  ASSERT_NE(proc, nullptr);
  EXPECT_EQ(reinterpret_cast<void*>(proc), reinterpret_cast<void*>(&CopyLabelColorAndName));

  RGBColor color;
  CFStringRef name = nullptr;
  ASSERT_EQ(proc(2, &color, &name), noErr);
  EXPECT_TRUE(CFEqual(name, CFSTR("Green")));
  CFRelease(name);
}

TEST(MachOSymbols, UnknownNamesGiveNull) {
  const char* names[] = {"_TWNoSuchFunctionAnywhere", "TWNoSuchFunctionAnywhere", "_", "", nullptr};
  for (const char* name : names) {
    SCOPED_TRACE(name ? name : "(null)");
    EXPECT_FALSE(NSIsSymbolNameDefined(name));
    NSSymbol symbol = NSLookupAndBindSymbol(name);
    EXPECT_EQ(symbol, nullptr);
    EXPECT_EQ(NSAddressOfSymbol(symbol), nullptr);
  }
  // The C library's functions are found without the underscore too.
  EXPECT_NE(NSLookupAndBindSymbol("strlen"), nullptr);
  EXPECT_NE(NSLookupAndBindSymbol("_strlen"), nullptr);
}

}  // namespace
