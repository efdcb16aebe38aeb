// MoreAEObjects.h — object specifiers and alias descriptors: how the toolkit
// names a property, an object by ordinal, unique ID, position or name, a
// process, or a file or folder (by HFS path or by alias record) inside
// another application.
//
// Key data descriptors are made here and always disposed here. The container
// stays the caller's, except in the three generic builders when the caller
// sets disposeInputs (see there). On failure the out specifier or descriptor
// is whatever CreateObjSpecifier or AECreateDesc left in it: callers start
// their out descriptors null and dispose of them in any case. A null
// container means the application that receives the event. Results are
// OSErr values; 0 is success.
#pragma once

#include "platform/appleevents/AppleEvents.h"
#include "platform/corefoundation/CoreFoundation.h"
#include "platform/files/Files.h"
#include "platform/processes/Processes.h"

// The class and key form of a process specifier: a process ('prcs') named by
// its unique ID, which is its serial number ('psn ' key data).
enum {
  kMoreAEOProcessClass = 'prcs',
  kMoreAEOProcessKeyForm = formUniqueID,
};

// ---------------------------------------------------------------------------
// Property and alias descriptors.

// {class 'prop', container, form 'prop', key data 'type' propertyID}.
OSStatus MoreAEOCreatePropertyObject(DescType propertyID, AEDesc* container, AEDesc* specifier);

// An 'alis' descriptor holding a copy of the whole handle. The handle stays
// the caller's, and keeps its lock state.
OSStatus MoreAEOCreateAliasDesc(AliasHandle alias, AEDesc* desc);

// An alias of the item (NewAlias / FSNewAlias, no relative item), made into
// an alias descriptor and freed again. An alias call that succeeds without
// a handle gives paramErr.
OSStatus MoreAEOCreateAliasDescFromFSSpec(const FSSpec* item, AEDesc* desc);
OSStatus MoreAEOCreateAliasDescFromFSRef(const FSRef* item, AEDesc* desc);

// Puts an alias of the item into `event` under `keyword` as 'alis', sized by
// the record's own aliasSize; the alias is freed on every path.
OSStatus MoreAEOAddAliasParameterFromFSSpec(const FSSpec* item, AEKeyword keyword,
                                            AppleEvent* event);
OSStatus MoreAEOAddAliasParameterFromFSRef(const FSRef* item, AEKeyword keyword,
                                           AppleEvent* event);

// ---------------------------------------------------------------------------
// Object specifier builders (dispose-inputs false).

// {kMoreAEOProcessClass, container, kMoreAEOProcessKeyForm, 'psn ' 8 bytes}.
OSStatus MoreAEOCreateProcessObject(const ProcessSerialNumber* psn, AEDesc* container,
                                    AEDesc* specifier);

// {class 'cobj', container, form 'indx', key data 'abso' ordinal}, e.g.
// every object (kAEAll) of a container.
OSStatus MoreAEOCreateSelectionObject(DescType ordinal, AEDesc* container, AEDesc* specifier);

// {class 'alis', container, form 'indx', key data an alias descriptor}.
OSStatus MoreAEOCreateAliasObject(AliasHandle alias, AEDesc* container, AEDesc* specifier);
OSStatus MoreAEOCreateAliasObjectFromFSSpec(const FSSpec* item, AEDesc* container,
                                            AEDesc* specifier);
OSStatus MoreAEOCreateAliasObjectFromFSRef(const FSRef* item, AEDesc* container,
                                           AEDesc* specifier);

// ---------------------------------------------------------------------------
// Generic builders: the caller's class and container, key form 'ID  ',
// 'indx' or 'name'. With disposeInputs set the container is handed over:
// it is gone (left null) when the function returns, whatever the result;
// without it the container stays the caller's.

OSStatus MoreAEOCreateObjSpecifierFormUniqueID(DescType desiredClass, AEDesc* container,
                                               SInt32 uniqueID, Boolean disposeInputs,
                                               AEDesc* specifier);
OSStatus MoreAEOCreateObjSpecifierFormAbsPos(DescType desiredClass, AEDesc* container,
                                             SInt32 index, Boolean disposeInputs,
                                             AEDesc* specifier);
// Key data 'TEXT': the characters of the Pascal string after its length byte.
OSStatus MoreAEOCreateObjSpecifierFormName(DescType desiredClass, AEDesc* container,
                                           ConstStr255Param name, Boolean disposeInputs,
                                           AEDesc* specifier);

// A plain list (h, v) of two 'long' items. The list is the caller's from the
// moment it was created, also when an append fails.
OSStatus MoreAEOCreatePositionList(Point position, AEDescList* list);

// ---------------------------------------------------------------------------
// Files and folders by HFS path: {class 'cfol' or 'file', null container,
// form 'name', key data 'utxt' the whole HFS path}. A folder's name ends
// with one added colon; a package (an application bundle) counts as a file.

OSStatus MoreAEOCreateObjSpecifierFromFSSpec(const FSSpec* item, AEDesc* specifier);
OSStatus MoreAEOCreateObjSpecifierFromFSRef(const FSRef* item, AEDesc* specifier);
OSStatus MoreAEOCreateObjSpecifierFromCFURLRef(CFURLRef url, AEDesc* specifier);
