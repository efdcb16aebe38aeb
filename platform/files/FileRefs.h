// FileRefs.h — internal helpers of the File Manager for the platform's other
// managers (CFURL, Apple event coercions, the stand-in Finder).
//
// Not part of the Mac API: only platform/ includes it. Results are result
// codes, never exceptions.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

#include "platform/files/Files.h"

namespace macplatform::files {

// An FSRef for the item at `path` (relative paths are made absolute from the
// current folder; a final symbolic link is followed).
OSErr MakeFSRef(const std::string& path, FSRef* ref, bool* isDirectory = nullptr);

// The absolute path of the item `ref` names, after checking it is still the
// same item (fnfErr when it is gone or was replaced, errFSBadFSRef for bytes
// that are no FSRef of this process).
OSErr PathOfFSRef(const FSRef& ref, std::string* path);

// What an alias record holds, once its bytes were checked.
struct AliasContents {
  OSType userType = 0;
  UInt16 size = 0;  // the record's total size in bytes
  dev_t device = 0;
  ino_t inode = 0;
  SInt64 birthSeconds = 0;  // 0 when the file system keeps no birth time
  UInt32 birthNanoseconds = 0;
  bool isFolder = false;
  std::string path;  // absolute
};

// Checks the `size` bytes at `bytes` as an alias record and, when `contents`
// is not NULL, fills it. Never reads past `size`. A NULL pointer or a
// malformed record (shorter than its header, size field larger than the
// bytes, unknown version, path length past the end, relative path, NUL in the
// path, absurd lengths) gives paramErr.
OSErr ParseAlias(const void* bytes, size_t size, AliasContents* contents);

// The bytes of a new alias record of `ref`.
OSErr MakeAliasBytes(const FSRef& ref, std::vector<UInt8>* bytes);

// Resolves the alias record held in the `size` bytes at `bytes` (the
// coercion of 'alis' data to 'fsrf'). `wasChanged` may be NULL.
OSErr ResolveAliasBytes(const void* bytes, size_t size, FSRef* target, bool* wasChanged);

}  // namespace macplatform::files
