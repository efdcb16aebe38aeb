// The coercion table, as rows: from type and bytes, to type, expected
// result and bytes. Then lists and records, file references, and installed
// handlers.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "platform/appleevents/AppleEvents.h"
#include "platform/appleevents/tests/AETestSupport.h"
#include "platform/files/Files.h"
#include "testing/TestSupport.h"

using aetest::Bytes;
using aetest::Data;
using aetest::Desc;

namespace {

std::vector<UInt8> U16(std::u16string s) {
  const auto* p = reinterpret_cast<const UInt8*>(s.data());
  return std::vector<UInt8>(p, p + s.size() * 2);
}
std::vector<UInt8> Raw(std::string s) { return std::vector<UInt8>(s.begin(), s.end()); }

struct Case {
  const char* name;
  DescType from;
  std::vector<UInt8> data;
  DescType to;
  OSErr result;
  std::vector<UInt8> expected;  // checked when the result is noErr
};

std::vector<Case> Cases() {
  const SInt16 s1 = 1, s300 = 300, sNeg = -5;
  const SInt32 l1 = 1, l2 = 2, l300 = 300, lBig = 70000, lNeg = -5;
  const UInt32 mBig = 3000000000u;
  const SInt64 c5 = 5, cHuge = SInt64(1) << 40;
  const UInt32 typeMsng = 'msng', typeHigh = 0xA9000001u;
  const double d2 = 2.0, dHalf = 2.5;
  const UInt8 t = 1, f = 0;
  std::vector<UInt8> none;
  return {
      {"same type", typeChar, Raw("abc"), typeChar, noErr, Raw("abc")},
      {"wildcard", 'odd ', Raw("\x01\x02"), typeWildCard, noErr, Raw("\x01\x02")},
      {"shor to long", typeSInt16, Bytes(sNeg), typeSInt32, noErr, Bytes(lNeg)},
      {"long to shor", typeSInt32, Bytes(l300), typeSInt16, noErr, Bytes(s300)},
      {"long too big for shor", typeSInt32, Bytes(lBig), typeSInt16, errAECoercionFail, none},
      {"long to magn", typeSInt32, Bytes(l300), typeUInt32, noErr, Bytes(UInt32(300))},
      {"negative to magn", typeSInt32, Bytes(lNeg), typeUInt32, errAECoercionFail, none},
      {"magn too big for long", typeUInt32, Bytes(mBig), typeSInt32, errAECoercionFail, none},
      {"comp to shor", typeSInt64, Bytes(c5), typeSInt16, noErr, Bytes(SInt16(5))},
      {"comp too big for long", typeSInt64, Bytes(cHuge), typeSInt32, errAECoercionFail, none},
      {"long 1 to bool", typeSInt32, Bytes(l1), typeBoolean, noErr, Bytes(t)},
      {"long 2 to bool", typeSInt32, Bytes(l2), typeBoolean, errAECoercionFail, none},
      {"bool to shor", typeBoolean, Bytes(t), typeSInt16, noErr, Bytes(s1)},
      {"true to bool", typeTrue, none, typeBoolean, noErr, Bytes(t)},
      {"fals to bool", typeFalse, none, typeBoolean, noErr, Bytes(f)},
      {"bool to true", typeBoolean, Bytes(t), typeTrue, noErr, none},
      {"bool false to true", typeBoolean, Bytes(f), typeTrue, errAECoercionFail, none},
      {"type to long keeps the value", typeType, Bytes(typeMsng), typeSInt32, noErr,
       Bytes(SInt32(typeMsng))},
      {"type to long keeps high bits", typeType, Bytes(typeHigh), typeSInt32, noErr,
       Bytes(SInt32(typeHigh))},
      {"long to type", typeSInt32, Bytes(SInt32(typeMsng)), typeType, noErr, Bytes(typeMsng)},
      {"enum to type", typeEnumerated, Bytes(typeMsng), typeType, noErr, Bytes(typeMsng)},
      {"type to keyw", typeType, Bytes(typeMsng), typeKeyword, noErr, Bytes(typeMsng)},
      {"type too big for shor", typeType, Bytes(typeMsng), typeSInt16, errAECoercionFail, none},
      {"short type data", typeType, Raw("ab"), typeSInt32, errAECoercionFail, none},
      {"doub 2 to long", typeIEEE64BitFloatingPoint, Bytes(d2), typeSInt32, noErr, Bytes(l2)},
      {"doub 2.5 to long", typeIEEE64BitFloatingPoint, Bytes(dHalf), typeSInt32,
       errAECoercionFail, none},
      {"long to doub", typeSInt32, Bytes(l2), typeIEEE64BitFloatingPoint, noErr, Bytes(d2)},
      {"TEXT to utxt", typeChar, Raw("caf\x8E"), typeUnicodeText, noErr, U16(u"caf\u00E9")},
      {"utxt to TEXT", typeUnicodeText, U16(u"\u2122 \u00C4"), typeChar, noErr, Raw("\xAA \x80")},
      {"utxt outside Mac Roman", typeUnicodeText, U16(u"\u4E2D"), typeChar, errAECoercionFail,
       none},
      {"utxt surrogate pair to utf8", typeUnicodeText, U16(u"\U0001F600"), typeUTF8Text, noErr,
       Raw("\xF0\x9F\x98\x80")},
      {"utxt lone surrogate", typeUnicodeText, U16(u"\xD800"), typeUTF8Text, errAECoercionFail,
       none},
      {"utxt odd size", typeUnicodeText, Raw("abc"), typeChar, errAECoercionFail, none},
      {"TEXT to utf8", typeChar, Raw("\x8E"), typeUTF8Text, noErr, Raw("\xC3\xA9")},
      {"utf8 to TEXT", typeUTF8Text, Raw("\xC3\xA9t\xC3\xA9"), typeChar, noErr,
       Raw("\x8Et\x8E")},
      {"bad utf8", typeUTF8Text, Raw("\xC3"), typeChar, errAECoercionFail, none},
      {"overlong utf8", typeUTF8Text, Raw("\xC0\xAF"), typeUnicodeText, errAECoercionFail, none},
      {"pstr to TEXT", typePString, Raw("\x03" "abcZZ"), typeChar, noErr, Raw("abc")},
      {"pstr longer than its data", typePString, Raw("\x09" "abc"), typeChar, errAECoercionFail,
       none},
      {"TEXT is no pstr", typeChar, Raw("abc"), typePString, errAECoercionFail, none},
      {"TEXT to long is not in the table", typeChar, Raw("12"), typeSInt32, errAECoercionFail,
       none},
      {"alis of garbage", typeAlias, Raw("nonsense"), typeFSRef, errAECoercionFail, none},
      {"fsrf of wrong size", typeFSRef, Raw("short"), typeAlias, errAECoercionFail, none},
      {"unrelated types", 'abcd', Raw("x"), 'efgh', errAECoercionFail, none},
  };
}

TEST(AECoercion, Table) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    Desc out;
    OSErr err = AECoercePtr(c.from, c.data.data(), Size(c.data.size()), c.to, &out);
    EXPECT_EQ(err, c.result);
    if (err == noErr && c.result == noErr) {
      EXPECT_EQ(out.type(), c.to == typeWildCard ? c.from : c.to);
      EXPECT_EQ(Data(&out), c.expected);
    } else {
      EXPECT_EQ(out.type(), typeNull);
    }
  }
}

