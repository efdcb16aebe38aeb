// MoreAEObjects.cpp — object specifiers and alias descriptors.
//
// Sections:
//   1. Alias records as descriptors and parameters.
//   2. Property, process, ordinal and alias specifiers.
//   3. Generic builders (caller's class and container).
//   4. Position lists.
//   5. Files and folders by HFS path.
#include "aekit/MoreAEObjects.h"

#include "aekit/MoreAEDataModel.h"
#include "aekit/MoreAppleEvents.h"
#include "platform/launchservices/LaunchServices.h"
#include "platform/memory/MacMemory.h"

// ---------------------------------------------------------------------------
// 1. Alias records as descriptors and parameters.
//
// The alias made here is this file's own and freed on every path; an alias
// call that claims success without a handle is treated as a bad argument.

OSStatus MoreAEOCreateAliasDesc(AliasHandle alias, AEDesc* desc) {
  if (alias == nullptr || *alias == nullptr || desc == nullptr) return paramErr;
  Handle h = reinterpret_cast<Handle>(alias);
  const SInt8 state = HGetState(h);
  HLock(h);
  OSStatus err = AECreateDesc(typeAlias, *h, GetHandleSize(h), desc);
  HSetState(h, state);
  return err;
}

namespace {

OSStatus NewAliasOfFSSpec(const FSSpec* item, AliasHandle* alias) {
  *alias = nullptr;
  if (item == nullptr) return paramErr;
  OSStatus err = NewAlias(nullptr, item, alias);
  if (err == noErr && *alias == nullptr) err = paramErr;
  return err;
}

OSStatus NewAliasOfFSRef(const FSRef* item, AliasHandle* alias) {
  *alias = nullptr;
  if (item == nullptr) return paramErr;
  OSStatus err = FSNewAlias(nullptr, item, alias);
  if (err == noErr && *alias == nullptr) err = paramErr;
  return err;
}

void DisposeAlias(AliasHandle alias) {
  if (alias != nullptr) DisposeHandle(reinterpret_cast<Handle>(alias));
}

OSStatus AliasDescFrom(OSStatus made, AliasHandle alias, AEDesc* desc) {
  OSStatus err = made;
  if (err == noErr) err = MoreAEOCreateAliasDesc(alias, desc);
  DisposeAlias(alias);
  return err;
}

// The parameter's size is the record's own aliasSize field, not the size of
// the handle that holds it.
OSStatus AddAliasParameter(OSStatus made, AliasHandle alias, AEKeyword keyword,
                           AppleEvent* event) {
  OSStatus err = made;
  if (err == noErr) {
    Handle h = reinterpret_cast<Handle>(alias);
    const SInt8 state = HGetState(h);
    HLock(h);
    err = AEPutParamPtr(event, keyword, typeAlias, *h, GetAliasSize(alias));
    HSetState(h, state);
  }
  DisposeAlias(alias);
  return err;
}

}  // namespace

OSStatus MoreAEOCreateAliasDescFromFSSpec(const FSSpec* item, AEDesc* desc) {
  if (desc == nullptr) return paramErr;
  AliasHandle alias = nullptr;
  OSStatus err = NewAliasOfFSSpec(item, &alias);
  return AliasDescFrom(err, alias, desc);
}

OSStatus MoreAEOCreateAliasDescFromFSRef(const FSRef* item, AEDesc* desc) {
  if (desc == nullptr) return paramErr;
  AliasHandle alias = nullptr;
  OSStatus err = NewAliasOfFSRef(item, &alias);
  return AliasDescFrom(err, alias, desc);
}

OSStatus MoreAEOAddAliasParameterFromFSSpec(const FSSpec* item, AEKeyword keyword,
                                            AppleEvent* event) {
  if (event == nullptr) return paramErr;
  AliasHandle alias = nullptr;
  OSStatus err = NewAliasOfFSSpec(item, &alias);
  return AddAliasParameter(err, alias, keyword, event);
}

OSStatus MoreAEOAddAliasParameterFromFSRef(const FSRef* item, AEKeyword keyword,
                                           AppleEvent* event) {
  if (event == nullptr) return paramErr;
  AliasHandle alias = nullptr;
  OSStatus err = NewAliasOfFSRef(item, &alias);
  return AddAliasParameter(err, alias, keyword, event);
}

// ---------------------------------------------------------------------------
// 2. Property, process, ordinal and alias specifiers. The key data is made
// here, handed to CreateObjSpecifier without dispose-inputs, and disposed
// here; the container stays the caller's.

namespace {

// `keyData` was made by the caller (result `made`); builds the specifier
// when it was, and disposes of the key data on every path.
OSStatus FinishSpecifier(OSStatus made, DescType desiredClass, AEDesc* container,
                         DescType keyForm, AEDesc* keyData, AEDesc* specifier) {
  OSStatus err = made;
  if (err == noErr) {
    err = CreateObjSpecifier(desiredClass, container, keyForm, keyData, false, specifier);
  }
  MoreAEDisposeDesc(keyData);
  return err;
}

}  // namespace

