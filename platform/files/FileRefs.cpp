// FileRefs.cpp — FSRef and FSSpec on Linux.
//
// Sections:
//   1. Paths and identities: statx, normalised absolute paths.
//   2. The process-wide tables: item paths (FSRef), volumes and folders
//      (FSSpec). Each is keyed by identity, so naming the same items again and
//      again does not grow them.
//   3. FSRef bytes: what is in the 80 bytes and how they are checked.
//   4. The Mac calls.
#include <fcntl.h>
#include <limits.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/core/Errno.h"
#include "platform/core/SysCalls.h"
#include "platform/files/FilesInternal.h"

namespace macplatform::files {

// ---------------------------------------------------------------------------
// 1. Paths and identities.

namespace {

// statx relative to `dirfd` (AT_EMPTY_PATH in `flags`: of `dirfd` itself),
// and the identity in it.
OSErr StatAt(int dirfd, const char* path, int flags, struct statx* status, Identity* identity) {
  struct statx st {};
  if (sys::Statx(dirfd, path, flags | AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME, &st) != 0)
    return OSErrFromErrno(errno);
  if (status != nullptr) *status = st;
  if (identity != nullptr) {
    identity->device = makedev(st.stx_dev_major, st.stx_dev_minor);
    identity->inode = st.stx_ino;
    bool birth = (st.stx_mask & STATX_BTIME) != 0;
    identity->birthSeconds = birth ? st.stx_btime.tv_sec : 0;
    identity->birthNanoseconds = birth ? st.stx_btime.tv_nsec : 0;
  }
  return noErr;
}

OSErr StatFd(int fd, struct statx* status, Identity* identity) {
  return StatAt(fd, "", AT_EMPTY_PATH, status, identity);
}

}  // namespace

OSErr StatPath(const std::string& path, struct statx* status, Identity* identity) {
  return StatAt(AT_FDCWD, path.c_str(), 0, status, identity);
}

namespace {

// Splits "/a/b/c" into components, dropping empty ones and ".".
std::vector<std::string> Components(const std::string& path) {
  std::vector<std::string> parts;
  size_t i = 0;
  while (i <= path.size()) {
    size_t j = path.find('/', i);
    if (j == std::string::npos) j = path.size();
    std::string part = path.substr(i, j - i);
    if (!part.empty() && part != ".") parts.push_back(std::move(part));
    i = j + 1;
  }
  return parts;
}

}  // namespace

OSErr AbsolutePath(const std::string& path, std::string* absolute) {
  if (path.empty()) return fnfErr;
  if (path.find('\0') != std::string::npos) return bdNamErr;
  std::string full = path;
  if (full[0] != '/') {
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd) == nullptr) return OSErrFromErrno(errno);
    full = std::string(cwd) + "/" + full;
  }
  std::vector<std::string> parts = Components(full);
  bool dotdot = false;
  for (const std::string& p : parts) dotdot = dotdot || p == "..";
  if (dotdot) {
    // ".." means the parent of what the previous components reach, through
    // links: only the file system can say. The item exists (or nothing works).
    char* real = ::realpath(full.c_str(), nullptr);
    if (real == nullptr) return OSErrFromErrno(errno);
    full = real;
    std::free(real);
    parts = Components(full);
  }
  std::string out;
  for (const std::string& p : parts) out += "/" + p;
  if (out.empty()) out = "/";
  if (out.size() >= PATH_MAX) return bdNamErr;
  *absolute = std::move(out);
  return noErr;
}

// ---------------------------------------------------------------------------
// 2. The process-wide tables.
//
// Items: one row per identity with the last path it was seen at. A new path
// for a known item (a hard link, or the item named again after a move)
// replaces the old one, so references made earlier follow it. Volumes: one
// number per device. Folders: one ID per folder identity, with its path.

