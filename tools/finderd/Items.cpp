// Items.cpp — items of the file system and the Finder's names for them:
// object specifiers by HFS path, alias records, and items from whatever
// descriptor a client sends.
#include <climits>
#include <string>
#include <vector>

#include "platform/corefoundation/HFSPaths.h"
#include "tools/finderd/Finder.h"

namespace finderd {

OSErr ItemFromFSRef(const FSRef& ref, FinderItem* item) {
  std::vector<UInt8> path(PATH_MAX + 1);
  OSErr err = FSRefMakePath(&ref, path.data(), UInt32(path.size()));
  if (err != noErr) return err;
  FSCatalogInfo info{};
  err = FSGetCatalogInfo(&ref, kFSCatInfoNodeFlags, &info, nullptr, nullptr, nullptr);
  if (err != noErr) return err;
  item->path = reinterpret_cast<const char*>(path.data());
  item->isFolder = (info.nodeFlags & kFSNodeIsDirectoryMask) != 0;
  return noErr;
}

OSErr ItemAtPath(const std::string& path, FinderItem* item) {
  if (path.empty() || path.find('\0') != std::string::npos) return bdNamErr;
  FSRef ref;
  Boolean isFolder = false;
  OSErr err = FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), &ref, &isFolder);
  if (err != noErr) return err;
  std::vector<UInt8> normalised(PATH_MAX + 1);
  err = FSRefMakePath(&ref, normalised.data(), UInt32(normalised.size()));
  if (err != noErr) return err;
  item->path = reinterpret_cast<const char*>(normalised.data());
  item->isFolder = isFolder;
  return noErr;
}

bool ItemIsOfClass(const FinderItem& item, DescType wantClass) {
  switch (wantClass) {
    case cFile:
      return !item.isFolder;
    case cFolder:
      return item.isFolder;
    case cObject:
      return true;
    default:
      return false;
  }
}

OSErr MakeItemSpecifier(const FinderItem& item, AEDesc* specifier) {
  std::u16string hfs;
  OSErr err = macplatform::HFSPathFromPOSIXPath(item.path, &hfs);
  if (err != noErr) return err;
  // A folder's name ends in a colon; the root's HFS path has one already.
  if (item.isFolder && (hfs.empty() || hfs.back() != u':')) hfs.push_back(u':');
  AEDesc keyData = {typeNull, nullptr};
  err = AECreateDesc(typeUnicodeText, hfs.data(), Size(hfs.size() * sizeof(char16_t)), &keyData);
  if (err != noErr) return err;
  // CreateObjSpecifier disposes of the key data whatever the outcome.
  return CreateObjSpecifier(item.isFolder ? cFolder : cFile, nullptr, formName, &keyData, true,
                            specifier);
}

OSErr MakeSpecifierList(const std::vector<FinderItem>& items, AEDesc* list) {
  AEDesc result = {typeNull, nullptr};
  OSErr err = AECreateList(nullptr, 0, false, &result);
  for (size_t i = 0; err == noErr && i < items.size(); ++i) {
    ScopedDesc specifier;
    err = MakeItemSpecifier(items[i], &specifier);
    if (err == noErr) err = AEPutDesc(&result, 0, specifier.get());
  }
  if (err != noErr) {
    AEDisposeDesc(&result);
    return err;
  }
  *list = result;
  return noErr;
}

namespace {

// The alias record of an item found a moment ago.
OSErr MakeItemAlias(const FSRef& ref, AEDesc* alias) {
  AliasHandle record = nullptr;
  OSErr err = FSNewAlias(nullptr, &ref, &record);
  if (err != noErr) return err;
  if (record == nullptr) return paramErr;
  err = AECreateDesc(typeAlias, *record, GetHandleSize(reinterpret_cast<Handle>(record)), alias);
  DisposeHandle(reinterpret_cast<Handle>(record));
  return err;
}

}  // namespace

OSErr ItemValue(const FinderItem& item, DescType requestedType, AEDesc* value) {
  // The item is looked up again: one that was deleted since it was named
  // has no value. Its path is the normalised one already.
  FSRef ref;
  Boolean isFolder = false;
  OSErr err = FSPathMakeRef(reinterpret_cast<const UInt8*>(item.path.c_str()), &ref, &isFolder);
  if (err != noErr) return err;
  const FinderItem now{item.path, isFolder != 0};
  if (requestedType == typeWildCard || requestedType == typeObjectSpecifier)
    return MakeItemSpecifier(now, value);
  if (requestedType == typeAlias) return MakeItemAlias(ref, value);
  ScopedDesc alias;
  err = MakeItemAlias(ref, &alias);
  if (err != noErr) return err;
  return AECoerceDesc(alias.get(), requestedType, value);
}

namespace {

OSErr AppendOne(const AEDesc* desc, std::vector<FinderItem>* items) {
  switch (desc->descriptorType) {
    case typeObjectSpecifier: {
      ScopedDesc token;
      OSErr err = AEResolve(desc, kAEIDoMinimum, &token);
      if (err != noErr) return err;
      return AppendItemsOfToken(token.get(), items);
    }
    case typeAlias:
    case typeFSRef:
    case typeFileURL:
    case typeFSS: {
      ScopedDesc refDesc;
      OSErr err = AECoerceDesc(desc, typeFSRef, &refDesc);
      if (err != noErr) return err;
      FSRef ref;
      if (AEGetDescDataSize(refDesc.get()) != Size(sizeof ref)) return errAECoercionFail;
      err = AEGetDescData(refDesc.get(), &ref, sizeof ref);
      if (err != noErr) return err;
      FinderItem item;
      err = ItemFromFSRef(ref, &item);
      if (err != noErr) return err;
      items->push_back(item);
      return noErr;
    }
    default:
      return errAEWrongDataType;
  }
}

}  // namespace

OSErr AppendItemsOfDesc(const AEDesc* desc, std::vector<FinderItem>* items) {
  if (desc == nullptr || items == nullptr) return paramErr;
  if (desc->descriptorType != typeAEList) return AppendOne(desc, items);
  long count = 0;
  OSErr err = AECountItems(desc, &count);
  for (long i = 1; err == noErr && i <= count; ++i) {
    ScopedDesc element;
    AEKeyword key = 0;
    err = AEGetNthDesc(desc, i, typeWildCard, &key, &element);
    if (err != noErr) break;
    // One level only: a list inside the list is not an item.
    err = element.get()->descriptorType == typeAEList ? OSErr(errAEWrongDataType)
                                                       : AppendOne(element.get(), items);
  }
  return err;
}

}  // namespace finderd
