// The build language: round trips through AEPrintDescToHandle, arguments,
// the Finder toolkit's alias specifier, and malformed format strings.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/appleevents/AppleEvents.h"
#include "platform/appleevents/tests/AETestSupport.h"

using aetest::Bytes;
using aetest::Data;
using aetest::Desc;
using aetest::Print;

namespace {

struct RoundTrip {
  const char* format;
  DescType type;
  const char* printed;  // what AEPrintDescToHandle gives back
};

TEST(AEBuild, RoundTripsThroughPrinting) {
  const RoundTrip cases[] = {
      {"12", typeSInt16, "12"},
      {"-32768", typeSInt16, "-32768"},
      {"40000", typeSInt32, "40000"},
      {"-2147483648", typeSInt32, "-2147483648"},
      {"5000000000", typeSInt64, "'comp'(5000000000)"},
      {"'long'(3)", typeSInt32, "'long'(3)"},
      {"'magn'(4000000000)", typeUInt32, "'magn'(4000000000)"},
      {"'bool'(1)", typeBoolean, "'bool'(1)"},
      {"'true'()", typeTrue, "true()"},
      {"\"say \\\"hi\\\"\\n\"", typeChar, "\"say \\\"hi\\\"\\n\""},
      {"\xE2\x80\x9C" "curly \"quoted\"" "\xE2\x80\x9D", typeChar, "\"curly \\\"quoted\\\"\""},
      {"\"caf\\x8E\"", typeChar, "\"caf\\x8E\""},
      {"'utxt'(\"abc\")", typeUnicodeText, "utxt(\"abc\")"},
      {"'utf8'(\"\\x8E\")", typeUTF8Text, "utf8(\"\\x8E\")"},
      {"alis", typeEnumerated, "alis"},
      {"'ID  '", typeEnumerated, "ID"},
      {"'----'", typeEnumerated, "'----'"},
      {"'a\\'b\\x01'", typeEnumerated, "'a\\'b\\x01'"},
      {"type(cfol)", typeType, "type(cfol)"},
      {"enum('sele')", typeEnumerated, "sele"},
      {"'keyw'(from)", typeKeyword, "'keyw'(from)"},
      {"abso('all ')", typeAbsoluteOrdinal, "abso(all)"},
      {"abso(all)", typeAbsoluteOrdinal, "abso(all)"},
      {"null()", typeNull, "null()"},
      {"'null'()", typeNull, "null()"},
      {"'odd '(\xC2\xAB" "01 ab FF" "\xC2\xBB)", 'odd ', "odd(\xC2\xAB" "01ABFF" "\xC2\xBB)"},
      {"'odd '($01abff$)", 'odd ', "odd(\xC2\xAB" "01ABFF" "\xC2\xBB)"},
      {"'empt'()", 'empt', "empt()"},
      {"[]", typeAEList, "[]"},
      {"[1, \"two\", [thre]]", typeAEList, "[1, \"two\", [thre]]"},
      {"{}", typeAERecord, "{}"},
      {"{ '----' : 1 , rtyp:type(alis) }", typeAERecord, "{'----':1, rtyp:type(alis)}"},
      {"obj {want:type(prop), from:null(), form:prop, seld:type(sele)}", typeObjectSpecifier,
       "obj {want:type(prop), from:null(), form:prop, seld:type(sele)}"},
      {"'iimg'{'ICN#':'ICN#'($00$)}", 'iimg', "iimg {'ICN#':'ICN#'(\xC2\xAB" "00" "\xC2\xBB)}"},
      {"(7)", typeSInt16, "7"},
      {"'long'('shor'(9))", typeSInt32, "'long'(9)"},
  };
  for (const RoundTrip& c : cases) {
    SCOPED_TRACE(c.format);
    Desc built, again;
    AEBuildError error = {99, 99};
    ASSERT_EQ(AEBuildDesc(&built, &error, c.format), noErr);
    EXPECT_EQ(error.fError, UInt32(aeBuildSyntaxNoErr));
    EXPECT_EQ(built.type(), c.type);
    std::string printed = Print(&built);
    EXPECT_EQ(printed, c.printed);
    ASSERT_EQ(AEBuildDesc(&again, nullptr, printed.c_str()), noErr) << printed;
    EXPECT_TRUE(aetest::Equal(&built, &again)) << printed;
  }
}

TEST(AEBuild, PrintsEventsAndBinaryData) {
  Desc e;
  ASSERT_EQ(AECreateAppleEvent(kAECoreSuite, kAEGetData, nullptr, 1, 0, &e), noErr);
  ASSERT_EQ(AEBuildParameters(&e, nullptr, "'----':obj {want:type(prop)}, rtyp:type(alis)"),
            noErr);
  EXPECT_EQ(Print(&e), "core\\getd{'----':obj {want:type(prop)}, rtyp:type(alis)}");
  double d = 1.5;
  Desc dd;
  ASSERT_EQ(AECreateDesc(typeIEEE64BitFloatingPoint, &d, 8, &dd), noErr);
  std::string printed = Print(&dd);
  EXPECT_EQ(printed.rfind("doub(\xC2\xAB", 0), 0u) << printed;
  Desc back;
  ASSERT_EQ(AEBuildDesc(&back, nullptr, printed.c_str()), noErr);
  EXPECT_TRUE(aetest::Equal(&dd, &back));
}

TEST(AEBuild, ArgumentsFollowTheTypeRules) {
  Desc inner;
  ASSERT_EQ(AECreateDesc(typeChar, "desc", 4, &inner), noErr);
  const char bytes[] = {1, 2, 3};
  Handle h = nullptr;
  ASSERT_EQ(PtrToHand("handle!", &h, 7), noErr);
  Desc built;
  ASSERT_EQ(AEBuildDesc(&built, nullptr,
                        "{a:@, b:(@), c:type(@), d:enum(@), e:'TEXT'(@), f:'long'(@), "
                        "g:'shor'(@), h:'data'(@), i:'data'(@@), j:'utxt'((@))}",
                        inner.get(), inner.get(), FourCharCode('cfol'), FourCharCode('abso'),
                        "c string", -70000, -7, bytes, Size(3), h, inner.get()),
            noErr);
  DisposeHandle(h);
  auto key = [&](AEKeyword k) {
    Desc d;
    EXPECT_EQ(AEGetKeyDesc(&built, k, typeWildCard, &d), noErr);
    return std::make_pair(d.type(), Data(&d));
  };
  EXPECT_EQ(key('a   '), std::make_pair(DescType(typeChar), Bytes("desc")));
  EXPECT_EQ(key('b   '), std::make_pair(DescType(typeChar), Bytes("desc")));
  EXPECT_EQ(key('c   '), std::make_pair(DescType(typeType), Bytes(FourCharCode('cfol'))));
  EXPECT_EQ(key('d   '), std::make_pair(DescType(typeEnumerated), Bytes(FourCharCode('abso'))));
  EXPECT_EQ(key('e   '), std::make_pair(DescType(typeChar), Bytes("c string")));
  EXPECT_EQ(key('f   '), std::make_pair(DescType(typeSInt32), Bytes(SInt32(-70000))));
  EXPECT_EQ(key('g   '), std::make_pair(DescType(typeSInt16), Bytes(SInt16(-7))));
  EXPECT_EQ(key('h   '), std::make_pair(DescType('data'), std::vector<UInt8>{1, 2, 3}));
  EXPECT_EQ(key('i   '), std::make_pair(DescType('data'), Bytes("handle!")));
  EXPECT_EQ(key('j   ').first, DescType(typeUnicodeText));
}

// The Finder toolkit asks for the specifier of an alias with this string.
TEST(AEBuild, FinderAliasSpecifier) {
  Handle alias = nullptr;
  const char record[] = "\0\0\0\0\0\x10 alias bytes!";
  ASSERT_EQ(PtrToHand(record, &alias, 16), noErr);
  const char sign[] = "MACS";
  Desc event;
  AEBuildError error = {};
  ASSERT_EQ(AEBuildAppleEvent(kAECoreSuite, kAEGetData, typeApplSignature, sign, 4,
                              kAutoGenerateReturnID, kAnyTransactionID, &event, &error,
                              "'----':obj {form:alis,want:type(@),seld:'alis'(@@),from:null()}",
                              FourCharCode('cfol'), alias),
            noErr);
  Desc addr;
  ASSERT_EQ(AEGetAttributeDesc(&event, keyAddressAttr, typeWildCard, &addr), noErr);
  EXPECT_EQ(addr.type(), typeApplSignature);
  EXPECT_EQ(Data(&addr), Bytes("MACS"));
  long count = 0;
  ASSERT_EQ(AECountItems(&event, &count), noErr);
  EXPECT_EQ(count, 1);

  Desc obj, form, want, seld, from;
  ASSERT_EQ(AEGetParamDesc(&event, keyDirectObject, typeWildCard, &obj), noErr);
  EXPECT_EQ(obj.type(), typeObjectSpecifier);
  ASSERT_EQ(AEGetKeyDesc(&obj, keyAEKeyForm, typeWildCard, &form), noErr);
  EXPECT_EQ(form.type(), typeEnumerated);
  EXPECT_EQ(Data(&form), Bytes(FourCharCode(formAlias)));
  ASSERT_EQ(AEGetKeyDesc(&obj, keyAEDesiredClass, typeWildCard, &want), noErr);
  EXPECT_EQ(want.type(), typeType);
  EXPECT_EQ(Data(&want), Bytes(FourCharCode('cfol')));
  ASSERT_EQ(AEGetKeyDesc(&obj, keyAEKeyData, typeWildCard, &seld), noErr);
  EXPECT_EQ(seld.type(), typeAlias);
  EXPECT_EQ(Data(&seld), std::vector<UInt8>(record, record + 16));
  ASSERT_EQ(AEGetKeyDesc(&obj, keyAEContainer, typeWildCard, &from), noErr);
  EXPECT_EQ(from.type(), typeNull);
  EXPECT_EQ(from.d.dataHandle, nullptr);
  DisposeHandle(alias);
}

struct Malformed {
  const char* format;
  OSStatus status;
  AEBuildErrorCode kind;
  UInt32 pos;
};

TEST(AEBuild, MalformedFormatStrings) {
  const Malformed cases[] = {
      {"", errAEBuildSyntaxError, aeBuildSyntaxBadEOF, 0},
      {"  ", errAEBuildSyntaxError, aeBuildSyntaxBadEOF, 2},
      {"1 2", errAEBuildSyntaxError, aeBuildSyntaxNoEOF, 2},
      {"#", errAEBuildSyntaxError, aeBuildSyntaxBadToken, 0},
      {"- 1", errAEBuildSyntaxError, aeBuildSyntaxBadNegative, 0},
      {"99999999999999999999", errAEBuildSyntaxError, aeBuildSyntaxBadData, 0},
      {"12ab", errAEBuildSyntaxError, aeBuildSyntaxBadToken, 0},
      {"'abc", errAEBuildSyntaxError, aeBuildSyntaxMissingQuote, 0},
      {"'abcde'", errAEBuildSyntaxError, aeBuildSyntaxBadToken, 0},
      {"''", errAEBuildSyntaxError, aeBuildSyntaxBadToken, 0},
      {"toolong", errAEBuildSyntaxError, aeBuildSyntaxBadToken, 0},
      {"'data'(\xC2\xAB" "0g" "\xC2\xBB)", errAEBuildSyntaxError, aeBuildSyntaxBadHex, 10},
      {"'data'($012$)", errAEBuildSyntaxError, aeBuildSyntaxOddHex, 11},
      {"'data'($01", errAEBuildSyntaxError, aeBuildSyntaxNoCloseHex, 7},
      {"$01$", errAEBuildSyntaxError, aeBuildSyntaxUncoercedHex, 0},
      {"\"abc", errAEBuildSyntaxError, aeBuildSyntaxNoCloseString, 0},
      {"\xE2\x80\x9C" "abc", errAEBuildSyntaxError, aeBuildSyntaxNoCloseString, 0},
      {"\"a\\q\"", errAEBuildSyntaxError, aeBuildSyntaxBadToken, 2},
      {"'long'(1", errAEBuildSyntaxError, aeBuildSyntaxNoCloseParen, 8},
      {"[1, 2", errAEBuildSyntaxError, aeBuildSyntaxNoCloseBracket, 5},
      {"[1 2]", errAEBuildSyntaxError, aeBuildSyntaxNoCloseBracket, 3},
      {"{a:1", errAEBuildSyntaxError, aeBuildSyntaxNoCloseBrace, 4},
      {"{1:2}", errAEBuildSyntaxError, aeBuildSyntaxNoKey, 1},
      {"{abcd 1}", errAEBuildSyntaxError, aeBuildSyntaxNoColon, 6},
      {"'list'[1]", errAEBuildSyntaxError, aeBuildSyntaxCoercedList, 6},
      {"@@", errAEBuildSyntaxError, aeBuildSyntaxUncoercedDoubleAt, 0},
      {"[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[",
       errAEBuildSyntaxError, aeBuildSyntaxBadDesc, 65},
      {"'bool'(5)", errAECoercionFail, aeBuildSyntaxBadData, 7},
  };
  for (const Malformed& c : cases) {
    SCOPED_TRACE(c.format);
    Desc d;
    AEBuildError error = {0xDEAD, 0xBEEF};
    EXPECT_EQ(AEBuildDesc(&d, &error, c.format), c.status);
    EXPECT_EQ(error.fError, c.kind);
    EXPECT_EQ(error.fErrorPos, c.pos);
    EXPECT_EQ(d.type(), typeNull);
  }
}

TEST(AEBuild, ParametersAreAllOrNothing) {
  Desc e;
  ASSERT_EQ(AECreateAppleEvent('test', 'evnt', nullptr, 0, 0, &e), noErr);
  AEBuildError error = {};
  EXPECT_EQ(AEBuildParameters(&e, &error, "aaaa:1, bbbb:[2"), errAEBuildSyntaxError);
  EXPECT_EQ(error.fError, UInt32(aeBuildSyntaxNoCloseBracket));
  long count = -1;
  ASSERT_EQ(AECountItems(&e, &count), noErr);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(AEBuildParameters(&e, &error, "aaaa:1 bbbb:2"), errAEBuildSyntaxError);
  EXPECT_EQ(error.fError, UInt32(aeBuildSyntaxNoEOF));
  EXPECT_EQ(AEBuildParameters(&e, &error, "aaaa:1, bbbb:2"), noErr);
  ASSERT_EQ(AECountItems(&e, &count), noErr);
  EXPECT_EQ(count, 2);

  Desc list;
  AECreateList(nullptr, 0, false, &list);
  EXPECT_EQ(AEBuildParameters(&list, &error, "aaaa:1"), errAEWrongDataType);
}

}  // namespace
