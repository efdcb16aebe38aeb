// MoreFinderEvents.cpp — the Finder selection and item references.
//
// Sections:
//   1. Parts shared by the requests: the Finder's event, the selection
//      specifier, the requested type.
//   2. Reading the selection and the desktop.
//   3. Object specifiers and alias records.
//   4. Updating items.
//   5. Emptying the selection.
//
// Each request reads like its steps: arguments first, everything it makes
// starts null, the first failing step's result is returned unchanged, and one
// exit releases what was made.
#include "finderkit/MoreFinderEvents.h"

#include "aekit/MoreAEDataModel.h"
#include "aekit/MoreAEObjects.h"
#include "aekit/MoreAppleEvents.h"

// ---------------------------------------------------------------------------
// 1. Shared parts.

namespace {

// A new event addressed to the Finder's process; procNotFound when it does
// not run.
OSStatus CreateFinderEvent(AEEventClass eventClass, AEEventID eventID, AppleEvent* event) {
  return MoreAECreateAppleEventSignatureTarget(kMoreFEFinderType, kMoreFEFinderCreator,
                                               eventClass, eventID, event);
}

// Puts the property specifier of `property` of the application as the
// event's direct object, releasing the specifier whatever the outcome.
OSStatus PutPropertyAsDirectObject(AppleEvent* event, DescType property) {
  AEDesc container;
  MoreAENullDesc(&container);
  AEDesc specifier;
  MoreAENullDesc(&specifier);
  OSStatus err = MoreAEOCreatePropertyObject(property, &container, &specifier);
  if (err == noErr) err = AEPutParamDesc(event, keyDirectObject, &specifier);
  MoreAEDisposeDesc(&specifier);
  return err;
}

// 'rtyp' = 'type' 'alis': the Finder is to answer with aliases.
OSStatus PutRequestedTypeAlias(AppleEvent* event) {
  const DescType requested = typeAlias;
  return AEPutParamPtr(event, keyAERequestedType, typeType, &requested, sizeof(requested));
}

OSErr AsOSErr(OSStatus err) { return static_cast<OSErr>(err); }

}  // namespace

// ---------------------------------------------------------------------------
// 2. Reading the selection and the desktop.

OSErr MoreFEGetSelection(AEIdleUPP idleProc, AEDescList* selection) {
  if (idleProc == nullptr || selection == nullptr) return paramErr;
  MoreAENullDesc(selection);

  AppleEvent event;
  MoreAENullDesc(&event);
  OSStatus err = CreateFinderEvent(kAECoreSuite, kAEGetData, &event);
  if (err != noErr) return AsOSErr(err);

  err = PutPropertyAsDirectObject(&event, pSelection);
  if (err == noErr) err = PutRequestedTypeAlias(&event);
  if (err == noErr) err = MoreAESendEventReturnAEDescList(idleProc, &event, selection);

  MoreAEDisposeDesc(&event);
  return AsOSErr(err);
}

OSErr MoreFEGetEveryItemOnDesktop(AEIdleUPP idleProc, AEDescList* items) {
  if (idleProc == nullptr || items == nullptr) return paramErr;
  MoreAENullDesc(items);

  AppleEvent event;
  MoreAENullDesc(&event);
  OSStatus err = CreateFinderEvent(kAECoreSuite, kAEGetData, &event);
  if (err != noErr) return AsOSErr(err);

  AEDesc application;
  MoreAENullDesc(&application);
  AEDesc desktop;
  MoreAENullDesc(&desktop);
  AEDesc everything;
  MoreAENullDesc(&everything);
  err = MoreAEOCreatePropertyObject(kMoreFEDesktopProperty, &application, &desktop);
  if (err == noErr) err = MoreAEOCreateSelectionObject(kAEAll, &desktop, &everything);
  MoreAEDisposeDesc(&desktop);  // the every-object specifier holds its own copy
  if (err == noErr) err = AEPutParamDesc(&event, keyDirectObject, &everything);
  MoreAEDisposeDesc(&everything);
  if (err == noErr) err = PutRequestedTypeAlias(&event);
  if (err == noErr) err = MoreAESendEventReturnAEDescList(idleProc, &event, items);

  MoreAEDisposeDesc(&event);
  return AsOSErr(err);
}

// ---------------------------------------------------------------------------
// 3. Object specifiers and alias records.

OSErr MoreFEGetObjectAsAlias(const AEDesc* objectSpecifier, AliasHandle* alias,
                             AEIdleUPP idleProc) {
  if (objectSpecifier == nullptr || alias == nullptr || idleProc == nullptr) return paramErr;
  if (objectSpecifier->descriptorType != typeObjectSpecifier) return paramErr;

  AppleEvent event;
  MoreAENullDesc(&event);
  OSStatus err = CreateFinderEvent(kAECoreSuite, kAEGetData, &event);
  if (err != noErr) return AsOSErr(err);

  AEDesc value;
  MoreAENullDesc(&value);
  err = AEPutParamDesc(&event, keyDirectObject, objectSpecifier);
  if (err == noErr) err = PutRequestedTypeAlias(&event);
  if (err == noErr) err = MoreAESendEventReturnAEDesc(idleProc, &event, typeAlias, &value);
  if (err == noErr) {
    err = MoreAECopyDescriptorDataToHandle(&value, reinterpret_cast<Handle*>(alias));
  }
  MoreAEDisposeDesc(&value);

  MoreAEDisposeDesc(&event);
  return AsOSErr(err);
}