TEST(AECoercion, ListsAndRecords) {
  // A single descriptor becomes a one-item list.
  Desc obj, list;
  ASSERT_EQ(AEBuildDesc(&obj, nullptr, "obj {want:type(file)}"), noErr);
  ASSERT_EQ(AECoerceDesc(&obj, typeAEList, &list), noErr);
  long count = 0;
  ASSERT_EQ(AECountItems(&list, &count), noErr);
  EXPECT_EQ(count, 1);
  Desc item;
  ASSERT_EQ(AEGetNthDesc(&list, 1, typeWildCard, nullptr, &item), noErr);
  EXPECT_EQ(item.type(), typeObjectSpecifier);

  // A record becomes a list whose items keep their keywords, and back.
  Desc rec, keyed, again;
  ASSERT_EQ(AEBuildDesc(&rec, nullptr, "{'ICN#':\"a\", ics8:\"b\"}"), noErr);
  ASSERT_EQ(AECoerceDesc(&rec, typeAEList, &keyed), noErr);
  EXPECT_EQ(keyed.type(), typeAEList);
  AEKeyword key = 0;
  Desc second;
  ASSERT_EQ(AEGetNthDesc(&keyed, 2, typeWildCard, &key, &second), noErr);
  EXPECT_EQ(key, AEKeyword('ics8'));
  ASSERT_EQ(AECoerceDesc(&keyed, typeAERecord, &again), noErr);
  EXPECT_TRUE(aetest::Equal(&rec, &again));

  // A list without keywords is no record.
  Desc plain, notRec;
  ASSERT_EQ(AEBuildDesc(&plain, nullptr, "[1, 2]"), noErr);
  EXPECT_EQ(AECoerceDesc(&plain, typeAERecord, &notRec), errAECoercionFail);

  // A list of one item stands for the item.
  Desc one, asLong;
  ASSERT_EQ(AEBuildDesc(&one, nullptr, "[7]"), noErr);
  ASSERT_EQ(AECoerceDesc(&one, typeSInt32, &asLong), noErr);
  SInt32 v = 0;
  AEGetDescData(&asLong, &v, 4);
  EXPECT_EQ(v, 7);

  // 'obj ' and 'reco' both ways.
  Desc asReco, asObj;
  ASSERT_EQ(AECoerceDesc(&obj, typeAERecord, &asReco), noErr);
  EXPECT_EQ(asReco.type(), typeAERecord);
  ASSERT_EQ(AECoerceDesc(&asReco, typeObjectSpecifier, &asObj), noErr);
  EXPECT_TRUE(aetest::Equal(&obj, &asObj));
  Desc text, fail;
  ASSERT_EQ(AECreateDesc(typeChar, "x", 1, &text), noErr);
  EXPECT_EQ(AECoerceDesc(&text, typeObjectSpecifier, &fail), errAECoercionFail);
}