namespace {

struct ItemRow {
  Identity identity;
  std::string path;
};

struct IdentityKey {
  dev_t device;
  ino_t inode;
  auto operator<=>(const IdentityKey&) const = default;
};

struct Tables {
  std::mutex mutex;
  std::vector<ItemRow> items;
  std::map<IdentityKey, UInt32> itemIndex;
  std::vector<dev_t> volumes;
  std::vector<ItemRow> folders;  // folder ID = kFirstFolderID + index
  std::map<IdentityKey, UInt32> folderIndex;
  UInt64 token = 0;  // tells this process's FSRefs from any other's
};

constexpr UInt32 kFirstFolderID = 16;  // 1 and 2 are the classic root IDs

Tables& TheTables() {
  static Tables* tables = [] {
    auto* t = new Tables;  // never destroyed: refs may be used during exit
    std::random_device rd;
    while (t->token == 0) t->token = (UInt64(rd()) << 32) ^ rd() ^ UInt64(::getpid());
    return t;
  }();
  return *tables;
}

// Records a row; returns its index. The caller holds the mutex.
UInt32 Record(std::vector<ItemRow>& rows, std::map<IdentityKey, UInt32>& index, const std::string& path,
              const Identity& identity) {
  IdentityKey key{identity.device, identity.inode};
  auto it = index.find(key);
  if (it != index.end()) {
    rows[it->second] = ItemRow{identity, path};  // same inode: the newest path and birth time
    return it->second;
  }
  rows.push_back(ItemRow{identity, path});
  UInt32 i = static_cast<UInt32>(rows.size() - 1);
  index.emplace(key, i);
  return i;
}

}  // namespace

SInt16 VolumeRefNum(dev_t device) {
  Tables& t = TheTables();
  std::lock_guard<std::mutex> lock(t.mutex);
  for (size_t i = 0; i < t.volumes.size(); ++i)
    if (t.volumes[i] == device) return static_cast<SInt16>(-1 - static_cast<int>(i));
  if (t.volumes.size() >= 32767) return 0;  // cannot happen on a real machine
  t.volumes.push_back(device);
  return static_cast<SInt16>(-static_cast<int>(t.volumes.size()));
}

UInt32 FolderID(const std::string& path, const Identity& identity) {
  Tables& t = TheTables();
  std::lock_guard<std::mutex> lock(t.mutex);
  return kFirstFolderID + Record(t.folders, t.folderIndex, path, identity);
}

namespace {

// The path and identity of a folder ID; false when unknown.
bool FolderByID(UInt32 id, ItemRow* row) {
  Tables& t = TheTables();
  std::lock_guard<std::mutex> lock(t.mutex);
  if (id < kFirstFolderID || id - kFirstFolderID >= t.folders.size()) return false;
  *row = t.folders[id - kFirstFolderID];
  return true;
}

bool DeviceOfVolume(SInt16 vRefNum, dev_t* device) {
  Tables& t = TheTables();
  std::lock_guard<std::mutex> lock(t.mutex);
  int i = -1 - vRefNum;
  if (vRefNum >= 0 || static_cast<size_t>(i) >= t.volumes.size()) return false;
  *device = t.volumes[i];
  return true;
}

// ---------------------------------------------------------------------------
// 3. FSRef bytes.
//
// Big or little endian does not matter: the bytes never leave the process.
// The check word mixes every field with the process token, so that garbage
// or a reference of another process is refused before any table lookup.

constexpr UInt32 kRefMagic = 'TwFr';

struct RefBytes {
  UInt32 magic;
  UInt32 index;
  UInt64 token;
  UInt64 device;
  UInt64 inode;
  SInt64 birthSeconds;
  UInt32 birthNanoseconds;
  UInt32 check;
};
static_assert(sizeof(RefBytes) <= sizeof(FSRef::hidden));

UInt32 CheckWord(const RefBytes& r) {
  UInt64 h = 0x9E3779B97F4A7C15ull ^ r.token;
  for (UInt64 v : {UInt64(r.magic), UInt64(r.index), r.device, r.inode, UInt64(r.birthSeconds),
                   UInt64(r.birthNanoseconds)}) {
    h ^= v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
    h *= 0xBF58476D1CE4E5B9ull;
  }
  return static_cast<UInt32>(h ^ (h >> 32));
}

// The path and identity recorded for a reference; errFSBadFSRef when the
// bytes are not a reference of this process.
OSErr Lookup(const FSRef& ref, std::string* path, Identity* identity) {
  RefBytes r;
  std::memcpy(&r, ref.hidden, sizeof r);
  for (size_t i = sizeof r; i < sizeof ref.hidden; ++i)
    if (ref.hidden[i] != 0) return errFSBadFSRef;
  Tables& t = TheTables();
  if (r.magic != kRefMagic || r.token != t.token || r.check != CheckWord(r)) return errFSBadFSRef;
  std::lock_guard<std::mutex> lock(t.mutex);
  if (r.index >= t.items.size()) return errFSBadFSRef;
  const ItemRow& row = t.items[r.index];
  if (row.identity.device != r.device || row.identity.inode != r.inode) return errFSBadFSRef;
  *path = row.path;
  identity->device = r.device;
  identity->inode = r.inode;
  identity->birthSeconds = r.birthSeconds;
  identity->birthNanoseconds = r.birthNanoseconds;
  return noErr;
}

}  // namespace

