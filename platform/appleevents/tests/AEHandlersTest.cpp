// Event handlers and dispatch, object specifiers, accessors and AEResolve.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/appleevents/AEDispatch.h"
#include "platform/appleevents/AppleEvents.h"
#include "platform/appleevents/tests/AETestSupport.h"
#include "testing/TestSupport.h"

using aetest::Bytes;
using aetest::Data;
using aetest::Desc;

namespace {

// Installing a handler starts listening; keep that inside a private runtime
// folder for the whole program.
class PrivateRuntime : public ::testing::Environment {
 public:
  void SetUp() override { env_ = std::make_unique<tw::test::PrivateEnvironment>(); }
  void TearDown() override { env_.reset(); }

 private:
  std::unique_ptr<tw::test::PrivateEnvironment> env_;
};
const auto* const gRuntime = ::testing::AddGlobalTestEnvironment(new PrivateRuntime);

std::vector<SInt32> gCalls;

OSErr Record(const AppleEvent*, AppleEvent*, SInt32 refcon) {
  gCalls.push_back(refcon);
  return noErr;
}

OSErr Fail43(const AppleEvent*, AppleEvent*, SInt32) { return fnfErr; }

OSErr FailWithOwnError(const AppleEvent*, AppleEvent* reply, SInt32) {
  SInt16 own = 7;
  AEPutParamPtr(reply, keyErrorNumber, typeSInt16, &own, 2);
  return fnfErr;
}

OSErr Dispatch(AEEventClass cls, AEEventID id, AppleEvent* reply = nullptr) {
  AppleEvent e = {typeNull, nullptr};
  AECreateAppleEvent(cls, id, nullptr, 0, 0, &e);
  OSErr err = macplatform::ae::DispatchAppleEvent(&e, reply);
  AEDisposeDesc(&e);
  return err;
}

TEST(AEHandlers, MostSpecificEntryWinsAndGetsItsRefcon) {
  ASSERT_EQ(AEInstallEventHandler(typeWildCard, typeWildCard, NewAEEventHandlerUPP(Record), 4,
                                  false),
            noErr);
  ASSERT_EQ(AEInstallEventHandler('core', typeWildCard, Record, 2, false), noErr);
  ASSERT_EQ(AEInstallEventHandler(typeWildCard, 'getd', Record, 3, false), noErr);
  ASSERT_EQ(AEInstallEventHandler('core', 'getd', Record, 1, false), noErr);
  gCalls.clear();
  Dispatch('core', 'getd');
  Dispatch('core', 'setd');
  Dispatch('misc', 'getd');
  Dispatch('misc', 'misc');
  EXPECT_EQ(gCalls, (std::vector<SInt32>{1, 2, 3, 4}));

  AEEventHandlerUPP h = nullptr;
  SInt32 refcon = 0;
  ASSERT_EQ(AEGetEventHandler('core', 'getd', &h, &refcon, false), noErr);
  EXPECT_EQ(h, &Record);
  EXPECT_EQ(refcon, 1);
  EXPECT_EQ(AEGetEventHandler('core', 'getd', &h, &refcon, true), errAEHandlerNotFound);
  EXPECT_EQ(AEGetEventHandler('none', 'none', &h, &refcon, false), errAEHandlerNotFound);

  // Reinstalling replaces; removing with another handler is refused.
  ASSERT_EQ(AEInstallEventHandler('core', 'getd', Record, 11, false), noErr);
  EXPECT_EQ(AERemoveEventHandler('core', 'getd', Fail43, false), errAEHandlerNotFound);
  gCalls.clear();
  Dispatch('core', 'getd');
  ASSERT_EQ(AERemoveEventHandler('core', 'getd', Record, false), noErr);
  Dispatch('core', 'getd');
  EXPECT_EQ(gCalls, (std::vector<SInt32>{11, 2}));

  for (auto [c, i] : {std::pair<UInt32, UInt32>{'core', typeWildCard},
                      {typeWildCard, 'getd'},
                      {typeWildCard, typeWildCard}})
    ASSERT_EQ(AERemoveEventHandler(c, i, nullptr, false), noErr);
  EXPECT_EQ(Dispatch('core', 'getd'), errAEEventNotHandled);
}

SInt16 ReplyError(const AppleEvent* reply) {
  SInt16 err = 0;
  if (AEGetParamPtr(reply, keyErrorNumber, typeSInt16, nullptr, &err, 2, nullptr) != noErr)
    return 0;
  return err;
}

TEST(AEHandlers, HandlerErrorsGoIntoTheReply) {
  ASSERT_EQ(AEInstallEventHandler('test', 'fail', Fail43, 0, false), noErr);
  ASSERT_EQ(AEInstallEventHandler('test', 'ownn', FailWithOwnError, 0, false), noErr);
  AppleEvent event = {typeNull, nullptr};
  ASSERT_EQ(AECreateAppleEvent('test', 'fail', nullptr, 0, 0, &event), noErr);

  Desc reply;
  ASSERT_EQ(macplatform::ae::CreateReplyFor(&event, &reply), noErr);
  EXPECT_EQ(macplatform::ae::DispatchAppleEvent(&event, &reply), fnfErr);
  EXPECT_EQ(ReplyError(reply.get()), fnfErr);
  DescType type = 0;
  Size size = 0;
  ASSERT_EQ(AESizeOfParam(&reply, keyErrorNumber, &type, &size), noErr);
  EXPECT_EQ(type, typeSInt32);
  AEDisposeDesc(&event);

  Desc own;
  ASSERT_EQ(AECreateAppleEvent('test', 'ownn', nullptr, 0, 0, &event), noErr);
  ASSERT_EQ(macplatform::ae::CreateReplyFor(&event, &own), noErr);
  EXPECT_EQ(macplatform::ae::DispatchAppleEvent(&event, &own), fnfErr);
  EXPECT_EQ(ReplyError(own.get()), 7);
  AEDisposeDesc(&event);

  Desc unhandled;
  ASSERT_EQ(AECreateAppleEvent('test', 'none', nullptr, 0, 0, &event), noErr);
  ASSERT_EQ(macplatform::ae::CreateReplyFor(&event, &unhandled), noErr);
  EXPECT_EQ(macplatform::ae::DispatchAppleEvent(&event, &unhandled), errAEEventNotHandled);
  EXPECT_EQ(ReplyError(unhandled.get()), errAEEventNotHandled);
  // No reply wanted: the null descriptor stays null.
  AppleEvent none = {typeNull, nullptr};
  EXPECT_EQ(macplatform::ae::DispatchAppleEvent(&event, &none), errAEEventNotHandled);
  EXPECT_EQ(none.dataHandle, nullptr);
  AEDisposeDesc(&event);

  AERemoveEventHandler('test', 'fail', nullptr, false);
  AERemoveEventHandler('test', 'ownn', nullptr, false);
}

TEST(AEObjects, CreateObjSpecifierWithDisposeInputsLeavesNulls) {
  AEDesc container = {typeNull, nullptr}, key = {typeNull, nullptr};
  ASSERT_EQ(AEBuildDesc(&container, nullptr, "obj {want:type(cfol)}"), noErr);
  ASSERT_EQ(AECreateDesc(typeChar, "doc", 3, &key), noErr);
  Desc spec;
  ASSERT_EQ(CreateObjSpecifier(cFile, &container, formName, &key, true, &spec), noErr);
  EXPECT_EQ(container.descriptorType, typeNull);
  EXPECT_EQ(container.dataHandle, nullptr);
  EXPECT_EQ(key.descriptorType, typeNull);
  EXPECT_EQ(key.dataHandle, nullptr);
  EXPECT_EQ(AEDisposeDesc(&container), noErr);
  EXPECT_EQ(AEDisposeDesc(&key), noErr);
  EXPECT_EQ(aetest::Print(spec.get()),
            "obj {want:type(file), from:obj {want:type(cfol)}, form:name, seld:\"doc\"}");

  // Without dispose-inputs the inputs stay the caller's.
  Desc keep, spec2;
  ASSERT_EQ(AECreateDesc(typeType, "sele", 4, &keep), noErr);
  ASSERT_EQ(CreateObjSpecifier(cProperty, nullptr, formPropertyID, &keep, false, &spec2), noErr);
  EXPECT_EQ(keep.type(), typeType);
  Desc from;
  ASSERT_EQ(AEGetKeyDesc(&spec2, keyAEContainer, typeWildCard, &from), noErr);
  EXPECT_EQ(from.type(), typeNull);
}

struct AccessorCall {
  DescType desired, containerType, form;
  std::string key;
  SInt32 refcon;
};
std::vector<AccessorCall> gAccessorCalls;

std::string Text(const AEDesc* d) {
  std::vector<UInt8> b = Data(d);
  return std::string(b.begin(), b.end());
}

OSErr FolderAccessor(DescType desired, const AEDesc* container, DescType containerClass,
                     DescType form, const AEDesc* key, AEDesc* value, SInt32 refcon) {
  gAccessorCalls.push_back({desired, containerClass, form, Text(key), refcon});
  if (container->descriptorType != typeNull) return errAENoSuchObject;
  std::string name = Text(key);
  return AECreateDesc('tokf', name.data(), Size(name.size()), value);
}

OSErr AnyInFolder(DescType desired, const AEDesc* container, DescType containerClass,
                  DescType form, const AEDesc* key, AEDesc* value, SInt32 refcon) {
  gAccessorCalls.push_back({desired, containerClass, form, Text(key), refcon});
  std::string path = Text(container) + "/" + Text(key);
  if (Text(key) == "missing") return errAENoSuchObject;
  return AECreateDesc('tokd', path.data(), Size(path.size()), value);
}

TEST(AEObjects, ResolveWalksFromTheApplicationOutward) {
  ASSERT_EQ(AEObjectInit(), noErr);
  ASSERT_EQ(AEInstallObjectAccessor(cFolder, typeNull, NewOSLAccessorUPP(FolderAccessor), 21,
                                    false),
            noErr);
  ASSERT_EQ(AEInstallObjectAccessor(typeWildCard, 'tokf', AnyInFolder, 22, false), noErr);
  OSLAccessorUPP got = nullptr;
  SInt32 refcon = 0;
  ASSERT_EQ(AEGetObjectAccessor(typeWildCard, 'tokf', &got, &refcon, false), noErr);
  EXPECT_EQ(got, &AnyInFolder);
  EXPECT_EQ(refcon, 22);
  EXPECT_EQ(AEGetObjectAccessor(cFile, 'tokf', &got, &refcon, false), errAEAccessorNotFound);

  Desc spec, token;
  ASSERT_EQ(AEBuildDesc(&spec, nullptr,
                        "obj {want:type(file), form:name, seld:\"doc\", "
                        "from:obj {want:type(cfol), form:name, seld:\"Folder\", from:null()}}"),
            noErr);
  gAccessorCalls.clear();
  ASSERT_EQ(AEResolve(&spec, 0, &token), noErr);
  EXPECT_EQ(token.type(), DescType('tokd'));
  EXPECT_EQ(Text(token.get()), "Folder/doc");
  ASSERT_EQ(gAccessorCalls.size(), 2u);
  EXPECT_EQ(gAccessorCalls[0].desired, DescType(cFolder));
  EXPECT_EQ(gAccessorCalls[0].containerType, DescType(typeNull));
  EXPECT_EQ(gAccessorCalls[0].form, DescType(formName));
  EXPECT_EQ(gAccessorCalls[0].refcon, 21);
  EXPECT_EQ(gAccessorCalls[1].desired, DescType(cFile));
  EXPECT_EQ(gAccessorCalls[1].containerType, DescType('tokf'));
  EXPECT_EQ(gAccessorCalls[1].key, "doc");
  EXPECT_EQ(gAccessorCalls[1].refcon, 22);

  // The accessor's failure is the result; no accessor for a level gives -1723.
  Desc missing, t2, noAccessor, t3, notSpec, t4;
  ASSERT_EQ(AEBuildDesc(&missing, nullptr,
                        "obj {want:type(file), form:name, seld:\"missing\", "
                        "from:obj {want:type(cfol), form:name, seld:\"F\"}}"),
            noErr);
  EXPECT_EQ(AEResolve(&missing, 0, &t2), errAENoSuchObject);
  EXPECT_EQ(t2.type(), typeNull);
  ASSERT_EQ(AEBuildDesc(&noAccessor, nullptr, "obj {want:type(file), form:name, seld:\"x\"}"),
            noErr);
  EXPECT_EQ(AEResolve(&noAccessor, 0, &t3), errAEAccessorNotFound);
  ASSERT_EQ(AEBuildDesc(&notSpec, nullptr, "{want:type(file)}"), noErr);
  EXPECT_EQ(AEResolve(&notSpec, 0, &t4), errAENotAnObjSpec);

  ASSERT_EQ(AERemoveObjectAccessor(cFolder, typeNull, FolderAccessor, false), noErr);
  EXPECT_EQ(AERemoveObjectAccessor(cFolder, typeNull, FolderAccessor, false),
            errAEAccessorNotFound);
  ASSERT_EQ(AERemoveObjectAccessor(typeWildCard, 'tokf', nullptr, false), noErr);
}

TEST(AEHandlers, UPPsAreThePlainFunctions) {
  AEEventHandlerUPP h = NewAEEventHandlerUPP(Record);
  gCalls.clear();
  EXPECT_EQ(InvokeAEEventHandlerUPP(nullptr, nullptr, 99, h), noErr);
  EXPECT_EQ(gCalls, std::vector<SInt32>{99});
  DisposeAEEventHandlerUPP(h);
  OSLAccessorUPP a = NewOSLAccessorUPP(FolderAccessor);
  AEDesc null = {typeNull, nullptr}, value = {typeNull, nullptr}, key = {typeNull, nullptr};
  AECreateDesc(typeChar, "n", 1, &key);
  EXPECT_EQ(InvokeOSLAccessorUPP(cFolder, &null, typeNull, formName, &key, &value, 5, a), noErr);
  EXPECT_EQ(value.descriptorType, DescType('tokf'));
  AEDisposeDesc(&value);
  AEDisposeDesc(&key);
  DisposeOSLAccessorUPP(a);
  AEIdleUPP idle = NewAEIdleUPP(nullptr);
  EXPECT_EQ(idle, nullptr);
  DisposeAEIdleUPP(idle);
}

}  // namespace
