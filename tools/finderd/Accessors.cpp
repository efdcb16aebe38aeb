// Accessors.cpp — how finderd resolves object specifiers: the object
// accessors AEResolve calls, level by level, and the tokens they hand back.
//
// Tokens are descriptors of finderd's own types, never seen outside:
//   'FTit'  one item: a flag byte (1 for a folder) followed by its path;
//   'FTpr'  a property: its four-character code, a flag byte (0: of the
//           application, 1: of a file, 2: of a folder) and the owner's path;
//   'list'  several items (every item of a folder): 'FTit' tokens.
// The application itself (the null container) is the null token.
//
// Accessors, by desired class and container token:
//   'prop' of null or of an item     form 'prop' (seld a type code)
//   'cobj'/'file'/'cfol' of null     form 'name' (seld the item's HFS path as
//                                    text) or 'alis' (seld an alias, 'fsrf',
//                                    'furl' or 'fss '); form 'indx' lists the
//                                    desktop, as the Finder's application
//                                    contains the desktop's items
//   'cobj'/'file'/'cfol' of a folder (an item, or a property whose value is a
//                                    folder, such as 'desk')
//                                    form 'indx' (abso 'all ', 'firs', 'last',
//                                    'midd', or a position from 1, negative
//                                    from the end), 'name' (a leaf name)
#include <cstring>
#include <string>
#include <vector>

#include "platform/corefoundation/HFSPaths.h"
#include "tools/finderd/Finder.h"

