// The wire form: round trips of nested descriptors and events, and hostile
// bytes (every truncation, corrupted headers, absurd counts, deep nesting).
#include <gtest/gtest.h>

#include <cstring>

#include "platform/appleevents/AppleEvents.h"
#include "platform/appleevents/tests/AETestSupport.h"

using aetest::Desc;
using aetest::Flat;

namespace {

void MakeEvent(AEDesc* e) {
  UInt32 psn[2] = {0, 5};
  AEDesc addr = {typeNull, nullptr};
  ASSERT_EQ(AECreateDesc(typeProcessSerialNumber, psn, 8, &addr), noErr);
  ASSERT_EQ(AECreateAppleEvent(kAECoreSuite, kAEGetData, &addr, 321, 654, e), noErr);
  AEDisposeDesc(&addr);
  ASSERT_EQ(AEBuildParameters(e, nullptr,
                              "'----':obj {want:type(prop), from:null(), form:prop, "
                              "seld:type(sele)}, rtyp:type(alis), "
                              "list:[1, \"two\", {a:[], b:'data'($0102$)}]"),
            noErr);
  AEDesc optk = {typeNull, nullptr};
  ASSERT_EQ(AEBuildDesc(&optk, nullptr, "['keyw'(rtyp)]"), noErr);
  ASSERT_EQ(AEPutAttributeDesc(e, keyOptionalKeywordAttr, &optk), noErr);
  AEDisposeDesc(&optk);
}

TEST(AEFlatten, RoundTripsOfNestedValuesAndEvents) {
  const char* formats[] = {
      "null()", "1", "\"text\"", "[]", "{}", "[[1, [2, [3]]], {x:{y:{z:[]}}}]",
      "obj {want:type(cfol), from:obj {want:type(prop)}, form:alis, seld:'alis'($00FF$)}",
      "'empt'()",
  };
  for (const char* f : formats) {
    SCOPED_TRACE(f);
    Desc d, back;
    ASSERT_EQ(AEBuildDesc(&d, nullptr, f), noErr);
    std::vector<UInt8> bytes = Flat(d.get());
    ASSERT_EQ(Size(bytes.size()), AESizeOfFlattenedDesc(d.get()));
    ASSERT_EQ(AEUnflattenDescFromBytes(bytes.data(), Size(bytes.size()), &back), noErr);
    EXPECT_EQ(Flat(back.get()), bytes);
    EXPECT_EQ(aetest::Print(back.get()), aetest::Print(d.get()));
  }

  Desc e, back, trusted;
  MakeEvent(&e);
  std::vector<UInt8> bytes = Flat(e.get());
  ASSERT_EQ(AEUnflattenDescFromBytes(bytes.data(), Size(bytes.size()), &back), noErr);
  EXPECT_EQ(Flat(back.get()), bytes);
  ASSERT_EQ(AEUnflattenDesc(bytes.data(), &trusted), noErr);
  EXPECT_EQ(Flat(trusted.get()), bytes);
  SInt16 rtid = 0;
  SInt32 tran = 0;
  UInt32 psn[2] = {};
  ASSERT_EQ(AEGetAttributePtr(&back, keyReturnIDAttr, typeSInt16, nullptr, &rtid, 2, nullptr),
            noErr);
  ASSERT_EQ(AEGetAttributePtr(&back, keyTransactionIDAttr, typeSInt32, nullptr, &tran, 4,
                              nullptr),
            noErr);
  ASSERT_EQ(AEGetAttributePtr(&back, keyAddressAttr, typeWildCard, nullptr, psn, 8, nullptr),
            noErr);
  EXPECT_EQ(rtid, 321);
  EXPECT_EQ(tran, 654);
  EXPECT_EQ(psn[1], 5u);
  // 'optk' travels: reading only the direct object and 'list' leaves nothing missed.
  Size size = 0;
  AESizeOfParam(&back, keyDirectObject, nullptr, &size);
  AESizeOfParam(&back, 'list', nullptr, &size);
  EXPECT_EQ(AEGetAttributePtr(&back, keyMissedKeywordAttr, typeWildCard, nullptr, nullptr, 0,
                              nullptr),
            errAEDescNotFound);
}

TEST(AEFlatten, BufferTooSmall) {
  Desc d;
  ASSERT_EQ(AEBuildDesc(&d, nullptr, "[1, 2]"), noErr);
  std::vector<char> buf(size_t(AESizeOfFlattenedDesc(d.get())) - 1);
  Size actual = 0;
  EXPECT_EQ(AEFlattenDesc(d.get(), buf.data(), Size(buf.size()), &actual), errAEBufferTooSmall);
  EXPECT_EQ(actual, Size(buf.size() + 1));
}

TEST(AEFlatten, EveryTruncationIsRefused) {
  Desc e;
  MakeEvent(&e);
  std::vector<UInt8> bytes = Flat(e.get());
  for (size_t n = 0; n < bytes.size(); ++n) {
    // A copy of exactly n bytes, so that ASan sees any read past them.
    std::vector<UInt8> cut(bytes.begin(), bytes.begin() + long(n));
    Desc out;
    EXPECT_NE(AEUnflattenDescFromBytes(cut.data(), Size(n), &out), noErr) << n;
    EXPECT_EQ(out.type(), typeNull);
  }
  // Trailing bytes are refused too.
  bytes.push_back(0);
  Desc out;
  EXPECT_EQ(AEUnflattenDescFromBytes(bytes.data(), Size(bytes.size()), &out), errAECorruptData);
}

TEST(AEFlatten, CorruptHeadersAndAbsurdSizes) {
  Desc d;
  ASSERT_EQ(AEBuildDesc(&d, nullptr, "[1, {a:\"b\"}]"), noErr);
  const std::vector<UInt8> good = Flat(d.get());
  // Every single byte flipped: either refused or a well-formed descriptor.
  for (size_t i = 0; i < good.size(); ++i) {
    for (UInt8 mask : {UInt8(0x01), UInt8(0x80), UInt8(0xFF)}) {
      std::vector<UInt8> bad = good;
      bad[i] ^= mask;
      Desc out;
      if (AEUnflattenDescFromBytes(bad.data(), Size(bad.size()), &out) == noErr) {
        EXPECT_EQ(Flat(out.get()), bad) << i;
      }
    }
  }
  // A list claiming four billion items in a few bytes.
  std::vector<UInt8> huge = good;
  huge[8 + 12] = huge[8 + 13] = huge[8 + 14] = huge[8 + 15] = 0xFF;
  Desc out;
  EXPECT_EQ(AEUnflattenDescFromBytes(huge.data(), Size(huge.size()), &out), errAECorruptData);
  // A newer version.
  std::vector<UInt8> newer = good;
  newer[5] = 2;
  EXPECT_EQ(AEUnflattenDescFromBytes(newer.data(), Size(newer.size()), &out), errAENewerVersion);
  EXPECT_EQ(AEUnflattenDescFromBytes("garbage", 7, &out), errAECorruptData);
  EXPECT_EQ(AEUnflattenDescFromBytes(nullptr, 0, &out), paramErr);
}

TEST(AEFlatten, DeepNestingIsRefusedWithoutRecursingFar) {
  // 10000 nested lists written by hand: each level is a list of one item.
  const int levels = 10000;
  std::vector<UInt8> bytes = {'A', 'E', 'f', 'l', 0, 1, 0, 0};
  auto be32 = [&](UInt32 v) {
    for (int s = 24; s >= 0; s -= 8) bytes.push_back(UInt8(v >> s));
  };
  for (int i = 0; i < levels; ++i) {
    size_t remaining = size_t(levels - i - 1);
    be32(typeAEList);
    bytes.push_back(2);
    bytes.push_back(0);
    bytes.push_back(0);
    bytes.push_back(0);
    be32(UInt32(4 + remaining * 20));
    be32(remaining ? 1 : 0);
    if (remaining) be32(0);
  }
  Desc out;
  EXPECT_EQ(AEUnflattenDescFromBytes(bytes.data(), Size(bytes.size()), &out), errAECorruptData);
}

}  // namespace
