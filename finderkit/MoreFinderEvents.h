// MoreFinderEvents.h — requests to the Finder about its selection and about
// references to items: read or empty the selection, list the desktop's
// items, convert between the Finder's object specifiers and alias records,
// and tell the Finder that an item changed.
//
// The Finder is the running process of type 'FNDR' and creator 'MACS'.
// Requests addressed to it by process return procNotFound (-600) when it
// does not run; the one addressed by signature returns what the send
// reports. Every request is synchronous and keeps no state. A missing
// required pointer gives paramErr (-50) before anything is made or sent. A
// nonzero 'errn' in the Finder's reply is the result and no output is
// written. The idle procedure is the caller's and passed on unchanged; a
// request that reads a reply needs one.
//
// Ownership: what a request makes for itself (events, specifiers, aliases)
// is released before it returns, on every path. What it hands out is the
// caller's: lists and specifiers (AEDisposeDesc), alias records
// (DisposeHandle). Inputs stay the caller's.
#pragma once

#include "platform/appleevents/AppleEvents.h"
#include "platform/files/Files.h"

// The Finder's process identity and its events' codes.
enum {
  kMoreFEFinderType = 'FNDR',
  kMoreFEFinderCreator = 'MACS',
  kMoreFEFinderSuite = 'fndr',
  kMoreFEUpdateEvent = 'fupd',
  kMoreFEDesktopProperty = 'desk',
};

// The Finder selection as a list of object specifiers ('core'/'getd' of
// property 'sele', 'rtyp' 'alis'). `*selection` is set to the null
// descriptor first (whatever it held is not released); on success it is the
// caller's list.
OSErr MoreFEGetSelection(AEIdleUPP idleProc, AEDescList* selection);

// A new alias record of the item that `objectSpecifier` (type 'obj ') names.
// Any other descriptor type: paramErr, nothing sent. On failure before the
// reply's bytes are copied, `*alias` is left as it was; once the copy's
// handle exists it is the caller's, also when the copy fails.
OSErr MoreFEGetObjectAsAlias(const AEDesc* objectSpecifier, AliasHandle* alias,
                             AEIdleUPP idleProc);

// Tells the Finder the item changed ('fndr'/'fupd' with an alias of it),
// without waiting: the result reports delivery only.
OSErr MoreFEUpdateItemFSRef(const FSRef* item);
OSErr MoreFEUpdateItemFSS(const FSSpec* item);
OSErr MoreFEUpdateItemAlias(AliasHandle alias);

// Empties the Finder selection ('core'/'setd' of 'sele' to an empty list).
// NULL idle procedure: sent without a reply.
OSErr MoreFESetSelectionToNone(AEIdleUPP idleProc);

// Every item on the desktop as a list (every object of property 'desk').
// `*items` is set to the null descriptor first.
OSErr MoreFEGetEveryItemOnDesktop(AEIdleUPP idleProc, AEDescList* items);

// The Finder's object specifier of the item the alias names: an event built
// by signature 'MACS' with direct object {class 'cfol' or 'file', null
// container, form 'alis', key data the alias record}.
OSErr MoreFEGetAliasAsObject(AliasHandle alias, AEDesc* objectSpecifier, AEIdleUPP idleProc);
OSErr MoreFEGetFSSpecAsObject(const FSSpec* item, AEDesc* objectSpecifier, AEIdleUPP idleProc);