void MakeRefFor(const std::string& path, const Identity& identity, FSRef* ref) {
  Tables& t = TheTables();
  RefBytes r{};
  {
    std::lock_guard<std::mutex> lock(t.mutex);
    r.index = Record(t.items, t.itemIndex, path, identity);
  }
  r.magic = kRefMagic;
  r.token = t.token;
  r.device = identity.device;
  r.inode = identity.inode;
  r.birthSeconds = identity.birthSeconds;
  r.birthNanoseconds = identity.birthNanoseconds;
  r.check = CheckWord(r);
  std::memset(ref->hidden, 0, sizeof ref->hidden);
  std::memcpy(ref->hidden, &r, sizeof r);
}

CheckedItem::~CheckedItem() {
  if (handle.fd >= 0) sys::Close(handle.fd);
}

OSErr FindItemAtPath(const std::string& path, const Identity& identity, ItemAccess access, CheckedItem* item) {
  Identity now;
  OSErr err = StatPath(path, &item->status, &now);
  if (err != noErr) return err;
  if (!(now == identity)) return fnfErr;  // deleted and replaced by another item
  item->handle.path = path;
  item->identity = now;
  if (access == ItemAccess::kStatus) return noErr;
  // Files and folders are opened (never devices or pipes: opening them can
  // have effects), then checked again through the descriptor, so the item
  // cannot be swapped between the check and the use. An item we may not
  // open for reading is used by path.
  if (S_ISREG(item->status.stx_mode) || S_ISDIR(item->status.stx_mode)) {
    int fd = sys::Open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (fd >= 0) {
      item->handle.fd = fd;
      err = StatFd(fd, &item->status, &now);
      if (err != noErr) return err;
      if (!(now == identity)) return fnfErr;
    }
  }
  return noErr;
}

OSErr FindItem(const FSRef* ref, ItemAccess access, CheckedItem* item) {
  if (ref == nullptr || item == nullptr) return paramErr;
  std::string path;
  Identity identity;
  OSErr err = Lookup(*ref, &path, &identity);
  if (err != noErr) return err;
  err = FindItemAtPath(path, identity, access, item);
  // A path that now leads nowhere, or through something that is no folder,
  // means the item is gone from where it was.
  if (err == dirNFErr) err = fnfErr;
  return err;
}

OSErr MakeFSRef(const std::string& path, FSRef* ref, bool* isDirectory) {
  if (ref == nullptr) return paramErr;
  std::string absolute;
  OSErr err = AbsolutePath(path, &absolute);
  if (err != noErr) return err;
  struct statx st;
  Identity identity;
  err = StatPath(absolute, &st, &identity);
  if (err != noErr) return err;
  MakeRefFor(absolute, identity, ref);
  if (isDirectory != nullptr) *isDirectory = S_ISDIR(st.stx_mode);
  return noErr;
}

OSErr PathOfFSRef(const FSRef& ref, std::string* path) {
  if (path == nullptr) return paramErr;
  CheckedItem item;
  OSErr err = FindItem(&ref, ItemAccess::kStatus, &item);
  if (err != noErr) return err;
  *path = item.handle.path;
  return noErr;
}

// ---------------------------------------------------------------------------
// FSSpec.

