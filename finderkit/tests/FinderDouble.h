// FinderDouble.h — a stand-in for the Finder inside a test process, or in a
// child program, built on the Apple Event Manager's handler table.
//
// Install() takes the Finder's identity ('FNDR'/'MACS') unless told not to
// and installs one handler for every event. The handler checks each arriving
// event against the expectation set for it (class, ID, exactly these
// parameters of these types, none more), keeps a copy of it, and lets the
// test's responder fill the reply. Events addressed to the own serial number
// are dispatched in the process, so a test calls a request and looks at what
// arrived right after.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/appleevents/AppleEvents.h"
#include "platform/files/Files.h"

namespace tw::finderdouble {

// Fills the reply; its result is the handler's result (put under 'errn' by
// the Apple Event Manager when nonzero).
using Responder = std::function<OSErr(const AppleEvent* event, AppleEvent* reply)>;

struct Expectation {
  AEEventClass eventClass;
  AEEventID eventID;
  std::vector<std::pair<AEKeyword, DescType>> parameters;  // keyword, stored type
};

// Takes the Finder identity (when `takeIdentity`) and installs the handler.
void Install(bool takeIdentity = true);

// Forgets the events received, the failures and the responder.
void Reset();

void SetResponder(Responder responder);
// Every following event is checked against `expected`.
void Expect(Expectation expected);

// Events received since Reset, as copies (owned by the double).
int EventCount();
const AppleEvent* Event(int index);
// Mismatches found by the checks, one line each; empty when all matched.
std::string Failures();

// Reply helpers.
OSErr PutDirectObject(AppleEvent* reply, const AEDesc* value);
OSErr PutDirectText(AppleEvent* reply, const std::string& text);
// A list of object specifiers naming the paths (class 'file', form 'name').
OSErr MakeItemList(const std::vector<std::string>& names, AEDescList* list);
// An 'alis' descriptor of the item at `path`.
OSErr MakeAliasDesc(const std::string& path, AEDesc* desc);

// The object specifier {class, null container, form, key data} read back:
// false when `spec` is not one.
struct Specifier {
  DescType desiredClass = 0;
  DescType keyForm = 0;
  DescType keyType = 0;
  std::string keyBytes;
  DescType containerType = 0;
  std::string container;  // AEPrintDescToHandle of the container
};
bool ReadSpecifier(const AEDesc* spec, Specifier* out);
std::string Print(const AEDesc* desc);

}  // namespace tw::finderdouble
