// CmdFinder.cpp — `macctl finder`: the running Finder's selection and its log
// of update requests, read and changed with Apple events like any client.
//
//   macctl finder select [PATH...]   the selection becomes these items, in
//                                    this order (none: it is cleared)
//   macctl finder selection          the selected items' paths, in order
//   macctl finder updates [--clear]  the paths of the update requests the
//                                    Finder received, oldest first; --clear
//                                    empties that log
//
// The selection is read as the agent reads it: 'getd' of 'sele' gives a list
// of object specifiers, and a 'getd' of each with 'rtyp' 'alis' gives the
// item's alias, which is resolved here. Without a Finder every form says so
// on standard error and exits with status 1.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/appleevents/AppleEvents.h"
#include "platform/appleevents/ScopedDesc.h"
#include "platform/files/Files.h"
#include "platform/processes/ProcessRegistry.h"
#include "platform/processes/Processes.h"
#include "tools/finderd/FinderdProtocol.h"
#include "tools/macctl/Command.h"

namespace macctl {
namespace {

namespace mp = macplatform::processes;

constexpr const char* kName = "finder";
constexpr const char* kUsage = "usage: macctl finder select [PATH...] | selection | updates [--clear]";
// How long a request may take before macctl gives up, in ticks.
constexpr SInt32 kTimeoutTicks = 30 * 60;

using Desc = macplatform::ae::ScopedDesc;

std::string ErrorText(OSErr err) { return "error " + std::to_string(err); }

// The Finder: the first live process of type 'FNDR' and creator 'MACS'.
OSErr FindFinder(ProcessSerialNumber* psn) {
  std::vector<mp::Entry> entries;
  OSErr err = mp::List(&entries);
  if (err != noErr) return err;
  for (const mp::Entry& e : entries) {
    if (e.type == finderd::kFinderType && e.creator == finderd::kFinderCreator) {
      *psn = {0, e.serial};
      return noErr;
    }
  }
  return procNotFound;
}

// One request to the Finder: the event with its direct object, 'data' and
// 'rtyp' when given, sent and waited for. The handler's error, if any, is
// the result; the reply is the caller's.
OSErr Request(const ProcessSerialNumber& finder, AEEventClass cls, AEEventID id, const AEDesc* direct,
              const AEDesc* data, DescType requestedType, AppleEvent* reply) {
  Desc target, event;
  OSErr err = AECreateDesc(typeProcessSerialNumber, &finder, sizeof finder, &target);
  if (err == noErr) err = AECreateAppleEvent(cls, id, target.get(), kAutoGenerateReturnID, kAnyTransactionID, &event);
  if (err == noErr && direct != nullptr) err = AEPutParamDesc(&event, keyDirectObject, direct);
  if (err == noErr && data != nullptr) err = AEPutParamDesc(&event, keyAEData, data);
  if (err == noErr && requestedType != 0)
    err = AEPutParamPtr(&event, keyAERequestedType, typeType, &requestedType, sizeof requestedType);
  if (err == noErr) err = AESend(event.get(), reply, kAEWaitReply, kAENormalPriority, kTimeoutTicks, nullptr, nullptr);
  if (err != noErr) return err;
  SInt32 handlerError = 0;
  DescType type;
  Size size;
  if (AEGetParamPtr(reply, keyErrorNumber, typeSInt32, &type, &handlerError, sizeof handlerError, &size) == noErr &&
      handlerError != 0)
    return OSErr(handlerError);
  return noErr;
}

// The specifier of the Finder's property 'sele'.
OSErr SelectionSpecifier(AEDesc* spec) {
  AEDesc key = {typeNull, nullptr};
  const DescType selection = pSelection;
  OSErr err = AECreateDesc(typeType, &selection, sizeof selection, &key);
  if (err != noErr) return err;
  return CreateObjSpecifier(cProperty, nullptr, formPropertyID, &key, true, spec);
}

// A failed request as a message: the Finder gone, or its error.
int RequestFailed(const std::string& what, OSErr err) {
  if (err == procNotFound || err == connectionInvalid) return Fail(kName, "the Finder is not running");
  return Fail(kName, what + ": " + ErrorText(err));
}

int Select(const ProcessSerialNumber& finder, const Args& paths) {
  Desc list, spec, reply;
  OSErr err = AECreateList(nullptr, 0, false, &list);
  for (const std::string& path : paths) {
    if (err != noErr) break;
    FSRef ref;
    err = FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), &ref, nullptr);
    if (err != noErr) return Fail(kName, "cannot find '" + path + "': " + ErrorText(err));
    AliasHandle alias = nullptr;
    err = FSNewAlias(nullptr, &ref, &alias);
    if (err != noErr) return Fail(kName, "cannot make an alias of '" + path + "': " + ErrorText(err));
    err = AEPutPtr(&list, 0, typeAlias, *alias, GetHandleSize(reinterpret_cast<Handle>(alias)));
    DisposeHandle(reinterpret_cast<Handle>(alias));
  }
  if (err == noErr) err = SelectionSpecifier(&spec);
  if (err != noErr) return Fail(kName, "cannot make the request: " + ErrorText(err));
  err = Request(finder, kAECoreSuite, kAESetData, spec.get(), list.get(), 0, &reply);
  if (err != noErr) return RequestFailed("the Finder refused the selection", err);
  return 0;
}