OSErr MoreFEGetAliasAsObject(AliasHandle alias, AEDesc* objectSpecifier, AEIdleUPP idleProc) {
  if (alias == nullptr || objectSpecifier == nullptr || idleProc == nullptr) return paramErr;

  FSRef item;
  Boolean wasChanged = false;
  OSStatus err =
      FSResolveAliasWithMountFlags(nullptr, alias, &item, &wasChanged, kResolveAliasFileNoUI);
  if (err != noErr) return AsOSErr(err);
  FSCatalogInfo info;
  err = FSGetCatalogInfo(&item, kFSCatInfoNodeFlags, &info, nullptr, nullptr, nullptr);
  if (err != noErr) return AsOSErr(err);
  const DescType desiredClass = (info.nodeFlags & kFSNodeIsDirectoryMask) != 0 ? cFolder : cFile;

  // Addressed by signature: the event goes to whichever process answers to
  // 'MACS' when it is sent. type(@) takes the class as a four-character
  // value; @@ takes the whole alias handle as the 'alis' key data.
  const OSType finder = kMoreFEFinderCreator;
  AppleEvent event;
  MoreAENullDesc(&event);
  AEBuildError buildError;
  err = AEBuildAppleEvent(kAECoreSuite, kAEGetData, typeApplSignature, &finder, sizeof(finder),
                          kAutoGenerateReturnID, kAnyTransactionID, &event, &buildError,
                          "'----':obj {form:alis,want:type(@),seld:'alis'(@@),from:null()}",
                          static_cast<unsigned int>(desiredClass), alias);
  if (err != noErr) {
    MoreAEDisposeDesc(&event);
    return AsOSErr(err);
  }

  err = MoreAESendEventReturnAEDesc(idleProc, &event, typeObjectSpecifier, objectSpecifier);
  MoreAEDisposeDesc(&event);
  return AsOSErr(err);
}

OSErr MoreFEGetFSSpecAsObject(const FSSpec* item, AEDesc* objectSpecifier, AEIdleUPP idleProc) {
  if (item == nullptr || objectSpecifier == nullptr || idleProc == nullptr) return paramErr;
  AliasHandle alias = nullptr;
  OSErr err = NewAlias(nullptr, item, &alias);
  if (err != noErr) return err;
  if (alias == nullptr) return paramErr;
  err = MoreFEGetAliasAsObject(alias, objectSpecifier, idleProc);
  DisposeHandle(reinterpret_cast<Handle>(alias));
  return err;
}

// ---------------------------------------------------------------------------
// 4. Updating items: sent without a reply, so the result says only whether
// the event was delivered, not whether the Finder redrew the item.

OSErr MoreFEUpdateItemAlias(AliasHandle alias) {
  if (alias == nullptr) return paramErr;

  AppleEvent event;
  MoreAENullDesc(&event);
  OSStatus err = CreateFinderEvent(kMoreFEFinderSuite, kMoreFEUpdateEvent, &event);
  if (err != noErr) return AsOSErr(err);

  AEDesc aliasDesc;
  MoreAENullDesc(&aliasDesc);
  err = MoreAEOCreateAliasDesc(alias, &aliasDesc);
  if (err == noErr) err = AEPutParamDesc(&event, keyDirectObject, &aliasDesc);
  MoreAEDisposeDesc(&aliasDesc);
  if (err == noErr) err = MoreAESendEventNoReturnValue(nullptr, &event);

  MoreAEDisposeDesc(&event);
  return AsOSErr(err);
}

OSErr MoreFEUpdateItemFSRef(const FSRef* item) {
  if (item == nullptr) return paramErr;
  AliasHandle alias = nullptr;
  OSErr err = FSNewAlias(nullptr, item, &alias);
  if (err != noErr) return err;
  if (alias == nullptr) return paramErr;
  err = MoreFEUpdateItemAlias(alias);
  DisposeHandle(reinterpret_cast<Handle>(alias));
  return err;
}

OSErr MoreFEUpdateItemFSS(const FSSpec* item) {
  if (item == nullptr) return paramErr;
  AliasHandle alias = nullptr;
  OSErr err = NewAlias(nullptr, item, &alias);
  if (err != noErr) return err;
  if (alias == nullptr) return paramErr;
  err = MoreFEUpdateItemAlias(alias);
  DisposeHandle(reinterpret_cast<Handle>(alias));
  return err;
}

// ---------------------------------------------------------------------------
// 5. Emptying the selection: 'setd' of 'sele' to an empty list.

OSErr MoreFESetSelectionToNone(AEIdleUPP idleProc) {
  AppleEvent event;
  MoreAENullDesc(&event);
  OSStatus err = CreateFinderEvent(kAECoreSuite, kAESetData, &event);
  if (err != noErr) return AsOSErr(err);

  AEDescList empty;
  MoreAENullDesc(&empty);
  err = PutPropertyAsDirectObject(&event, pSelection);
  if (err == noErr) err = AECreateList(nullptr, 0, false, &empty);
  if (err == noErr) err = AEPutParamDesc(&event, keyAEData, &empty);
  MoreAEDisposeDesc(&empty);
  if (err == noErr) err = MoreAESendEventNoReturnValue(idleProc, &event);

  MoreAEDisposeDesc(&event);
  return AsOSErr(err);
}
