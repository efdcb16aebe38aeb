// Handlers.cpp — the events finderd answers: one row per request kind, each
// handled in a file of its own. Events without a row are answered by the
// Apple Event Manager with errAEEventNotHandled.
#include "tools/finderd/Finder.h"
#include "tools/finderd/FinderdProtocol.h"

namespace finderd {

namespace {

struct HandlerRow {
  AEEventClass eventClass;
  AEEventID eventID;
  AEEventHandlerProcPtr handler;
};

const HandlerRow kHandlers[] = {
    {kAECoreSuite, kAEGetData, HandleGetData},
    {kAECoreSuite, kAESetData, HandleSetData},
    {kFinderSuite, kFinderUpdateEvent, HandleUpdateItem},
    {kCoreEventClass, kAEQuitApplication, HandleQuit},
    {kFinderdSuite, kFinderdListUpdates, HandleListUpdates},
    {kFinderdSuite, kFinderdClearUpdates, HandleClearUpdates},
};

}  // namespace

OSErr InstallFinderHandlers() {
  OSErr err = InstallObjectAccessors();
  for (const HandlerRow& row : kHandlers) {
    if (err != noErr) break;
    err = AEInstallEventHandler(row.eventClass, row.eventID, NewAEEventHandlerUPP(row.handler), 0, false);
  }
  return err;
}

}  // namespace finderd