// The path of an item the Finder names by an object specifier, through the
// alias the Finder gives for it.
OSErr PathOfItem(const ProcessSerialNumber& finder, const AEDesc* spec, std::string* path) {
  Desc reply, alias, refDesc;
  OSErr err = Request(finder, kAECoreSuite, kAEGetData, spec, nullptr, typeAlias, &reply);
  if (err == noErr) err = AEGetParamDesc(reply.get(), keyDirectObject, typeAlias, &alias);
  if (err == noErr) err = AECoerceDesc(alias.get(), typeFSRef, &refDesc);
  FSRef ref;
  if (err == noErr) err = AEGetDescData(refDesc.get(), &ref, sizeof ref);
  std::vector<UInt8> buffer(4096 + 1);
  if (err == noErr) err = FSRefMakePath(&ref, buffer.data(), UInt32(buffer.size()));
  if (err == noErr) *path = reinterpret_cast<const char*>(buffer.data());
  return err;
}

int Selection(const ProcessSerialNumber& finder) {
  Desc spec, reply, list;
  OSErr err = SelectionSpecifier(&spec);
  if (err != noErr) return Fail(kName, "cannot make the request: " + ErrorText(err));
  err = Request(finder, kAECoreSuite, kAEGetData, spec.get(), nullptr, typeAlias, &reply);
  if (err == noErr) err = AEGetParamDesc(reply.get(), keyDirectObject, typeAEList, &list);
  if (err != noErr) return RequestFailed("cannot read the selection", err);
  long count = 0;
  err = AECountItems(list.get(), &count);
  if (err != noErr) return Fail(kName, "the Finder's answer is not a list: " + ErrorText(err));
  int status = 0;
  for (long i = 1; i <= count; ++i) {
    Desc item;
    AEKeyword key = 0;
    std::string path;
    err = AEGetNthDesc(list.get(), i, typeObjectSpecifier, &key, &item);
    if (err == noErr) err = PathOfItem(finder, item.get(), &path);
    if (err == procNotFound || err == connectionInvalid) return RequestFailed("", err);
    if (err != noErr) {
      // An item that has gone since it was selected: the others still count.
      status = Fail(kName, "item " + std::to_string(i) + " of the selection: " + ErrorText(err));
      continue;
    }
    std::printf("%s\n", path.c_str());
  }
  return status;
}

int Updates(const ProcessSerialNumber& finder, bool clear) {
  Desc reply, list;
  if (clear) {
    OSErr err = Request(finder, finderd::kFinderdSuite, finderd::kFinderdClearUpdates, nullptr, nullptr, 0, &reply);
    return err == noErr ? 0 : RequestFailed("cannot clear the update log", err);
  }
  OSErr err = Request(finder, finderd::kFinderdSuite, finderd::kFinderdListUpdates, nullptr, nullptr, 0, &reply);
  if (err == noErr) err = AEGetParamDesc(reply.get(), keyDirectObject, typeAEList, &list);
  long count = 0;
  if (err == noErr) err = AECountItems(list.get(), &count);
  if (err != noErr) return RequestFailed("cannot read the update log", err);
  for (long i = 1; i <= count; ++i) {
    Desc text;
    AEKeyword key = 0;
    err = AEGetNthDesc(list.get(), i, typeUTF8Text, &key, &text);
    if (err != noErr) return Fail(kName, "the Finder's update log is malformed: " + ErrorText(err));
    std::string path(size_t(AEGetDescDataSize(text.get())), '\0');
    if (!path.empty()) AEGetDescData(text.get(), path.data(), Size(path.size()));
    std::printf("%s\n", path.c_str());
  }
  return 0;
}

int Finder(const Args& args) {
  if (args.empty()) return Fail(kName, kUsage);
  const std::string& verb = args[0];
  const Args rest(args.begin() + 1, args.end());
  bool clear = false;
  if (verb == "selection" || verb == "updates") {
    if (verb == "updates" && rest.size() == 1 && rest[0] == "--clear")
      clear = true;
    else if (!rest.empty())
      return Fail(kName, kUsage);
  } else if (verb != "select") {
    return Fail(kName, kUsage);
  }
  ProcessSerialNumber finder = {0, 0};
  OSErr err = FindFinder(&finder);
  if (err == procNotFound) return Fail(kName, "the Finder is not running");
  if (err != noErr) return Fail(kName, "cannot read the process list: " + ErrorText(err));
  if (verb == "select") return Select(finder, rest);
  if (verb == "selection") return Selection(finder);
  return Updates(finder, clear);
}

}  // namespace

MACCTL_COMMAND("finder",
               "finder VERB         the Finder: select [PATH...], selection, updates [--clear]", Finder);

}  // namespace macctl