OSStatus MoreAEOCreatePropertyObject(DescType propertyID, AEDesc* container, AEDesc* specifier) {
  if (container == nullptr || specifier == nullptr) return paramErr;
  AEDesc keyData;
  MoreAENullDesc(&keyData);
  OSStatus err = AECreateDesc(typeType, &propertyID, sizeof(propertyID), &keyData);
  return FinishSpecifier(err, cProperty, container, formPropertyID, &keyData, specifier);
}

// A process is named by its unique ID, the serial number: class 'prcs' is
// the application-process class of scriptable applications, and 'ID  ' is
// the key form for an identifier the receiver hands out and keeps stable for
// the object's life, which a serial number is. A property specifier ('prop'
// form) would name a property called by the serial number's bytes.
OSStatus MoreAEOCreateProcessObject(const ProcessSerialNumber* psn, AEDesc* container,
                                    AEDesc* specifier) {
  if (psn == nullptr || container == nullptr || specifier == nullptr) return paramErr;
  AEDesc keyData;
  MoreAENullDesc(&keyData);
  OSStatus err =
      AECreateDesc(typeProcessSerialNumber, psn, sizeof(ProcessSerialNumber), &keyData);
  return FinishSpecifier(err, kMoreAEOProcessClass, container, kMoreAEOProcessKeyForm, &keyData,
                         specifier);
}

OSStatus MoreAEOCreateSelectionObject(DescType ordinal, AEDesc* container, AEDesc* specifier) {
  if (container == nullptr || specifier == nullptr) return paramErr;
  AEDesc keyData;
  MoreAENullDesc(&keyData);
  OSStatus err = AECreateDesc(typeAbsoluteOrdinal, &ordinal, sizeof(ordinal), &keyData);
  return FinishSpecifier(err, cObject, container, formAbsolutePosition, &keyData, specifier);
}

OSStatus MoreAEOCreateAliasObject(AliasHandle alias, AEDesc* container, AEDesc* specifier) {
  if (container == nullptr || specifier == nullptr) return paramErr;
  AEDesc keyData;
  MoreAENullDesc(&keyData);
  OSStatus err = MoreAEOCreateAliasDesc(alias, &keyData);
  return FinishSpecifier(err, typeAlias, container, formAbsolutePosition, &keyData, specifier);
}

OSStatus MoreAEOCreateAliasObjectFromFSSpec(const FSSpec* item, AEDesc* container,
                                            AEDesc* specifier) {
  if (container == nullptr || specifier == nullptr) return paramErr;
  AEDesc keyData;
  MoreAENullDesc(&keyData);
  OSStatus err = MoreAEOCreateAliasDescFromFSSpec(item, &keyData);
  return FinishSpecifier(err, typeAlias, container, formAbsolutePosition, &keyData, specifier);
}

OSStatus MoreAEOCreateAliasObjectFromFSRef(const FSRef* item, AEDesc* container,
                                           AEDesc* specifier) {
  if (container == nullptr || specifier == nullptr) return paramErr;
  AEDesc keyData;
  MoreAENullDesc(&keyData);
  OSStatus err = MoreAEOCreateAliasDescFromFSRef(item, &keyData);
  return FinishSpecifier(err, typeAlias, container, formAbsolutePosition, &keyData, specifier);
}

// ---------------------------------------------------------------------------
// 3. Generic builders.
//
// With disposeInputs set, CreateObjSpecifier disposes of the container and
// the key data and leaves both null, so the MoreAEDisposeDesc calls below
// find null descriptors and free nothing a second time; if CreateObjSpecifier
// ever returned early without taking them, they would still hold data and be
// freed here, once. When the key data cannot even be made, the container is
// disposed here: a caller that set disposeInputs has handed it over, and it
// must be gone whatever the result.

namespace {

OSStatus FinishGenericSpecifier(OSStatus made, DescType desiredClass, AEDesc* container,
                                DescType keyForm, AEDesc* keyData, Boolean disposeInputs,
                                AEDesc* specifier) {
  OSStatus err = made;
  if (err == noErr) {
    err = CreateObjSpecifier(desiredClass, container, keyForm, keyData, disposeInputs, specifier);
  }
  MoreAEDisposeDesc(keyData);
  if (disposeInputs) MoreAEDisposeDesc(container);
  return err;
}

}  // namespace

OSStatus MoreAEOCreateObjSpecifierFormUniqueID(DescType desiredClass, AEDesc* container,
                                               SInt32 uniqueID, Boolean disposeInputs,
                                               AEDesc* specifier) {
  if (container == nullptr || specifier == nullptr) return paramErr;
  AEDesc keyData;
  MoreAENullDesc(&keyData);
  OSStatus err = AECreateDesc(typeLongInteger, &uniqueID, sizeof(uniqueID), &keyData);
  return FinishGenericSpecifier(err, desiredClass, container, formUniqueID, &keyData,
                                disposeInputs, specifier);
}