namespace {

void SplitPath(const std::string& path, std::string* parent, std::string* leaf) {
  size_t slash = path.rfind('/');
  *parent = slash == 0 ? "/" : path.substr(0, slash);
  *leaf = path.substr(slash + 1);
}

OSErr FillSpec(SInt16 vRefNum, UInt32 parID, const std::string& name, FSSpec* spec) {
  if (name.size() > 63) return bdNamErr;
  spec->vRefNum = vRefNum;
  spec->parID = static_cast<SInt32>(parID);
  spec->name[0] = static_cast<unsigned char>(name.size());
  std::memcpy(spec->name + 1, name.data(), name.size());
  std::memset(spec->name + 1 + name.size(), 0, sizeof spec->name - 1 - name.size());
  return noErr;
}

bool ValidLeaf(const std::string& name) {
  return name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

}  // namespace

OSErr SpecForPath(const std::string& path, FSSpec* spec) {
  if (path == "/") {
    Identity root;
    OSErr err = StatPath("/", nullptr, &root);
    if (err != noErr) return err;
    return FillSpec(VolumeRefNum(root.device), fsRtParID, "/", spec);
  }
  std::string parent, leaf;
  SplitPath(path, &parent, &leaf);
  if (leaf.size() > 63) return bdNamErr;
  struct statx st;
  Identity folder;
  OSErr err = StatPath(parent, &st, &folder);
  if (err == fnfErr) err = dirNFErr;
  if (err != noErr) return err;
  if (!S_ISDIR(st.stx_mode)) return dirNFErr;
  return FillSpec(VolumeRefNum(folder.device), FolderID(parent, folder), leaf, spec);
}

OSErr PathForSpec(const FSSpec& spec, std::string* path) {
  std::string name(reinterpret_cast<const char*>(spec.name + 1), std::min<size_t>(spec.name[0], 63));
  if (spec.parID == fsRtParID) {
    if (name != "/") return fnfErr;
    *path = "/";
    return noErr;
  }
  if (!ValidLeaf(name)) return bdNamErr;
  ItemRow folder;
  if (spec.parID <= 0 || !FolderByID(static_cast<UInt32>(spec.parID), &folder)) return dirNFErr;
  if (spec.vRefNum != 0) {
    dev_t device;
    if (!DeviceOfVolume(spec.vRefNum, &device)) return nsvErr;
    if (device != folder.identity.device) return nsvErr;
  }
  Identity now;
  OSErr err = StatPath(folder.path, nullptr, &now);
  if (err != noErr || !(now == folder.identity)) return dirNFErr;  // the folder is gone
  if (name.empty()) {
    *path = folder.path;
  } else {
    *path = folder.path == "/" ? "/" + name : folder.path + "/" + name;
  }
  return noErr;
}

}  // namespace macplatform::files

// ---------------------------------------------------------------------------
// 4. The Mac calls.

using namespace macplatform::files;

OSStatus FSPathMakeRef(const UInt8* path, FSRef* ref, Boolean* isDirectory) {
  if (path == nullptr || ref == nullptr) return paramErr;
  bool folder = false;
  OSErr err = MakeFSRef(reinterpret_cast<const char*>(path), ref, &folder);
  if (err == noErr && isDirectory != nullptr) *isDirectory = folder;
  return err;
}

OSStatus FSRefMakePath(const FSRef* ref, UInt8* path, UInt32 maxPathSize) {
  if (ref == nullptr || path == nullptr || maxPathSize == 0) return paramErr;
  std::string p;
  OSErr err = PathOfFSRef(*ref, &p);
  if (err != noErr) return err;
  if (p.size() + 1 > maxPathSize) return errFSNameTooLong;
  std::memcpy(path, p.c_str(), p.size() + 1);
  return noErr;
}

OSErr FSMakeFSSpec(SInt16 vRefNum, SInt32 dirID, ConstStr255Param fileName, FSSpec* spec) {
  if (spec == nullptr) return paramErr;
  std::string name;
  if (fileName != nullptr) name.assign(reinterpret_cast<const char*>(fileName + 1), fileName[0]);
  std::string path;
  if (vRefNum == 0 && dirID == 0 && !name.empty() && name[0] == '/') {
    OSErr err = AbsolutePath(name, &path);
    if (err != noErr) return err;
  } else {
    if (!name.empty() && !ValidLeaf(name)) return bdNamErr;
    if (name.size() > 63) return bdNamErr;
    FSSpec folder{};
    folder.vRefNum = vRefNum;
    folder.parID = dirID;
    OSErr err = PathForSpec(folder, &path);  // the folder itself (empty name)
    if (err != noErr) return err;
    if (!name.empty()) path = path == "/" ? "/" + name : path + "/" + name;
  }
  FSSpec made{};
  OSErr err = SpecForPath(path, &made);
  if (err != noErr) return err;
  *spec = made;
  // A missing leaf in an existing folder: the FSSpec is good for creating it.
  return StatPath(path, nullptr, nullptr);
}

OSErr FSpMakeFSRef(const FSSpec* source, FSRef* newRef) {
  if (source == nullptr || newRef == nullptr) return paramErr;
  std::string path;
  OSErr err = PathForSpec(*source, &path);
  if (err != noErr) return err;
  return MakeFSRef(path, newRef);
}
