// FilesInternal.h — what the File Manager's own sources share: checked items,
// identities, the process-wide tables of paths, volumes and folders.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>

#include "platform/files/FileRefs.h"
#include "platform/files/FinderInfoStore.h"

namespace macplatform::files {

// What tells one item from another: device and inode, plus the birth time,
// because a file system may give a new item the inode number of a deleted one.
struct Identity {
  dev_t device = 0;
  ino_t inode = 0;
  SInt64 birthSeconds = 0;  // 0 when the file system keeps no birth time
  UInt32 birthNanoseconds = 0;
  bool operator==(const Identity&) const = default;
};

// An item found again and checked: its absolute path, its status, and an open
// read-only descriptor of it when it is a file or folder that could be opened
// (so that later calls act on that very item). Closes the descriptor.
class CheckedItem {
 public:
  CheckedItem() = default;
  ~CheckedItem();
  CheckedItem(const CheckedItem&) = delete;
  CheckedItem& operator=(const CheckedItem&) = delete;

  ItemHandle handle;
  struct statx status {};
  Identity identity;
  bool isFolder() const { return S_ISDIR(status.stx_mode); }
};

// statx of `path` (following a final link) and the identity in it.
OSErr StatPath(const std::string& path, struct statx* status, Identity* identity);

// Absolute, without "." components, repeated or trailing slashes; ".."
// components are resolved against the file system. Empty path: fnfErr.
OSErr AbsolutePath(const std::string& path, std::string* absolute);

// What a caller needs of an item it finds again: its status only (one
// statx), or also a descriptor to read or change it through (its Finder
// information, its dates), which costs an open, a second check and a close.
enum class ItemAccess { kStatus, kDescriptor };

// Finds the item `ref` names and checks it is the same one.
OSErr FindItem(const FSRef* ref, ItemAccess access, CheckedItem* item);
// Finds the item at `path` and checks it has `identity` (fnfErr if not).
OSErr FindItemAtPath(const std::string& path, const Identity& identity, ItemAccess access, CheckedItem* item);

// Records `path` (absolute, normalised) of the item with `identity` and fills
// `ref`.
void MakeRefFor(const std::string& path, const Identity& identity, FSRef* ref);

// FSSpec of the item at the absolute path `path`; bdNamErr when its name does
// not fit, dirNFErr when its folder cannot be reached.
OSErr SpecForPath(const std::string& path, FSSpec* spec);
// Absolute path named by `spec`; errors when its folder is unknown or gone.
OSErr PathForSpec(const FSSpec& spec, std::string* path);
// Volume reference number and folder ID of this process for a device and a
// folder.
SInt16 VolumeRefNum(dev_t device);
UInt32 FolderID(const std::string& path, const Identity& identity);

}  // namespace macplatform::files
