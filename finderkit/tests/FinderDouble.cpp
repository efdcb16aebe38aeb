// FinderDouble.cpp — the stand-in Finder of the tests.
#include "finderkit/tests/FinderDouble.h"

#include <cstring>
#include <optional>

#include "aekit/MoreAppleEvents.h"
#include "platform/processes/Processes.h"

namespace tw::finderdouble {
namespace {

std::vector<AppleEvent> gEvents;
std::string gFailures;
Responder gResponder;
std::optional<Expectation> gExpected;

std::string Code(FourCharCode c) {
  std::string s(4, ' ');
  for (int i = 0; i < 4; ++i) s[i] = char((c >> (24 - 8 * i)) & 0xFF);
  return "'" + s + "'";
}

void Fail(const std::string& line) { gFailures += line + "\n"; }

// Class, ID, each expected parameter with its stored type, and nothing more:
// after every expected parameter was read, the missed-keyword attribute must
// be absent.
void Check(const AppleEvent* event) {
  if (!gExpected) return;
  const Expectation& want = *gExpected;
  AEEventClass eventClass = 0;
  AEEventID eventID = 0;
  DescType type;
  Size size;
  AEGetAttributePtr(event, keyEventClassAttr, typeType, &type, &eventClass, 4, &size);
  AEGetAttributePtr(event, keyEventIDAttr, typeType, &type, &eventID, 4, &size);
  if (eventClass != want.eventClass || eventID != want.eventID) {
    Fail("event " + Code(eventClass) + "/" + Code(eventID) + ", expected " +
         Code(want.eventClass) + "/" + Code(want.eventID));
  }
  for (auto [keyword, wantType] : want.parameters) {
    AEDesc value;
    MoreAENullDesc(&value);
    OSErr err = AEGetParamDesc(event, keyword, typeWildCard, &value);
    if (err != noErr) {
      Fail("parameter " + Code(keyword) + " missing (" + std::to_string(err) + ")");
    } else if (value.descriptorType != wantType) {
      Fail("parameter " + Code(keyword) + " of type " + Code(value.descriptorType) +
           ", expected " + Code(wantType));
    }
    MoreAEDisposeDesc(&value);
  }
  AEKeyword missed = 0;
  OSErr err = AEGetAttributePtr(event, keyMissedKeywordAttr, typeWildCard, &type, &missed,
                                sizeof(missed), &size);
  if (err != errAEDescNotFound) Fail("parameter " + Code(missed) + " not expected");
}

OSErr Handler(const AppleEvent* event, AppleEvent* reply, SInt32) {
  AppleEvent copy;
  MoreAENullDesc(&copy);
  AEDuplicateDesc(event, &copy);
  gEvents.push_back(copy);
  Check(event);
  if (!gResponder) return noErr;
  return gResponder(event, reply);
}

}  // namespace

void Install(bool takeIdentity) {
  if (takeIdentity) {
    const MacProcessIdentity finder = {"Finder", 'FNDR', 'MACS', 0};
    MacProcessTakeIdentity(&finder);
  }
  AEInstallEventHandler(typeWildCard, typeWildCard, NewAEEventHandlerUPP(Handler), 0, false);
}

void Reset() {
  for (AppleEvent& e : gEvents) MoreAEDisposeDesc(&e);
  gEvents.clear();
  gFailures.clear();
  gResponder = nullptr;
  gExpected.reset();
}

void SetResponder(Responder responder) { gResponder = std::move(responder); }
void Expect(Expectation expected) { gExpected = std::move(expected); }
int EventCount() { return int(gEvents.size()); }
const AppleEvent* Event(int index) { return &gEvents.at(index); }
std::string Failures() { return gFailures; }

OSErr PutDirectObject(AppleEvent* reply, const AEDesc* value) {
  return AEPutParamDesc(reply, keyDirectObject, value);
}

OSErr PutDirectText(AppleEvent* reply, const std::string& text) {
  return AEPutParamPtr(reply, keyDirectObject, typeChar, text.data(), Size(text.size()));
}

OSErr MakeItemList(const std::vector<std::string>& names, AEDescList* list) {
  OSErr err = AECreateList(nullptr, 0, false, list);
  for (const std::string& name : names) {
    if (err != noErr) break;
    AEDesc container, key, spec;
    MoreAENullDesc(&container);
    MoreAENullDesc(&key);
    MoreAENullDesc(&spec);
    err = AECreateDesc(typeChar, name.data(), Size(name.size()), &key);
    if (err == noErr) err = CreateObjSpecifier(cFile, &container, formName, &key, false, &spec);
    if (err == noErr) err = AEPutDesc(list, 0, &spec);
    MoreAEDisposeDesc(&key);
    MoreAEDisposeDesc(&spec);
  }
  return err;
}

OSErr MakeAliasDesc(const std::string& path, AEDesc* desc) {
  FSRef ref;
  OSErr err = FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), &ref, nullptr);
  if (err != noErr) return err;
  AliasHandle alias = nullptr;
  err = FSNewAlias(nullptr, &ref, &alias);
  if (err != noErr) return err;
  HLock(reinterpret_cast<Handle>(alias));
  err = AECreateDesc(typeAlias, *alias, GetHandleSize(reinterpret_cast<Handle>(alias)), desc);
  DisposeHandle(reinterpret_cast<Handle>(alias));
  return err;
}

std::string Print(const AEDesc* desc) {
  Handle h = nullptr;
  if (AEPrintDescToHandle(desc, &h) != noErr || h == nullptr) return "<unprintable>";
  std::string s(*h);
  DisposeHandle(h);
  return s;
}

bool ReadSpecifier(const AEDesc* spec, Specifier* out) {
  if (spec->descriptorType != typeObjectSpecifier) return false;
  DescType type;
  Size size;
  if (AEGetKeyPtr(spec, keyAEDesiredClass, typeWildCard, &type, &out->desiredClass, 4, &size) != noErr)
    return false;
  if (AEGetKeyPtr(spec, keyAEKeyForm, typeWildCard, &type, &out->keyForm, 4, &size) != noErr)
    return false;
  AEDesc part;
  MoreAENullDesc(&part);
  if (AEGetKeyDesc(spec, keyAEKeyData, typeWildCard, &part) != noErr) return false;
  out->keyType = part.descriptorType;
  out->keyBytes.assign(size_t(AEGetDescDataSize(&part)), '\0');
  if (!out->keyBytes.empty()) AEGetDescData(&part, out->keyBytes.data(), Size(out->keyBytes.size()));
  MoreAEDisposeDesc(&part);
  if (AEGetKeyDesc(spec, keyAEContainer, typeWildCard, &part) != noErr) return false;
  out->containerType = part.descriptorType;
  out->container = Print(&part);
  MoreAEDisposeDesc(&part);
  return true;
}

}  // namespace tw::finderdouble