namespace finderd {

// ---------------------------------------------------------------------------
// Tokens.

OSErr MakeItemToken(const FinderItem& item, AEDesc* token) {
  std::string bytes(1, item.isFolder ? '\1' : '\0');
  bytes += item.path;
  return AECreateDesc(kItemToken, bytes.data(), Size(bytes.size()), token);
}

namespace {

std::string DescBytes(const AEDesc* desc) {
  std::string bytes(size_t(AEGetDescDataSize(desc)), '\0');
  if (!bytes.empty() && AEGetDescData(desc, bytes.data(), Size(bytes.size())) != noErr) bytes.clear();
  return bytes;
}

}  // namespace

OSErr ItemFromToken(const AEDesc* token, FinderItem* item) {
  if (token == nullptr || token->descriptorType != kItemToken) return errAENoSuchObject;
  std::string bytes = DescBytes(token);
  if (bytes.size() < 2) return errAENoSuchObject;
  item->isFolder = bytes[0] == '\1';
  item->path = bytes.substr(1);
  return noErr;
}

OSErr MakePropertyToken(DescType code, const FinderItem* owner, AEDesc* token) {
  std::string bytes(reinterpret_cast<const char*>(&code), sizeof code);
  if (owner == nullptr) {
    bytes.push_back('\0');
  } else {
    bytes.push_back(owner->isFolder ? '\2' : '\1');
    bytes += owner->path;
  }
  return AECreateDesc(kPropertyToken, bytes.data(), Size(bytes.size()), token);
}

OSErr PropertyFromToken(const AEDesc* token, PropertyRef* property) {
  if (token == nullptr || token->descriptorType != kPropertyToken) return errAENoSuchObject;
  std::string bytes = DescBytes(token);
  if (bytes.size() < 5) return errAENoSuchObject;
  std::memcpy(&property->code, bytes.data(), 4);
  property->hasOwner = bytes[4] != '\0';
  property->owner = FinderItem{};
  if (property->hasOwner) {
    property->owner.isFolder = bytes[4] == '\2';
    property->owner.path = bytes.substr(5);
  }
  return noErr;
}

OSErr AppendItemsOfToken(const AEDesc* token, std::vector<FinderItem>* items) {
  switch (token->descriptorType) {
    case kItemToken: {
      FinderItem item;
      OSErr err = ItemFromToken(token, &item);
      if (err == noErr) items->push_back(item);
      return err;
    }
    case typeAEList: {
      long count = 0;
      OSErr err = AECountItems(token, &count);
      for (long i = 1; err == noErr && i <= count; ++i) {
        ScopedDesc element;
        AEKeyword key = 0;
        err = AEGetNthDesc(token, i, typeWildCard, &key, &element);
        FinderItem item;
        if (err == noErr) err = ItemFromToken(element.get(), &item);
        if (err == noErr) items->push_back(item);
      }
      return err;
    }
    case kPropertyToken: {
      PropertyRef ref;
      OSErr err = PropertyFromToken(token, &ref);
      if (err != noErr) return err;
      const Property* property = FindProperty(ref.code, ref.hasOwner);
      if (property == nullptr || property->items == nullptr) return errAENoSuchObject;
      return property->items(ref, items);
    }
    default:
      return errAENoSuchObject;
  }
}

namespace {

// ---------------------------------------------------------------------------
// Reading key data.

OSErr CodeOf(const AEDesc* desc, DescType type, DescType* code) {
  ScopedDesc coerced;
  OSErr err = AECoerceDesc(desc, type, &coerced);
  if (err != noErr) return err;
  if (AEGetDescDataSize(coerced.get()) != 4) return errAEWrongDataType;
  return AEGetDescData(coerced.get(), code, 4);
}

// Text of any kind ('utxt', 'TEXT', 'utf8', 'pstr') as UTF-16.
OSErr TextOf(const AEDesc* desc, std::u16string* text) {
  ScopedDesc coerced;
  OSErr err = AECoerceDesc(desc, typeUnicodeText, &coerced);
  if (err != noErr) return err;
  const Size size = AEGetDescDataSize(coerced.get());
  if (size % 2 != 0) return errAECorruptData;
  text->assign(size_t(size / 2), u'\0');
  if (size == 0) return noErr;
  return AEGetDescData(coerced.get(), text->data(), size);
}

// The item a whole HFS path names; a name ending in a colon asks for a folder.
OSErr ItemByHFSPath(const std::u16string& hfs, FinderItem* item) {
  std::string posix;
  bool markedFolder = false;
  OSErr err = macplatform::POSIXPathFromHFSPath(hfs, &posix, &markedFolder);
  if (err != noErr) return err;
  err = ItemAtPath(posix, item);
  if (err != noErr) return err;
  if (markedFolder && !item->isFolder) return errAENoSuchObject;
  return noErr;
}

OSErr MakeListToken(const std::vector<FinderItem>& items, AEDesc* token) {
  AEDesc list = {typeNull, nullptr};
  OSErr err = AECreateList(nullptr, 0, false, &list);
  for (size_t i = 0; err == noErr && i < items.size(); ++i) {
    ScopedDesc one;
    err = MakeItemToken(items[i], &one);
    if (err == noErr) err = AEPutDesc(&list, 0, one.get());
  }
  if (err != noErr) {
    AEDisposeDesc(&list);
    return err;
  }
  *token = list;
  return noErr;
}

// ---------------------------------------------------------------------------
// Accessors.

OSErr PropertyAccessor(DescType, const AEDesc* container, DescType containerClass, DescType form,
                       const AEDesc* selectionData, AEDesc* value, SInt32) {
  if (form != formPropertyID) return errAEBadKeyForm;
  DescType code = 0;
  OSErr err = CodeOf(selectionData, typeType, &code);
  if (err != noErr) return err;
  FinderItem owner;
  const bool ofItem = containerClass == kItemToken;
  if (ofItem) {
    err = ItemFromToken(container, &owner);
    if (err != noErr) return err;
  }
  if (FindProperty(code, ofItem) == nullptr) return errAENoSuchObject;
  return MakePropertyToken(code, ofItem ? &owner : nullptr, value);
}

// Elements of a folder, by position, ordinal or leaf name.
OSErr ElementOfFolder(const FinderItem& folder, DescType wantClass, DescType form,
                      const AEDesc* selectionData, AEDesc* value) {
  if (!folder.isFolder) return errAENoSuchObject;
  if (form == formName) {
    std::u16string leaf;
    OSErr err = TextOf(selectionData, &leaf);
    if (err != noErr) return err;
    if (leaf.empty() || leaf.find(u':') != std::u16string::npos) return errAENoSuchObject;
    std::u16string hfs;
    err = macplatform::HFSPathFromPOSIXPath(folder.path, &hfs);
    if (err != noErr) return err;
    if (hfs.back() != u':') hfs.push_back(u':');
    hfs += leaf;
    FinderItem item;
    err = ItemByHFSPath(hfs, &item);
    if (err != noErr) return err;
    if (!ItemIsOfClass(item, wantClass)) return errAENoSuchObject;
    return MakeItemToken(item, value);
  }
  if (form != formAbsolutePosition) return errAEBadKeyForm;

  std::vector<FinderItem> contents;
  OSErr err = FolderContents(folder, wantClass, &contents);
  if (err != noErr) return err;
  const long count = long(contents.size());
  long index = 0;
  if (selectionData->descriptorType == typeAbsoluteOrdinal) {
    DescType ordinal = 0;
    err = CodeOf(selectionData, typeAbsoluteOrdinal, &ordinal);
    if (err != noErr) return err;
    switch (ordinal) {
      case kAEAll:
        return MakeListToken(contents, value);
      case kAEFirst:
        index = 1;
        break;
      case kAELast:
        index = count;
        break;
      case kAEMiddle:
        index = (count + 1) / 2;
        break;
      default:
        return errAEBadKeyForm;
    }
  } else {
    ScopedDesc number;
    err = AECoerceDesc(selectionData, typeSInt32, &number);
    if (err != noErr) return err;
    SInt32 n = 0;
    err = AEGetDescData(number.get(), &n, sizeof n);
    if (err != noErr) return err;
    index = n < 0 ? count + 1 + long(n) : long(n);
  }
  if (index < 1 || index > count) return errAENoSuchObject;
  return MakeItemToken(contents[size_t(index - 1)], value);
}

// Items of the application: by path, by alias, or the desktop's contents.
OSErr ItemOfApplication(DescType wantClass, DescType form, const AEDesc* selectionData,
                        AEDesc* value) {
  FinderItem item;
  OSErr err = noErr;
  switch (form) {
    case formName: {
      std::u16string hfs;
      err = TextOf(selectionData, &hfs);
      if (err == noErr) err = ItemByHFSPath(hfs, &item);
      break;
    }
    case formAlias: {
      std::vector<FinderItem> found;
      const DescType type = selectionData->descriptorType;
      if (type != typeAlias && type != typeFSRef && type != typeFileURL && type != typeFSS)
        return errAEWrongDataType;
      err = AppendItemsOfDesc(selectionData, &found);
      if (err == noErr && found.size() != 1) err = errAENoSuchObject;
      if (err == noErr) item = found[0];
      break;
    }
    case formAbsolutePosition: {
      FinderItem desktop;
      err = DesktopFolder(&desktop);
      if (err != noErr) return err;
      return ElementOfFolder(desktop, wantClass, form, selectionData, value);
    }
    default:
      return errAEBadKeyForm;
  }
  if (err != noErr) return err;
  if (!ItemIsOfClass(item, wantClass)) return errAENoSuchObject;
  return MakeItemToken(item, value);
}

OSErr ItemAccessor(DescType desiredClass, const AEDesc* container, DescType containerClass,
                   DescType form, const AEDesc* selectionData, AEDesc* value, SInt32) {
  switch (containerClass) {
    case typeNull:
      return ItemOfApplication(desiredClass, form, selectionData, value);
    case kItemToken: {
      FinderItem folder;
      OSErr err = ItemFromToken(container, &folder);
      if (err != noErr) return err;
      return ElementOfFolder(folder, desiredClass, form, selectionData, value);
    }
    case kPropertyToken: {
      // A property whose value is one folder (the desktop) contains items.
      std::vector<FinderItem> items;
      OSErr err = AppendItemsOfToken(container, &items);
      if (err != noErr) return err;
      if (items.size() != 1) return errAENoSuchObject;
      return ElementOfFolder(items[0], desiredClass, form, selectionData, value);
    }
    default:
      return errAENoSuchObject;
  }
}

}  // namespace

OSErr InstallObjectAccessors() {
  OSErr err = AEObjectInit();
  for (DescType container : {DescType(typeNull), DescType(kItemToken)}) {
    if (err == noErr) err = AEInstallObjectAccessor(cProperty, container, PropertyAccessor, 0, false);
  }
  for (DescType want : {DescType(cObject), DescType(cFile), DescType(cFolder)}) {
    for (DescType container : {DescType(typeNull), DescType(kItemToken), DescType(kPropertyToken)}) {
      if (err == noErr) err = AEInstallObjectAccessor(want, container, ItemAccessor, 0, false);
    }
  }
  return err;
}

}  // namespace finderd
