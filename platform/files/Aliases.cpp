// Aliases.cpp — alias records: their bytes, making them, resolving them.
//
// A record travels in Apple events between processes, so it holds no index
// into this process's tables, only what any process can check: the item's
// absolute path and its identity. Layout, every number big-endian:
//
//   offset  size  field
//        0     4  userType
//        4     2  aliasSize: the record's total size, 40 + path length
//        6     2  version (1)
//        8     8  device
//       16     8  inode
//       24     8  birth time, seconds (0: the file system keeps none)
//       32     4  birth time, nanoseconds
//       36     2  flags: bit 0 set for a folder
//       38     2  path length
//       40     n  absolute path, no NUL
//
// Resolution goes by path (an inode cannot be looked up on Linux); the
// identity tells whether the item at the path is still the one the record
// was made of.
#include <limits.h>

#include <cstring>
#include <vector>

#include "platform/files/FilesInternal.h"

namespace macplatform::files {
namespace {

constexpr size_t kHeaderSize = 40;
constexpr UInt16 kVersion = 1;
constexpr UInt16 kFolderFlag = 0x0001;
constexpr size_t kMaxPath = PATH_MAX - 1;

UInt64 GetBig(const UInt8* p, int n) {
  UInt64 v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | p[i];
  return v;
}

void PutBig(UInt8* p, int n, UInt64 v) {
  for (int i = n - 1; i >= 0; --i) {
    p[i] = static_cast<UInt8>(v);
    v >>= 8;
  }
}

void PutIdentity(UInt8* p, const Identity& identity, bool isFolder) {
  PutBig(p + 8, 8, identity.device);
  PutBig(p + 16, 8, identity.inode);
  PutBig(p + 24, 8, static_cast<UInt64>(identity.birthSeconds));
  PutBig(p + 32, 4, identity.birthNanoseconds);
  PutBig(p + 36, 2, isFolder ? kFolderFlag : 0);
}

// The bytes of a handle, or NULL with `size` 0.
const UInt8* HandleBytes(AliasHandle alias, size_t* size) {
  *size = 0;
  if (alias == nullptr || *alias == nullptr) return nullptr;
  Size n = GetHandleSize(reinterpret_cast<Handle>(alias));
  if (n <= 0) return nullptr;
  *size = static_cast<size_t>(n);
  return reinterpret_cast<const UInt8*>(*alias);
}

}  // namespace

OSErr ParseAlias(const void* bytes, size_t size, AliasContents* contents) {
  if (bytes == nullptr) return paramErr;
  const auto* p = static_cast<const UInt8*>(bytes);
  if (size < kHeaderSize) return paramErr;
  UInt16 aliasSize = static_cast<UInt16>(GetBig(p + 4, 2));
  if (aliasSize < kHeaderSize || aliasSize > size) return paramErr;
  if (GetBig(p + 6, 2) != kVersion) return paramErr;
  UInt16 flags = static_cast<UInt16>(GetBig(p + 36, 2));
  if (flags & ~kFolderFlag) return paramErr;
  size_t pathLength = GetBig(p + 38, 2);
  if (pathLength == 0 || pathLength > kMaxPath || kHeaderSize + pathLength != aliasSize) return paramErr;
  const char* path = reinterpret_cast<const char*>(p + kHeaderSize);
  if (path[0] != '/' || std::memchr(path, '\0', pathLength) != nullptr) return paramErr;
  UInt32 nanoseconds = static_cast<UInt32>(GetBig(p + 32, 4));
  if (nanoseconds > 999999999) return paramErr;
  if (contents != nullptr) {
    contents->userType = static_cast<OSType>(GetBig(p, 4));
    contents->size = aliasSize;
    contents->device = static_cast<dev_t>(GetBig(p + 8, 8));
    contents->inode = static_cast<ino_t>(GetBig(p + 16, 8));
    contents->birthSeconds = static_cast<SInt64>(GetBig(p + 24, 8));
    contents->birthNanoseconds = nanoseconds;
    contents->isFolder = (flags & kFolderFlag) != 0;
    contents->path.assign(path, pathLength);
  }
  return noErr;
}

OSErr MakeAliasBytes(const FSRef& ref, std::vector<UInt8>* bytes) {
  if (bytes == nullptr) return paramErr;
  CheckedItem item;
  OSErr err = FindItem(&ref, ItemAccess::kStatus, &item);
  if (err != noErr) return err;
  const std::string& path = item.handle.path;
  if (path.size() > kMaxPath || kHeaderSize + path.size() > 0xFFFF) return bdNamErr;
  std::vector<UInt8> out(kHeaderSize + path.size(), 0);
  PutBig(out.data() + 4, 2, out.size());
  PutBig(out.data() + 6, 2, kVersion);
  PutIdentity(out.data(), item.identity, item.isFolder());
  PutBig(out.data() + 38, 2, path.size());
  std::memcpy(out.data() + kHeaderSize, path.data(), path.size());
  *bytes = std::move(out);
  return noErr;
}

// Resolves parsed contents. When the item at the path is another one than the
// record's, `changed` is set and `now`/`nowFolder` give the new identity.
static OSErr ResolveContents(const AliasContents& alias, FSRef* target, bool* changed, Identity* now,
                             bool* nowFolder) {
  std::string path;
  OSErr err = AbsolutePath(alias.path, &path);
  if (err != noErr) return err;
  struct statx st;
  err = StatPath(path, &st, now);
  if (err == dirNFErr) err = fnfErr;
  if (err != noErr) return err;
  Identity recorded{alias.device, alias.inode, alias.birthSeconds, alias.birthNanoseconds};
  *changed = !(recorded == *now);
  *nowFolder = S_ISDIR(st.stx_mode);
  MakeRefFor(path, *now, target);
  return noErr;
}

OSErr ResolveAliasBytes(const void* bytes, size_t size, FSRef* target, bool* wasChanged) {
  if (target == nullptr) return paramErr;
  AliasContents alias;
  OSErr err = ParseAlias(bytes, size, &alias);
  if (err != noErr) return err;
  bool changed = false, folder = false;
  Identity now;
  err = ResolveContents(alias, target, &changed, &now, &folder);
  if (err == noErr && wasChanged != nullptr) *wasChanged = changed;
  return err;
}

}  // namespace macplatform::files