TEST(AECoercion, FileReferences) {
  tw::test::ScratchDir dir;
  std::string path = dir / "item.txt";
  tw::test::WriteFile(path, "data");
  FSRef ref;
  ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), &ref, nullptr), noErr);

  Desc fsrf, alis, back, fss, fromFss, url, fromUrl;
  ASSERT_EQ(AECreateDesc(typeFSRef, &ref, sizeof ref, &fsrf), noErr);
  ASSERT_EQ(AECoerceDesc(&fsrf, typeAlias, &alis), noErr);
  EXPECT_EQ(alis.type(), typeAlias);
  ASSERT_EQ(AECoerceDesc(&alis, typeFSRef, &back), noErr);
  ASSERT_EQ(AEGetDescDataSize(&back), Size(sizeof(FSRef)));
  FSRef resolved;
  AEGetDescData(&back, &resolved, sizeof resolved);
  char buf[1024];
  ASSERT_EQ(FSRefMakePath(&resolved, reinterpret_cast<UInt8*>(buf), sizeof buf), noErr);
  EXPECT_EQ(std::string(buf), path);

  ASSERT_EQ(AECoerceDesc(&fsrf, typeFSS, &fss), noErr);
  ASSERT_EQ(AECoerceDesc(&fss, typeFSRef, &fromFss), noErr);
  AEGetDescData(&fromFss, &resolved, sizeof resolved);
  ASSERT_EQ(FSRefMakePath(&resolved, reinterpret_cast<UInt8*>(buf), sizeof buf), noErr);
  EXPECT_EQ(std::string(buf), path);

  ASSERT_EQ(AECoerceDesc(&alis, typeFileURL, &url), noErr);
  std::vector<UInt8> urlBytes = Data(&url);
  EXPECT_EQ(std::string(urlBytes.begin(), urlBytes.end()), "file://" + path);
  ASSERT_EQ(AECoerceDesc(&url, typeAlias, &fromUrl), noErr);

  // An alias of an item that is gone no longer resolves.
  ASSERT_EQ(unlink(path.c_str()), 0);
  Desc gone;
  EXPECT_NE(AECoerceDesc(&alis, typeFSRef, &gone), noErr);
  EXPECT_EQ(gone.type(), typeNull);
}

OSErr WrapInText(const AEDesc* from, DescType toType, SInt32 refcon, AEDesc* result) {
  std::string s = "wrapped " + std::to_string(refcon);
  (void)from;
  return AECreateDesc(toType, s.data(), Size(s.size()), result);
}

OSErr PtrToCount(DescType, const void*, Size dataSize, DescType toType, SInt32, AEDesc* result) {
  SInt32 n = SInt32(dataSize);
  return AECreateDesc(toType, &n, 4, result);
}

TEST(AECoercion, InstalledHandlersAddAndReplacePairs) {
  Desc in, out;
  ASSERT_EQ(AECreateDesc('icnX', "abc", 3, &in), noErr);
  EXPECT_EQ(AECoerceDesc(&in, typeChar, &out), errAECoercionFail);
  ASSERT_EQ(AEInstallCoercionHandler('icnX', typeChar, WrapInText, 12, true, false), noErr);
  ASSERT_EQ(AECoerceDesc(&in, typeChar, &out), noErr);
  std::vector<UInt8> text = Data(&out);
  EXPECT_EQ(std::string(text.begin(), text.end()), "wrapped 12");
  AEDisposeDesc(&out);

  ASSERT_EQ(AEInstallCoercionHandler(
                'icnX', typeSInt32,
                reinterpret_cast<AECoercionHandlerUPP>(reinterpret_cast<void (*)()>(PtrToCount)),
                0, false, false),
            noErr);
  ASSERT_EQ(AECoercePtr('icnX', "abcd", 4, typeSInt32, &out), noErr);
  SInt32 n = 0;
  AEGetDescData(&out, &n, 4);
  EXPECT_EQ(n, 4);

  EXPECT_EQ(AERemoveCoercionHandler('icnX', typeChar, WrapInText, false), noErr);
  EXPECT_EQ(AERemoveCoercionHandler('icnX', typeChar, WrapInText, false), errAEHandlerNotFound);
  EXPECT_EQ(AERemoveCoercionHandler('icnX', typeSInt32, nullptr, false), noErr);
  Desc after;
  EXPECT_EQ(AECoerceDesc(&in, typeChar, &after), errAECoercionFail);
}

}  // namespace
