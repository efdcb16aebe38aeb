// LaunchServices.cpp — item information from the file system and the
// Finder information kept beside each item.
#include "platform/launchservices/LaunchServices.h"

#include <cerrno>
#include <string>
#include <sys/stat.h>

#include "platform/core/Errno.h"
#include "platform/core/SysCalls.h"
#include "platform/files/Files.h"

namespace {

// Folder name extensions that make a bundle (compared without ASCII case).
constexpr const char* kBundleExtensions[] = {
    "app",  "bundle", "framework", "plugin", "prefpane", "kext",   "splc",      "pkg",
    "mpkg", "rtfd",   "wdgt",      "component", "qlgenerator", "mdimporter", "saver", "xpc",
};

std::string Lower(std::string s) {
  for (char& c : s) c = char(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return s;
}

std::string LeafName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// The extension of a leaf name: after the last dot, when the dot is neither
// the first nor the last character.
std::string Extension(const std::string& leaf) {
  size_t dot = leaf.rfind('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == leaf.size()) return "";
  return leaf.substr(dot + 1);
}

bool IsBundleExtension(const std::string& extension) {
  std::string lower = Lower(extension);
  for (const char* known : kBundleExtensions) {
    if (lower == known) return true;
  }
  return false;
}

UInt32 BigEndian32(const UInt8* p) {
  return (UInt32(p[0]) << 24) | (UInt32(p[1]) << 16) | (UInt32(p[2]) << 8) | p[3];
}

}  // namespace

OSStatus LSCopyItemInfoForURL(CFURLRef inURL, LSRequestedInfo whichInfo,
                              LSItemInfoRecord* outItemInfo) {
  if (inURL == nullptr || outItemInfo == nullptr || whichInfo == 0) return paramErr;
  UInt8 pathBytes[4096];
  if (!CFURLGetFileSystemRepresentation(inURL, true, pathBytes, sizeof pathBytes)) return bdNamErr;
  std::string path(reinterpret_cast<char*>(pathBytes));

  struct stat st;
  if (macplatform::sys::Lstat(path.c_str(), &st) != 0) return macplatform::OSErrFromErrno(errno);

  LSItemInfoRecord info{};
  std::string leaf = path == "/" ? "" : LeafName(path);
  std::string extension = Extension(leaf);
  if (S_ISLNK(st.st_mode)) {
    info.flags |= kLSItemInfoIsSymlink | kLSItemInfoIsAliasFile;
  } else if (S_ISDIR(st.st_mode)) {
    info.flags |= kLSItemInfoIsContainer;
    if (path == "/") info.flags |= kLSItemInfoIsVolume;
    struct stat plist;
    bool bundle = IsBundleExtension(extension) ||
                  macplatform::sys::Stat((path + "/Contents/Info.plist").c_str(), &plist) == 0;
    if (bundle) {
      info.flags |= kLSItemInfoIsPackage;
      if (Lower(extension) == "app") info.flags |= kLSItemInfoIsApplication | kLSItemInfoIsNativeApp;
    }
  } else {
    info.flags |= kLSItemInfoIsPlainFile;
  }
  if (!leaf.empty() && leaf[0] == '.') info.flags |= kLSItemInfoIsInvisible;

  // Finder information: flags for every item, type and creator for files.
  // An item whose information cannot be read simply has none.
  if (!S_ISLNK(st.st_mode)) {
    FSRef ref;
    FSCatalogInfo catalog{};
    if (FSPathMakeRef(pathBytes, &ref, nullptr) == noErr &&
        FSGetCatalogInfo(&ref, kFSCatInfoFinderInfo, &catalog, nullptr, nullptr, nullptr) == noErr) {
      UInt16 finderFlags = UInt16((catalog.finderInfo[8] << 8) | catalog.finderInfo[9]);
      if (finderFlags & kIsInvisible) info.flags |= kLSItemInfoIsInvisible;
      if ((finderFlags & kIsAlias) && !S_ISDIR(st.st_mode)) info.flags |= kLSItemInfoIsAliasFile;
      if (!S_ISDIR(st.st_mode) && (whichInfo & kLSRequestTypeCreator)) {
        info.filetype = BigEndian32(catalog.finderInfo);
        info.creator = BigEndian32(catalog.finderInfo + 4);
      }
    }
  }

  if ((whichInfo & kLSRequestExtension) && !extension.empty()) {
    info.extension = CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(extension.data()),
                                             CFIndex(extension.size()), kCFStringEncodingUTF8, false);
    if (info.extension == nullptr) {  // not UTF-8: shown through Latin-1
      info.extension = CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(extension.data()),
                                               CFIndex(extension.size()), kCFStringEncodingISOLatin1, false);
    }
  }
  *outItemInfo = info;
  return noErr;
}