using namespace macplatform::files;

OSErr FSNewAlias(const FSRef* fromFile, const FSRef* target, AliasHandle* inAlias) {
  (void)fromFile;  // records hold absolute paths: nothing is relative
  if (target == nullptr || inAlias == nullptr) return paramErr;
  std::vector<UInt8> bytes;
  OSErr err = MakeAliasBytes(*target, &bytes);
  if (err != noErr) return err;
  Handle h = nullptr;
  err = PtrToHand(bytes.data(), &h, static_cast<long>(bytes.size()));
  if (err != noErr) return err;
  *inAlias = reinterpret_cast<AliasHandle>(h);
  return noErr;
}

OSErr NewAlias(const FSSpec* fromFile, const FSSpec* target, AliasHandle* alias) {
  (void)fromFile;
  if (target == nullptr || alias == nullptr) return paramErr;
  FSRef ref;
  OSErr err = FSpMakeFSRef(target, &ref);
  if (err != noErr) return err;
  return FSNewAlias(nullptr, &ref, alias);
}

OSErr FSResolveAliasWithMountFlags(const FSRef* fromFile, AliasHandle inAlias, FSRef* target,
                                   Boolean* wasChanged, unsigned long mountFlags) {
  (void)fromFile;
  (void)mountFlags;  // nothing is ever mounted, so nothing asks the user
  if (inAlias == nullptr || target == nullptr) return paramErr;
  size_t size = 0;
  const UInt8* bytes = HandleBytes(inAlias, &size);
  if (bytes == nullptr) return paramErr;
  AliasContents alias;
  OSErr err = ParseAlias(bytes, size, &alias);
  if (err != noErr) return err;
  bool changed = false, folder = false;
  Identity now;
  FSRef found;
  err = ResolveContents(alias, &found, &changed, &now, &folder);
  if (err != noErr) return err;
  if (changed) {
    // The item at the path was replaced: the record now names the new item,
    // as an alias updated after an editor's save-by-replace would.
    PutIdentity(reinterpret_cast<UInt8*>(*inAlias), now, folder);
  }
  *target = found;
  if (wasChanged != nullptr) *wasChanged = changed;
  return noErr;
}

OSErr FSResolveAlias(const FSRef* fromFile, AliasHandle alias, FSRef* target, Boolean* wasChanged) {
  return FSResolveAliasWithMountFlags(fromFile, alias, target, wasChanged, 0);
}

Size GetAliasSize(AliasHandle alias) {
  size_t size = 0;
  const UInt8* bytes = HandleBytes(alias, &size);
  AliasContents contents;
  if (ParseAlias(bytes, size, &contents) != noErr) return 0;
  return contents.size;
}

OSType GetAliasUserType(AliasHandle alias) {
  size_t size = 0;
  const UInt8* bytes = HandleBytes(alias, &size);
  if (size < 4) return 0;
  return static_cast<OSType>(GetBig(bytes, 4));
}

void SetAliasUserType(AliasHandle alias, OSType userType) {
  size_t size = 0;
  if (HandleBytes(alias, &size) == nullptr || size < 4) return;
  PutBig(reinterpret_cast<UInt8*>(*alias), 4, userType);
}
