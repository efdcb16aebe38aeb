// Descriptors, lists, records, Apple events, parameters and attributes.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/appleevents/AEDispatch.h"
#include "platform/appleevents/AppleEvents.h"
#include "platform/appleevents/tests/AETestSupport.h"

using aetest::Bytes;
using aetest::Data;
using aetest::Desc;

namespace {

constexpr Size kSentinelSize = 0x0DEADBEEF;
constexpr DescType kSentinelType = 0xDEADBEEF;

TEST(AEDesc, CreateCopiesBytesAndDisposeLeavesNull) {
  char text[] = "hello";
  Desc d;
  ASSERT_EQ(AECreateDesc(typeChar, text, 5, &d), noErr);
  text[0] = 'j';
  EXPECT_EQ(d.type(), typeChar);
  EXPECT_NE(d.d.dataHandle, nullptr);
  EXPECT_EQ(AEGetDescDataSize(&d), 5);
  EXPECT_EQ(Data(&d), Bytes("hello"));

  char small[3] = {'x', 'x', 'x'};
  ASSERT_EQ(AEGetDescData(&d, small, 2), noErr);
  EXPECT_EQ(std::string(small, 3), "hex");

  ASSERT_EQ(AEDisposeDesc(&d), noErr);
  EXPECT_EQ(d.type(), typeNull);
  EXPECT_EQ(d.d.dataHandle, nullptr);
  EXPECT_EQ(AEDisposeDesc(&d), noErr);  // twice is harmless
  EXPECT_EQ(AEGetDescDataSize(&d), 0);
}

TEST(AEDesc, NullTypeWithoutBytesIsTheNullDescriptor) {
  Desc d;
  ASSERT_EQ(AECreateDesc(typeNull, nullptr, 0, &d), noErr);
  EXPECT_EQ(d.type(), typeNull);
  EXPECT_EQ(d.d.dataHandle, nullptr);
  EXPECT_EQ(AECreateDesc(typeChar, nullptr, 4, &d), paramErr);
  EXPECT_EQ(AECreateDesc(typeChar, "x", -1, &d), paramErr);
}

TEST(AEDesc, DuplicateIsIndependentOfLaterChanges) {
  Desc list, copy;
  ASSERT_EQ(AECreateList(nullptr, 0, false, &list), noErr);
  SInt32 one = 1, two = 2;
  ASSERT_EQ(AEPutPtr(&list, 0, typeSInt32, &one, 4), noErr);
  ASSERT_EQ(AEDuplicateDesc(&list, &copy), noErr);
  ASSERT_EQ(AEPutPtr(&list, 0, typeSInt32, &two, 4), noErr);
  ASSERT_EQ(AEPutPtr(&copy, 1, typeSInt32, &two, 4), noErr);  // replaces item 1
  long count = 0;
  AECountItems(&list, &count);
  EXPECT_EQ(count, 2);
  AECountItems(&copy, &count);
  EXPECT_EQ(count, 1);
  SInt32 v = 0;
  ASSERT_EQ(AEGetNthPtr(&list, 1, typeSInt32, nullptr, nullptr, &v, 4, nullptr), noErr);
  EXPECT_EQ(v, 1);
  ASSERT_EQ(AEGetNthPtr(&copy, 1, typeSInt32, nullptr, nullptr, &v, 4, nullptr), noErr);
  EXPECT_EQ(v, 2);
}

TEST(AEDesc, ReplaceDescDataAndStructuredDataRoundTrip) {
  Desc d;
  ASSERT_EQ(AECreateDesc(typeChar, "abc", 3, &d), noErr);
  SInt16 s = 7;
  ASSERT_EQ(AEReplaceDescData(typeSInt16, &s, 2, &d), noErr);
  EXPECT_EQ(d.type(), typeSInt16);
  EXPECT_EQ(Data(&d), Bytes(s));

  // The data of a record is its flattened form; AECreateDesc takes it back.
  Desc rec, back;
  ASSERT_EQ(AEBuildDesc(&rec, nullptr, "obj {want:type(cfol), seld:\"x\"}"), noErr);
  std::vector<UInt8> bytes = Data(&rec);
  ASSERT_FALSE(bytes.empty());
  ASSERT_EQ(AECreateDesc(typeObjectSpecifier, bytes.data(), Size(bytes.size()), &back), noErr);
  EXPECT_TRUE(AECheckIsRecord(&back));
  EXPECT_TRUE(aetest::Equal(&rec, &back));

  Desc bad;
  EXPECT_EQ(AECreateDesc(typeAEList, "garbage!", 8, &bad), errAECorruptData);
  Desc empty;
  ASSERT_EQ(AECreateDesc(typeAERecord, nullptr, 0, &empty), noErr);
  EXPECT_TRUE(AECheckIsRecord(&empty));
}

TEST(AEList, IndexRulesAndErrors) {
  Desc list;
  ASSERT_EQ(AECreateList(nullptr, 0, false, &list), noErr);
  EXPECT_EQ(list.type(), typeAEList);
  EXPECT_FALSE(AECheckIsRecord(&list));
  SInt16 a = 10, b = 20, c = 30;
  EXPECT_EQ(AEPutPtr(&list, 0, typeSInt16, &a, 2), noErr);  // append
  EXPECT_EQ(AEPutPtr(&list, 2, typeSInt16, &b, 2), noErr);  // count + 1 appends too
  EXPECT_EQ(AEPutPtr(&list, 4, typeSInt16, &c, 2), errAEIllegalIndex);
  EXPECT_EQ(AEPutPtr(&list, -1, typeSInt16, &c, 2), errAEIllegalIndex);
  long count = 0;
  ASSERT_EQ(AECountItems(&list, &count), noErr);
  EXPECT_EQ(count, 2);

  AEKeyword key = kSentinelType;
  DescType type = kSentinelType;
  Size size = kSentinelSize;
  SInt32 v = 0;
  ASSERT_EQ(AEGetNthPtr(&list, 2, typeSInt32, &key, &type, &v, 4, &size), noErr);
  EXPECT_EQ(key, AEKeyword(typeWildCard));
  EXPECT_EQ(type, typeSInt32);
  EXPECT_EQ(size, 4);
  EXPECT_EQ(v, 20);
  EXPECT_EQ(AEGetNthPtr(&list, 0, typeWildCard, nullptr, nullptr, &v, 4, nullptr),
            errAEIllegalIndex);
  EXPECT_EQ(AEGetNthPtr(&list, 3, typeWildCard, nullptr, nullptr, &v, 4, nullptr),
            errAEIllegalIndex);

  ASSERT_EQ(AESizeOfNthItem(&list, 1, &type, &size), noErr);
  EXPECT_EQ(type, typeSInt16);
  EXPECT_EQ(size, 2);

  Desc item;
  ASSERT_EQ(AEGetNthDesc(&list, 1, typeWildCard, nullptr, &item), noErr);
  EXPECT_EQ(item.type(), typeSInt16);
  ASSERT_EQ(AEPutDesc(&list, 0, &item), noErr);
  ASSERT_EQ(AEDeleteItem(&list, 1), noErr);
  EXPECT_EQ(AEDeleteItem(&list, 5), errAEIllegalIndex);
  AECountItems(&list, &count);
  EXPECT_EQ(count, 2);
  ASSERT_EQ(AEGetNthPtr(&list, 1, typeSInt16, nullptr, nullptr, &v, 2, nullptr), noErr);
}

TEST(AEList, OperationsOnTheWrongKindOfDescriptor) {
  Desc text, rec;
  ASSERT_EQ(AECreateDesc(typeChar, "x", 1, &text), noErr);
  ASSERT_EQ(AECreateList(nullptr, 0, true, &rec), noErr);
  long count = -1;
  EXPECT_EQ(AECountItems(&text, &count), errAEWrongDataType);
  EXPECT_EQ(AEPutPtr(&text, 0, typeChar, "y", 1), errAEWrongDataType);
  EXPECT_EQ(AEPutPtr(&rec, 0, typeChar, "y", 1), errAEWrongDataType);
  EXPECT_EQ(AEPutKeyPtr(&text, 'abcd', typeChar, "y", 1), errAEWrongDataType);
  Desc list;
  ASSERT_EQ(AECreateList(nullptr, 0, false, &list), noErr);
  EXPECT_EQ(AEPutKeyPtr(&list, 'abcd', typeChar, "y", 1), errAEWrongDataType);
  Desc out;
  EXPECT_EQ(AEGetNthDesc(&text, 1, typeWildCard, nullptr, &out), errAEWrongDataType);
  EXPECT_EQ(out.type(), typeNull);
  EXPECT_EQ(AECountItems(nullptr, &count), paramErr);
}

TEST(AERecord, KeyedItems) {
  Desc rec;
  ASSERT_EQ(AECreateList(nullptr, 0, true, &rec), noErr);
  EXPECT_EQ(rec.type(), typeAERecord);
  EXPECT_TRUE(AECheckIsRecord(&rec));
  SInt16 v = 5;
  ASSERT_EQ(AEPutKeyPtr(&rec, 'frst', typeSInt16, &v, 2), noErr);
  ASSERT_EQ(AEPutKeyPtr(&rec, 'scnd', typeChar, "two", 3), noErr);
  v = 6;
  ASSERT_EQ(AEPutKeyPtr(&rec, 'frst', typeSInt16, &v, 2), noErr);  // replaces
  long count = 0;
  AECountItems(&rec, &count);
  EXPECT_EQ(count, 2);

  AEKeyword key = 0;
  Desc second;
  ASSERT_EQ(AEGetNthDesc(&rec, 2, typeWildCard, &key, &second), noErr);
  EXPECT_EQ(key, AEKeyword('scnd'));
  EXPECT_EQ(second.type(), typeChar);

  SInt32 wide = 0;
  DescType type = 0;
  Size size = 0;
  ASSERT_EQ(AEGetKeyPtr(&rec, 'frst', typeSInt32, &type, &wide, 4, &size), noErr);
  EXPECT_EQ(wide, 6);
  EXPECT_EQ(type, typeSInt32);
  ASSERT_EQ(AESizeOfKeyDesc(&rec, 'scnd', &type, &size), noErr);
  EXPECT_EQ(type, typeChar);
  EXPECT_EQ(size, 3);
  Desc absent;
  EXPECT_EQ(AEGetKeyDesc(&rec, 'none', typeWildCard, &absent), errAEDescNotFound);
  EXPECT_EQ(AEDeleteKeyDesc(&rec, 'none'), errAEDescNotFound);
  ASSERT_EQ(AEDeleteKeyDesc(&rec, 'frst'), noErr);
  AECountItems(&rec, &count);
  EXPECT_EQ(count, 1);
}

TEST(AEEvent, CreationCopiesTargetAndGeneratesReturnIDs) {
  Desc target, e1, e2;
  UInt32 psn[2] = {0, 2};
  ASSERT_EQ(AECreateDesc(typeProcessSerialNumber, psn, 8, &target), noErr);
  ASSERT_EQ(AECreateAppleEvent(kAECoreSuite, kAEGetData, &target, kAutoGenerateReturnID,
                               kAnyTransactionID, &e1),
            noErr);
  ASSERT_EQ(AECreateAppleEvent(kAECoreSuite, kAEGetData, &target, kAutoGenerateReturnID, 7, &e2),
            noErr);
  AEDisposeDesc(&target);
  EXPECT_EQ(e1.type(), typeAppleEvent);

  AEEventClass cls = 0;
  AEEventID id = 0;
  DescType type = 0;
  Size size = 0;
  ASSERT_EQ(AEGetAttributePtr(&e1, keyEventClassAttr, typeType, &type, &cls, 4, &size), noErr);
  ASSERT_EQ(AEGetAttributePtr(&e1, keyEventIDAttr, typeType, &type, &id, 4, &size), noErr);
  EXPECT_EQ(cls, AEEventClass(kAECoreSuite));
  EXPECT_EQ(id, AEEventID(kAEGetData));

  SInt16 r1 = 0, r2 = 0;
  ASSERT_EQ(AEGetAttributePtr(&e1, keyReturnIDAttr, typeSInt16, &type, &r1, 2, &size), noErr);
  ASSERT_EQ(AEGetAttributePtr(&e2, keyReturnIDAttr, typeSInt16, &type, &r2, 2, &size), noErr);
  EXPECT_NE(r1, 0);
  EXPECT_NE(r2, 0);
  EXPECT_NE(r1, r2);
  SInt32 tran = 0;
  ASSERT_EQ(AEGetAttributePtr(&e2, keyTransactionIDAttr, typeSInt32, &type, &tran, 4, &size),
            noErr);
  EXPECT_EQ(tran, 7);

  Desc addr;
  ASSERT_EQ(AEGetAttributeDesc(&e1, keyAddressAttr, typeWildCard, &addr), noErr);
  EXPECT_EQ(addr.type(), typeProcessSerialNumber);
  EXPECT_EQ(Data(&addr), Bytes(psn));

  // Changing class and ID through the attribute calls.
  AEEventClass quit = kAEQuitApplication;
  ASSERT_EQ(AEPutAttributePtr(&e1, keyEventIDAttr, typeType, &quit, 4), noErr);
  ASSERT_EQ(AEGetAttributePtr(&e1, keyEventIDAttr, typeType, &type, &id, 4, &size), noErr);
  EXPECT_EQ(id, AEEventID(kAEQuitApplication));
  EXPECT_EQ(AEGetAttributePtr(&e1, 'zzzz', typeWildCard, &type, nullptr, 0, &size),
            errAEDescNotFound);
  EXPECT_EQ(AEPutAttributePtr(&e1, keyMissedKeywordAttr, typeKeyword, &quit, 4),
            errAENotModifiable);
  Desc notEvent;
  AECreateList(nullptr, 0, true, &notEvent);
  EXPECT_EQ(AEGetAttributePtr(&notEvent, keyEventClassAttr, typeType, &type, &cls, 4, &size),
            errAENotAppleEvent);
}

TEST(AEEvent, ParametersAreCoercedCutAndReportFullSize) {
  Desc e;
  ASSERT_EQ(AECreateAppleEvent('test', 'evnt', nullptr, 0, 0, &e), noErr);
  ASSERT_EQ(AEPutParamPtr(&e, keyDirectObject, typeChar, "abcdef", 6), noErr);
  SInt16 n = 300;
  ASSERT_EQ(AEPutParamPtr(&e, 'numb', typeSInt16, &n, 2), noErr);

  char buf[4] = {};
  DescType type = kSentinelType;
  Size size = kSentinelSize;
  ASSERT_EQ(AEGetParamPtr(&e, keyDirectObject, typeChar, &type, buf, 3, &size), noErr);
  EXPECT_EQ(std::string(buf, 3), "abc");
  EXPECT_EQ(size, 6);
  EXPECT_EQ(type, typeChar);

  SInt32 wide = 0;
  ASSERT_EQ(AEGetParamPtr(&e, 'numb', typeSInt32, &type, &wide, 4, &size), noErr);
  EXPECT_EQ(wide, 300);
  UInt8 byte = 0;
  EXPECT_EQ(AEGetParamPtr(&e, 'numb', typeBoolean, &type, &byte, 1, &size), errAECoercionFail);
  EXPECT_EQ(AEGetParamPtr(&e, 'none', typeWildCard, &type, buf, 4, &size), errAEDescNotFound);

  Desc asList;
  ASSERT_EQ(AEGetParamDesc(&e, keyDirectObject, typeAEList, &asList), noErr);
  long count = 0;
  ASSERT_EQ(AECountItems(&asList, &count), noErr);
  EXPECT_EQ(count, 1);

  ASSERT_EQ(AESizeOfParam(&e, 'numb', &type, &size), noErr);
  EXPECT_EQ(type, typeSInt16);
  EXPECT_EQ(size, 2);
  ASSERT_EQ(AEDeleteParam(&e, 'numb'), noErr);
  EXPECT_EQ(AESizeOfParam(&e, 'numb', &type, &size), errAEDescNotFound);
}

// 'miss': -1701 once every parameter the sender did not mark optional was
// read, through any getter.
class MissedKeyword : public ::testing::TestWithParam<int> {};

TEST_P(MissedKeyword, EachGetterMarksAParameterRead) {
  Desc e;
  ASSERT_EQ(AECreateAppleEvent('test', 'evnt', nullptr, 0, 0, &e), noErr);
  SInt32 v = 1;
  ASSERT_EQ(AEPutParamPtr(&e, keyDirectObject, typeSInt32, &v, 4), noErr);
  ASSERT_EQ(AEPutParamPtr(&e, 'opti', typeSInt32, &v, 4), noErr);
  Desc optk;
  ASSERT_EQ(AECreateList(nullptr, 0, false, &optk), noErr);
  AEKeyword optional = 'opti';
  ASSERT_EQ(AEPutPtr(&optk, 0, typeKeyword, &optional, 4), noErr);
  ASSERT_EQ(AEPutAttributeDesc(&e, keyOptionalKeywordAttr, &optk), noErr);

  DescType type = kSentinelType;
  Size size = kSentinelSize;
  AEKeyword missed = 0;
  ASSERT_EQ(AEGetAttributePtr(&e, keyMissedKeywordAttr, typeWildCard, &type, &missed, 4, &size),
            noErr);
  EXPECT_EQ(type, typeKeyword);
  EXPECT_EQ(size, 4);
  EXPECT_EQ(missed, AEKeyword(keyDirectObject));
  // The form the agent uses: no buffer, size 0.
  EXPECT_EQ(AEGetAttributePtr(&e, keyMissedKeywordAttr, typeWildCard, &type, nullptr, 0, &size),
            noErr);

  Desc got;
  switch (GetParam()) {
    case 0:
      ASSERT_EQ(AEGetParamPtr(&e, keyDirectObject, typeSInt32, &type, &v, 4, &size), noErr);
      break;
    case 1:
      ASSERT_EQ(AEGetParamDesc(&e, keyDirectObject, typeWildCard, &got), noErr);
      break;
    case 2:
      ASSERT_EQ(AESizeOfParam(&e, keyDirectObject, &type, &size), noErr);
      break;
  }
  EXPECT_EQ(AEGetAttributePtr(&e, keyMissedKeywordAttr, typeWildCard, &type, nullptr, 0, &size),
            errAEDescNotFound);

  // Dispatch marks everything unread again.
  macplatform::ae::DispatchAppleEvent(&e, nullptr);
  EXPECT_EQ(AEGetAttributePtr(&e, keyMissedKeywordAttr, typeWildCard, &type, nullptr, 0, &size),
            noErr);
}

INSTANTIATE_TEST_SUITE_P(Getters, MissedKeyword, ::testing::Values(0, 1, 2));

TEST(AEEvent, ReceivedAttributesAndReplies) {
  Desc e, reply;
  ASSERT_EQ(AECreateAppleEvent(kCoreEventClass, kAEQuitApplication, nullptr, 42, 9, &e), noErr);
  UInt32 psn[2] = {0, 77};
  ASSERT_EQ(macplatform::ae::SetReceivedAttribute(&e, keyAddressAttr, typeProcessSerialNumber,
                                                  psn, 8),
            noErr);
  UInt32 got[2] = {};
  ASSERT_EQ(AEGetAttributePtr(&e, keyAddressAttr, typeProcessSerialNumber, nullptr, got, 8,
                              nullptr),
            noErr);
  EXPECT_EQ(got[1], 77u);
  SInt32 pid = 1;
  EXPECT_EQ(AEPutAttributePtr(&e, keySenderPIDAttr, typeSInt32, &pid, 4), errAENotModifiable);
  EXPECT_EQ(macplatform::ae::SetReceivedAttribute(&e, keySenderPIDAttr, typeSInt32, &pid, 4),
            noErr);

  ASSERT_EQ(macplatform::ae::CreateReplyFor(&e, &reply), noErr);
  AEEventID id = 0;
  SInt16 rtid = 0;
  SInt32 tran = 0;
  AEGetAttributePtr(&reply, keyEventIDAttr, typeType, nullptr, &id, 4, nullptr);
  AEGetAttributePtr(&reply, keyReturnIDAttr, typeSInt16, nullptr, &rtid, 2, nullptr);
  AEGetAttributePtr(&reply, keyTransactionIDAttr, typeSInt32, nullptr, &tran, 4, nullptr);
  EXPECT_EQ(id, AEEventID(kAEAnswer));
  EXPECT_EQ(rtid, 42);
  EXPECT_EQ(tran, 9);
  Desc addr;
  EXPECT_EQ(AEGetAttributeDesc(&reply, keyAddressAttr, typeWildCard, &addr), errAEDescNotFound);
}

TEST(AEEvent, DuplicatedEventKeepsItsOwnReadMarks) {
  Desc e, copy;
  ASSERT_EQ(AECreateAppleEvent('test', 'evnt', nullptr, 0, 0, &e), noErr);
  ASSERT_EQ(AEPutParamPtr(&e, keyDirectObject, typeChar, "x", 1), noErr);
  ASSERT_EQ(AEDuplicateDesc(&e, &copy), noErr);
  Size size = 0;
  ASSERT_EQ(AESizeOfParam(&copy, keyDirectObject, nullptr, &size), noErr);
  EXPECT_EQ(AEGetAttributePtr(&copy, keyMissedKeywordAttr, typeWildCard, nullptr, nullptr, 0,
                              nullptr),
            errAEDescNotFound);
  EXPECT_EQ(
      AEGetAttributePtr(&e, keyMissedKeywordAttr, typeWildCard, nullptr, nullptr, 0, nullptr),
      noErr);
}

}  // namespace
