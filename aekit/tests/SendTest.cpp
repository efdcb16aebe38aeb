// Targets and sending, against a receiver in this process: events addressed
// to the own process are dispatched to the handler below, which answers as
// the current case asks.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "aekit/MoreAppleEvents.h"
#include "testing/ProgramEnvironment.h"
#include "testing/TestSupport.h"

namespace {

// The process list lives in a private runtime folder for this program.
[[maybe_unused]] ::testing::Environment* const gEnvironment =
    ::testing::AddGlobalTestEnvironment(new tw::test::ProgramEnvironment);

constexpr AEEventClass kTestClass = 'test';
constexpr AEEventID kTestID = 'send';

int gReceived = 0;
std::function<OSErr(AppleEvent* reply)> gAnswer;

OSErr TestHandler(const AppleEvent*, AppleEvent* reply, SInt32) {
  ++gReceived;
  return gAnswer ? gAnswer(reply) : OSErr(noErr);
}

Boolean Idle(EventRecord*, SInt32* sleep, RgnHandle* rgn) {
  return MoreAESimpleIdleFunction(nullptr, sleep, rgn);
}

class Send : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(AEInstallEventHandler(kTestClass, kTestID, TestHandler, 0, false), noErr);
    gReceived = 0;
    gAnswer = nullptr;
    MoreAENullDesc(&event_);
    ASSERT_EQ(MoreAECreateAppleEventSelfTarget(kTestClass, kTestID, &event_), noErr);
  }
  void TearDown() override {
    MoreAEDisposeDesc(&event_);
    gAnswer = nullptr;
  }
  AppleEvent event_;
};

OSErr PutText(AppleEvent* reply, const std::string& text) {
  return AEPutParamPtr(reply, keyDirectObject, typeChar, text.data(), Size(text.size()));
}

OSErr PutShort(AppleEvent* reply, SInt16 value) {
  return AEPutParamPtr(reply, keyDirectObject, typeSInt16, &value, sizeof(value));
}

}  // namespace

// ---------------------------------------------------------------------------
// Primitives and targets.

TEST(Primitives, DisposeLeavesNullAndIsHarmlessTwice) {
  AEDesc d;
  MoreAENullDesc(&d);
  ASSERT_EQ(AECreateDesc(typeChar, "abc", 3, &d), noErr);
  MoreAEDisposeDesc(&d);
  EXPECT_EQ(d.descriptorType, DescType(typeNull));
  EXPECT_EQ(d.dataHandle, nullptr);
  MoreAEDisposeDesc(&d);
  EXPECT_EQ(d.descriptorType, DescType(typeNull));
}

TEST(Primitives, SimpleIdleFunction) {
  SInt32 sleep = 0;
  RgnHandle rgn = reinterpret_cast<RgnHandle>(0x10);
  EventRecord event = {};
  event.what = 7;
  EXPECT_FALSE(MoreAESimpleIdleFunction(&event, &sleep, &rgn));
  EXPECT_EQ(sleep, 30);
  EXPECT_EQ(rgn, nullptr);
  EXPECT_EQ(event.what, 7);
}

TEST(Targets, NullSerialNumberIsTheCurrentProcess) {
  AEAddressDesc address;
  MoreAENullDesc(&address);
  ASSERT_EQ(MoreAECreateProcessTarget(nullptr, &address), noErr);
  EXPECT_EQ(address.descriptorType, DescType(typeProcessSerialNumber));
  ASSERT_EQ(AEGetDescDataSize(&address), 8);
  ProcessSerialNumber psn = {9, 9};
  AEGetDescData(&address, &psn, 8);
  EXPECT_EQ(psn.highLongOfPSN, 0u);
  EXPECT_EQ(psn.lowLongOfPSN, UInt32(kCurrentProcess));
  MoreAEDisposeDesc(&address);
}