OSStatus MoreAEOCreateObjSpecifierFormAbsPos(DescType desiredClass, AEDesc* container,
                                             SInt32 index, Boolean disposeInputs,
                                             AEDesc* specifier) {
  if (container == nullptr || specifier == nullptr) return paramErr;
  AEDesc keyData;
  MoreAENullDesc(&keyData);
  OSStatus err = AECreateDesc(typeLongInteger, &index, sizeof(index), &keyData);
  return FinishGenericSpecifier(err, desiredClass, container, formAbsolutePosition, &keyData,
                                disposeInputs, specifier);
}

OSStatus MoreAEOCreateObjSpecifierFormName(DescType desiredClass, AEDesc* container,
                                           ConstStr255Param name, Boolean disposeInputs,
                                           AEDesc* specifier) {
  if (container == nullptr || name == nullptr || specifier == nullptr) return paramErr;
  AEDesc keyData;
  MoreAENullDesc(&keyData);
  OSStatus err = AECreateDesc(typeChar, &name[1], name[0], &keyData);
  return FinishGenericSpecifier(err, desiredClass, container, formName, &keyData, disposeInputs,
                                specifier);
}

// ---------------------------------------------------------------------------
// 4. Position lists: horizontal first, each sign-extended to 32 bits.

OSStatus MoreAEOCreatePositionList(Point position, AEDescList* list) {
  if (list == nullptr) return paramErr;
  OSStatus err = AECreateList(nullptr, 0, false, list);
  if (err == noErr) {
    const SInt32 h = position.h;
    err = AEPutPtr(list, 0, typeLongInteger, &h, sizeof(h));
  }
  if (err == noErr) {
    const SInt32 v = position.v;
    err = AEPutPtr(list, 0, typeLongInteger, &v, sizeof(v));
  }
  return err;
}

// ---------------------------------------------------------------------------
// 5. Files and folders by HFS path. The whole path is the name and the
// container is always the application: the receiver resolves the path
// itself, so no chain of containers is needed.

OSStatus MoreAEOCreateObjSpecifierFromFSSpec(const FSSpec* item, AEDesc* specifier) {
  if (item == nullptr || specifier == nullptr) return paramErr;
  FSRef ref;
  OSStatus err = FSpMakeFSRef(item, &ref);
  if (err == noErr) err = MoreAEOCreateObjSpecifierFromFSRef(&ref, specifier);
  return err;
}

OSStatus MoreAEOCreateObjSpecifierFromFSRef(const FSRef* item, AEDesc* specifier) {
  if (item == nullptr || specifier == nullptr) return paramErr;
  CFURLRef url = CFURLCreateFromFSRef(kCFAllocatorDefault, item);
  if (url == nullptr) return coreFoundationUnknownErr;
  OSStatus err = MoreAEOCreateObjSpecifierFromCFURLRef(url, specifier);
  CFRelease(url);
  return err;
}

OSStatus MoreAEOCreateObjSpecifierFromCFURLRef(CFURLRef url, AEDesc* specifier) {
  OSStatus err = paramErr;
  if (url == nullptr || specifier == nullptr) return err;

  Boolean isFolder = CFURLHasDirectoryPath(url);
  CFStringRef path = CFURLCopyFileSystemPath(url, kCFURLHFSPathStyle);
  AEDesc container;
  MoreAENullDesc(&container);
  AEDesc keyData;
  MoreAENullDesc(&keyData);
  Ptr buffer = nullptr;

  // Packages count as files. When Launch Services cannot tell (its call
  // fails and fills no flags), a folder stays a folder: the URL said it was
  // one, and most folders are not packages.
  if (isFolder) {
    LSItemInfoRecord info = {};
    if (LSCopyItemInfoForURL(url, kLSRequestBasicFlagsOnly, &info) == noErr &&
        (info.flags & kLSItemInfoIsPackage) != 0) {
      isFolder = false;
    }
  }

  if (path == nullptr) {
    err = coreFoundationUnknownErr;
  } else {
    const CFIndex length = CFStringGetLength(path);
    buffer = NewPtr(2 * length + (isFolder ? 2 : 0));
    err = MemError();
    if (err == noErr && buffer == nullptr) err = memFullErr;
    if (err == noErr) {
      UniChar* units = reinterpret_cast<UniChar*>(buffer);
      CFStringGetCharacters(path, CFRangeMake(0, length), units);
      if (isFolder) units[length] = 0x003A;  // a folder's name ends with a colon
    }
  }
  if (err == noErr) err = AECreateDesc(typeUnicodeText, buffer, GetPtrSize(buffer), &keyData);
  if (err == noErr) {
    err = CreateObjSpecifier(isFolder ? cFolder : cFile, &container, formName, &keyData, false,
                             specifier);
  }

  MoreAEDisposeDesc(&keyData);
  if (buffer != nullptr) DisposePtr(buffer);
  if (path != nullptr) CFRelease(path);
  return err;
}