TEST(Targets, EventsCarryClassIDAndAddress) {
  struct Row {
    const char* what;
    std::function<OSStatus(AppleEvent*)> make;
    DescType addressType;
    std::string addressBytes;
  };
  const ProcessSerialNumber psn = {0, 77};
  const OSType creator = 'ABCD';
  const ProcessSerialNumber self = {0, kCurrentProcess};
  const Row rows[] = {
      {"process", [&](AppleEvent* e) { return MoreAECreateAppleEventProcessTarget(&psn, 'clas', 'iden', e); },
       typeProcessSerialNumber, std::string(reinterpret_cast<const char*>(&psn), 8)},
      {"self", [&](AppleEvent* e) { return MoreAECreateAppleEventSelfTarget('clas', 'iden', e); },
       typeProcessSerialNumber, std::string(reinterpret_cast<const char*>(&self), 8)},
      {"creator", [&](AppleEvent* e) { return MoreAECreateAppleEventCreatorTarget('clas', 'iden', creator, e); },
       typeApplSignature, std::string(reinterpret_cast<const char*>(&creator), 4)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    AppleEvent event;
    MoreAENullDesc(&event);
    ASSERT_EQ(row.make(&event), noErr);
    DescType type;
    Size size;
    AEEventClass eventClass = 0;
    AEEventID eventID = 0;
    EXPECT_EQ(AEGetAttributePtr(&event, keyEventClassAttr, typeType, &type, &eventClass, 4, &size), noErr);
    EXPECT_EQ(AEGetAttributePtr(&event, keyEventIDAttr, typeType, &type, &eventID, 4, &size), noErr);
    EXPECT_EQ(eventClass, AEEventClass('clas'));
    EXPECT_EQ(eventID, AEEventID('iden'));
    AEDesc address;
    MoreAENullDesc(&address);
    ASSERT_EQ(AEGetAttributeDesc(&event, keyAddressAttr, typeWildCard, &address), noErr);
    EXPECT_EQ(address.descriptorType, row.addressType);
    std::string bytes(size_t(AEGetDescDataSize(&address)), '\0');
    AEGetDescData(&address, bytes.data(), Size(bytes.size()));
    EXPECT_EQ(bytes, row.addressBytes);
    SInt16 returnID = 0;
    EXPECT_EQ(AEGetAttributePtr(&event, keyReturnIDAttr, typeSInt16, &type, &returnID, 2, &size), noErr);
    EXPECT_NE(returnID, kAutoGenerateReturnID);  // generated
    MoreAEDisposeDesc(&address);
    MoreAEDisposeDesc(&event);
  }
}

TEST(Targets, NoProcessOfThatSignatureGivesProcNotFound) {
  AppleEvent event;
  event.descriptorType = 'sent';
  event.dataHandle = reinterpret_cast<AEDataStorage>(0x1);
  EXPECT_EQ(MoreAECreateAppleEventSignatureTarget('NONE', 'XXXX', 'clas', 'iden', &event),
            procNotFound);
  EXPECT_EQ(event.descriptorType, DescType('sent'));
  EXPECT_EQ(event.dataHandle, reinterpret_cast<AEDataStorage>(0x1));
}

TEST(Targets, SignatureFindsTheRunningProcess) {
  const MacProcessIdentity me = {"aekit test", 'TEST', 'AEKT', 0};
  ASSERT_EQ(MacProcessTakeIdentity(&me), noErr);
  ProcessSerialNumber current;
  ASSERT_EQ(GetCurrentProcess(&current), noErr);
  AppleEvent event;
  MoreAENullDesc(&event);
  ASSERT_EQ(MoreAECreateAppleEventSignatureTarget('TEST', 'AEKT', 'clas', 'iden', &event), noErr);
  AEDesc address;
  MoreAENullDesc(&address);
  ASSERT_EQ(AEGetAttributeDesc(&event, keyAddressAttr, typeWildCard, &address), noErr);
  ProcessSerialNumber psn = {};
  AEGetDescData(&address, &psn, 8);
  EXPECT_EQ(psn.lowLongOfPSN, current.lowLongOfPSN);
  MoreAEDisposeDesc(&address);
  MoreAEDisposeDesc(&event);
}

// ---------------------------------------------------------------------------
// Reading the handler error.

TEST(HandlerError, Table) {
  struct Row {
    const char* what;
    std::function<void(AppleEvent*)> fill;
    bool expectNonzero;
    OSStatus exact;  // checked when nonzero is not enough
  };
  const Row rows[] = {
      {"no errn", [](AppleEvent*) {}, false, 0},
      {"errn -43", [](AppleEvent* r) { SInt16 e = -43; AEPutParamPtr(r, keyErrorNumber, typeSInt16, &e, 2); }, true, -43},
      {"errn as long", [](AppleEvent* r) { SInt32 e = -1728; AEPutParamPtr(r, keyErrorNumber, typeSInt32, &e, 4); }, true, -1728},
      {"errn unreadable", [](AppleEvent* r) { AEPutParamPtr(r, keyErrorNumber, typeChar, "oops", 4); }, true, 0},
      {"errn is a list", [](AppleEvent* r) {
         AEDescList l; MoreAENullDesc(&l); AECreateList(nullptr, 0, false, &l);
         AEPutParamDesc(r, keyErrorNumber, &l); MoreAEDisposeDesc(&l); }, true, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    AppleEvent reply;
    MoreAENullDesc(&reply);
    ASSERT_EQ(AECreateAppleEvent(kCoreEventClass, kAEAnswer, nullptr, kAutoGenerateReturnID,
                                 kAnyTransactionID, &reply), noErr);
    row.fill(&reply);
    const OSStatus err = MoreAEGetHandlerError(&reply);
    if (row.expectNonzero) {
      EXPECT_NE(err, noErr);
      if (row.exact != 0) {
        EXPECT_EQ(err, row.exact);
      }
    } else {
      EXPECT_EQ(err, noErr);
    }
    MoreAEDisposeDesc(&reply);
  }
  AEDesc null;
  MoreAENullDesc(&null);
  EXPECT_EQ(MoreAEGetHandlerError(&null), noErr);
}

// ---------------------------------------------------------------------------
// The send functions against the in-process receiver. Each case answers in
// one way; every value-fetching function is run against it.

namespace {

enum class Fetch { Desc, List, Data, SInt16, PString };

struct Outcome {
  OSStatus result;
  bool touched;  // the caller's output was written
};

Outcome RunFetch(Fetch fetch, const AppleEvent* event) {
  AEIdleUPP idle = NewAEIdleUPP(Idle);
  switch (fetch) {
    case Fetch::Desc:
    case Fetch::List: {
      AEDesc out;
      out.descriptorType = 'sent';
      out.dataHandle = nullptr;
      OSStatus err = fetch == Fetch::Desc ? MoreAESendEventReturnAEDesc(idle, event, typeWildCard, &out)
                                          : MoreAESendEventReturnAEDescList(idle, event, &out);
      const bool touched = out.descriptorType != DescType('sent');
      if (touched) MoreAEDisposeDesc(&out);
      return {err, touched};
    }
    case Fetch::Data: {
      char buffer[8];
      std::memset(buffer, 'S', sizeof(buffer));
      DescType type = 'sent';
      Size size = -7;
      OSStatus err = MoreAESendEventReturnData(idle, event, typeChar, &type, buffer, sizeof(buffer), &size);
      return {err, buffer[0] != 'S' || size != -7};
    }
    case Fetch::SInt16: {
      SInt16 v = 0x5353;
      OSStatus err = MoreAESendEventReturnSInt16(idle, event, &v);
      return {err, v != 0x5353};
    }
    case Fetch::PString: {
      Str255 s;
      std::memset(s, 'S', sizeof(s));
      OSStatus err = MoreAESendEventReturnPString(idle, event, s);
      return {err, s[0] != 'S' || s[1] != 'S'};
    }
  }
  return {paramErr, false};
}

const Fetch kAllFetches[] = {Fetch::Desc, Fetch::List, Fetch::Data, Fetch::SInt16, Fetch::PString};

}  // namespace

TEST_F(Send, HandlerErrorWinsOverTheValue) {
  gAnswer = [](AppleEvent* reply) {
    PutShort(reply, 5);
    return OSErr(-5000);
  };
  for (Fetch f : kAllFetches) {
    SCOPED_TRACE(int(f));
    gReceived = 0;
    Outcome o = RunFetch(f, &event_);
    EXPECT_EQ(o.result, -5000);
    EXPECT_FALSE(o.touched);
    EXPECT_EQ(gReceived, 1);  // a handler error is no coercion failure: one send
  }
  gAnswer = [](AppleEvent*) { return OSErr(-5000); };
  EXPECT_EQ(MoreAESendEventNoReturnValue(NewAEIdleUPP(Idle), &event_), -5000);
}

TEST_F(Send, MissingDirectObjectIsDescNotFound) {
  gAnswer = [](AppleEvent*) { return OSErr(noErr); };
  for (Fetch f : kAllFetches) {
    SCOPED_TRACE(int(f));
    Outcome o = RunFetch(f, &event_);
    EXPECT_EQ(o.result, errAEDescNotFound);
  }
  EXPECT_EQ(MoreAESendEventNoReturnValue(NewAEIdleUPP(Idle), &event_), noErr);
}

// A handler that disposes of its reply sends back the null descriptor: no
// handler error, no value, outputs untouched, result 0.
TEST_F(Send, NullReplyLeavesOutputsUntouched) {
  gAnswer = [](AppleEvent* reply) {
    AEDisposeDesc(reply);
    return OSErr(noErr);
  };
  for (Fetch f : kAllFetches) {
    SCOPED_TRACE(int(f));
    Outcome o = RunFetch(f, &event_);
    EXPECT_EQ(o.result, noErr);
    EXPECT_FALSE(o.touched);
  }
}

TEST_F(Send, ValuesArriveCoerced) {
  gAnswer = [](AppleEvent* reply) { return PutShort(reply, -12); };
  SInt16 v = 0;
  EXPECT_EQ(MoreAESendEventReturnSInt16(NewAEIdleUPP(Idle), &event_, &v), noErr);
  EXPECT_EQ(v, -12);

  AEDesc out;
  MoreAENullDesc(&out);
  EXPECT_EQ(MoreAESendEventReturnAEDesc(NewAEIdleUPP(Idle), &event_, typeSInt32, &out), noErr);
  EXPECT_EQ(out.descriptorType, DescType(typeSInt32));
  MoreAEDisposeDesc(&out);

  gAnswer = [](AppleEvent* reply) { return PutText(reply, "hello"); };
  DescType type = 0;
  char buffer[3] = {};
  Size size = 0;
  EXPECT_EQ(MoreAESendEventReturnData(NewAEIdleUPP(Idle), &event_, typeChar, &type, buffer, 3, &size), noErr);
  EXPECT_EQ(type, DescType(typeChar));
  EXPECT_EQ(size, 5);  // the full size; the copy is cut to the buffer
  EXPECT_EQ(std::string(buffer, 3), "hel");
}

TEST_F(Send, ListFetchWaitsEvenWithoutIdleProcedure) {
  gAnswer = [](AppleEvent* reply) {
    AEDescList list;
    MoreAENullDesc(&list);
    AECreateList(nullptr, 0, false, &list);
    SInt32 one = 1;
    AEPutPtr(&list, 0, typeSInt32, &one, 4);
    OSErr err = AEPutParamDesc(reply, keyDirectObject, &list);
    MoreAEDisposeDesc(&list);
    return err;
  };
  AEDescList out;
  MoreAENullDesc(&out);
  ASSERT_EQ(MoreAESendEventReturnAEDescList(nullptr, &event_, &out), noErr);
  long count = 0;
  EXPECT_EQ(AECountItems(&out, &count), noErr);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(gReceived, 1);
  MoreAEDisposeDesc(&out);
}

// A single value where a list is asked for arrives as a list of one.
TEST_F(Send, SingleValueCoercedToList) {
  gAnswer = [](AppleEvent* reply) { return PutText(reply, "one"); };
  AEDescList out;
  MoreAENullDesc(&out);
  ASSERT_EQ(MoreAESendEventReturnAEDescList(NewAEIdleUPP(Idle), &event_, &out), noErr);
  EXPECT_EQ(out.descriptorType, DescType(typeAEList));
  long count = 0;
  EXPECT_EQ(AECountItems(&out, &count), noErr);
  EXPECT_EQ(count, 1);
  MoreAEDisposeDesc(&out);
}

TEST_F(Send, NullIdleProcedureRefusedBeforeSending) {
  SInt16 v = 3;
  Str255 s = {1, 'x'};
  AEDesc d;
  MoreAENullDesc(&d);
  char buffer[4];
  DescType type;
  Size size;
  EXPECT_EQ(MoreAESendEventReturnAEDesc(nullptr, &event_, typeChar, &d), paramErr);
  EXPECT_EQ(MoreAESendEventReturnData(nullptr, &event_, typeChar, &type, buffer, 4, &size), paramErr);
  EXPECT_EQ(MoreAESendEventReturnSInt16(nullptr, &event_, &v), paramErr);
  EXPECT_EQ(MoreAESendEventReturnPString(nullptr, &event_, s), paramErr);
  EXPECT_EQ(gReceived, 0);
  EXPECT_EQ(v, 3);
  EXPECT_EQ(s[0], 1);
}

// Without an idle procedure the event goes with kAENoReply: the handler's
// error is never read, and the result is the delivery's.
TEST_F(Send, NoReturnValueWithoutIdleDoesNotWait) {
  gAnswer = [](AppleEvent*) { return OSErr(-1728); };
  EXPECT_EQ(MoreAESendEventNoReturnValue(nullptr, &event_), noErr);
  EXPECT_TRUE(tw::test::WaitFor([] { return gReceived == 1; }));
}

TEST_F(Send, FailedSendReturnsItsResult) {
  const ProcessSerialNumber gone = {0, 0x7FFFFFF0};
  AppleEvent event;
  MoreAENullDesc(&event);
  ASSERT_EQ(MoreAECreateAppleEventProcessTarget(&gone, kTestClass, kTestID, &event), noErr);
  const OSStatus expected = procNotFound;
  for (Fetch f : kAllFetches) {
    SCOPED_TRACE(int(f));
    Outcome o = RunFetch(f, &event);
    EXPECT_EQ(o.result, expected);
    EXPECT_FALSE(o.touched);
  }
  EXPECT_EQ(MoreAESendEventNoReturnValue(NewAEIdleUPP(Idle), &event), expected);
  EXPECT_EQ(MoreAESendEventNoReturnValue(nullptr, &event), expected);
  EXPECT_EQ(gReceived, 0);
  MoreAEDisposeDesc(&event);
}

// ---------------------------------------------------------------------------
// Pascal strings: 'pstr' first, plain text on a second send.

TEST_F(Send, PStringTable) {
  struct Row {
    const char* what;
    std::function<OSErr(AppleEvent*)> answer;
    OSStatus result;
    int sends;
    int lengthByte;  // -1: untouched
    size_t textBytes;
  };
  const std::string t255(255, 'a'), t256(256, 'b');
  const Row rows[] = {
      {"pstr value", [](AppleEvent* r) {
         const unsigned char p[] = {3, 'a', 'b', 'c'};
         return AEPutParamPtr(r, keyDirectObject, typePString, p, 4); }, noErr, 1, 3, 3},
      {"short text", [](AppleEvent* r) { return PutText(r, "abc"); }, noErr, -1, 3, 3},
      {"255 bytes", [&](AppleEvent* r) { return PutText(r, t255); }, noErr, 2, 255, 255},
      {"256 bytes", [&](AppleEvent* r) { return PutText(r, t256); }, errAECoercionFail, 2, -1, 255},
      {"a list", [](AppleEvent* r) {
         AEDescList l; MoreAENullDesc(&l); AECreateList(nullptr, 0, false, &l);
         SInt32 v = 1; AEPutPtr(&l, 0, typeSInt32, &v, 4); AEPutPtr(&l, 0, typeSInt32, &v, 4);
         OSErr e = AEPutParamDesc(r, keyDirectObject, &l); MoreAEDisposeDesc(&l); return e; },
       errAECoercionFail, 2, -1, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    gReceived = 0;
    gAnswer = row.answer;
    Str255 s;
    std::memset(s, 'S', sizeof(s));
    EXPECT_EQ(MoreAESendEventReturnPString(NewAEIdleUPP(Idle), &event_, s), row.result);
    if (row.sends > 0) {
      EXPECT_EQ(gReceived, row.sends);
    }
    if (row.lengthByte >= 0) {
      EXPECT_EQ(s[0], row.lengthByte);
    } else {
      EXPECT_EQ(s[0], 'S');  // the length byte is not set
    }
  }
}
