// Files.h — the File Manager and the Alias Manager.
//
// Sections:
//   1. References to items: FSRef, FSSpec, paths.
//   2. Catalog information: FSGetCatalogInfo, FSSetCatalogInfo, Finder flags.
//   3. The clock: UTCDateTime, GetUTCDateTime.
//   4. Aliases: self-contained alias records that travel between processes.
//
// An FSRef names a file or folder for the life of the process that made it:
// it is refused in any other process. Every use checks that the item it names
// is still the same one (device, inode, birth time); an item that was deleted,
// moved away or replaced answers fnfErr (-43). Finder information is kept in
// the extended attribute "user.com.apple.FinderInfo" (32 bytes). No function
// here throws or prints; every failure is a result code.
#pragma once

#include "platform/core/MacTypes.h"
#include "platform/memory/MacMemory.h"

// ---------------------------------------------------------------------------
// 1. References to items.

// 80 opaque bytes; see docs/platform.md for what is inside.
struct FSRef {
  UInt8 hidden[80];
};
typedef FSRef* FSRefPtr;

// FSSpec, the classic way to name an item: volume, parent folder, leaf name (Pascal
// string, at most 63 bytes). Volume and folder numbers come from tables of
// this process, so an FSSpec, like an FSRef, is only meaningful in it.
struct FSSpec {
  SInt16 vRefNum;
  SInt32 parID;
  Str63 name;
};
typedef FSSpec* FSSpecPtr;

// A name as UTF-16 code units.
struct HFSUniStr255 {
  UInt16 length;
  UniChar unicode[255];
};

enum {
  fsRtParID = 1,  // parent of every volume's root folder
  fsRtDirID = 2,
};

// Makes a reference to the item at `path` (a NUL-terminated POSIX path in
// the file system's own bytes; relative paths are taken from the current
// folder). A symbolic link at the end of the path is followed. `isDirectory`
// may be NULL.
OSStatus FSPathMakeRef(const UInt8* path, FSRef* ref, Boolean* isDirectory);
// Writes the item's absolute path, NUL-terminated, into `path`
// (`maxPathSize` bytes); errFSNameTooLong when it does not fit.
OSStatus FSRefMakePath(const FSRef* ref, UInt8* path, UInt32 maxPathSize);

// Fills `spec` for the item `fileName` (one leaf name, no '/') in the folder
// `dirID` of volume `vRefNum` (0: any volume). An empty name names the folder
// itself. With vRefNum 0 and dirID 0, `fileName` may instead be an absolute
// POSIX path. A missing leaf in an existing folder returns fnfErr with `spec`
// filled in, so that the item can then be created.
OSErr FSMakeFSSpec(SInt16 vRefNum, SInt32 dirID, ConstStr255Param fileName, FSSpec* spec);
OSErr FSpMakeFSRef(const FSSpec* source, FSRef* newRef);

// ---------------------------------------------------------------------------
// 3. The clock (declared before the catalog record that uses it).

// Seconds since 1 January 1904 UTC in 48 bits, plus a 16-bit fraction.
struct UTCDateTime {
  UInt16 highSeconds;
  UInt32 lowSeconds;
  UInt16 fraction;
};

enum { kUTCDefaultOptions = 0 };

OSErr GetUTCDateTime(UTCDateTime* utcDateTime, UInt32 options);

// ---------------------------------------------------------------------------
// 2. Catalog information.

typedef UInt32 FSCatalogInfoBitmap;

enum {
  kFSCatInfoNone = 0x00000000,
  kFSCatInfoTextEncoding = 0x00000001,
  kFSCatInfoNodeFlags = 0x00000002,
  kFSCatInfoVolume = 0x00000004,
  kFSCatInfoParentDirID = 0x00000008,
  kFSCatInfoNodeID = 0x00000010,
  kFSCatInfoCreateDate = 0x00000020,
  kFSCatInfoContentMod = 0x00000040,
  kFSCatInfoAttrMod = 0x00000080,
  kFSCatInfoAccessDate = 0x00000100,
  kFSCatInfoBackupDate = 0x00000200,
  kFSCatInfoPermissions = 0x00000400,
  kFSCatInfoFinderInfo = 0x00000800,
  kFSCatInfoFinderXInfo = 0x00001000,
  kFSCatInfoValence = 0x00002000,
  kFSCatInfoDataSizes = 0x00004000,
};

enum {
  kFSNodeLockedMask = 0x0001,
  kFSNodeIsDirectoryMask = 0x0010,
};

// Bits of the finderFlags word (bytes 8-9 of finderInfo, big-endian).
enum {
  kIsOnDesk = 0x0001,
  kColor = 0x000E,  // the label: (finderFlags >> 1) & 7
  kHasCustomIcon = 0x0400,
  kIsStationery = 0x0800,
  kNameLocked = 0x1000,
  kHasBundle = 0x2000,
  kIsInvisible = 0x4000,
  kIsAlias = 0x8000,
};

// finderInfo and extFinderInfo hold the bytes exactly as stored: 16-bit
// and 32-bit fields in them are big-endian, whatever the processor.
struct FSCatalogInfo {
  UInt16 nodeFlags;
  SInt16 volume;
  UInt32 parentDirID;
  UInt32 nodeID;
  UInt8 sharingFlags;
  UInt8 userPrivileges;
  UInt8 reserved1;
  UInt8 reserved2;
  UTCDateTime createDate;
  UTCDateTime contentModDate;
  UTCDateTime attributeModDate;
  UTCDateTime accessDate;
  UTCDateTime backupDate;
  UInt32 permissions[4];  // owner uid, group gid, mode, 0
  UInt8 finderInfo[16];
  UInt8 extFinderInfo[16];
  UInt64 dataLogicalSize;
  UInt64 dataPhysicalSize;
  UInt64 rsrcLogicalSize;
  UInt64 rsrcPhysicalSize;
  UInt32 valence;
  UInt32 textEncodingHint;
};
typedef FSCatalogInfo* FSCatalogInfoPtr;

// Reads the fields of `whichInfo` into `catalogInfo` (which may be NULL when
// no field is asked for). `outName`, `fsSpec` and `parentRef` may each be
// NULL; an FSSpec is refused with bdNamErr when the name is longer than 63
// bytes.
OSErr FSGetCatalogInfo(const FSRef* ref, FSCatalogInfoBitmap whichInfo, FSCatalogInfo* catalogInfo,
                       HFSUniStr255* outName, FSSpec* fsSpec, FSRef* parentRef);
// Writes exactly the fields of `whichInfo`. Writable: kFSCatInfoFinderInfo,
// kFSCatInfoFinderXInfo, kFSCatInfoContentMod; any other bit gives
// errFSBadInfoBitmap and nothing is written. When the content modification
// date cannot be set (afpAccessDenied, wPrErr, ...) nothing is written.
OSErr FSSetCatalogInfo(const FSRef* ref, FSCatalogInfoBitmap whichInfo, const FSCatalogInfo* catalogInfo);

// ---------------------------------------------------------------------------
// 4. Aliases.
//
// An alias record is self-contained: its bytes name the item by absolute
// path and identity, so a record can be copied into an Apple event and
// resolved by another process of the same machine. Every field is stored
// big-endian: read them with GetAliasSize and GetAliasUserType rather than
// through the struct.

struct AliasRecord {
  OSType userType;
  UInt16 aliasSize;
};
typedef AliasRecord* AliasPtr;
typedef AliasPtr* AliasHandle;  // a Memory Manager Handle: DisposeHandle frees it

enum { kResolveAliasFileNoUI = 0x00000001 };

// Make a new alias record of `target`, owned by the caller. `fromFile` (the
// item to be relative to) may be NULL; records always hold absolute paths.
OSErr NewAlias(const FSSpec* fromFile, const FSSpec* target, AliasHandle* alias);
OSErr FSNewAlias(const FSRef* fromFile, const FSRef* target, AliasHandle* inAlias);

// Finds the item of `alias` again, by its path. `wasChanged` (may be NULL)
// becomes true when the item at the path is not the one the record was made
// of (it was replaced); the record is then updated to the new item. `fromFile`
// and `mountFlags` are accepted and not needed.
OSErr FSResolveAlias(const FSRef* fromFile, AliasHandle alias, FSRef* target, Boolean* wasChanged);
OSErr FSResolveAliasWithMountFlags(const FSRef* fromFile, AliasHandle inAlias, FSRef* target,
                                   Boolean* wasChanged, unsigned long mountFlags);

// The record's own size and user type (0 for a NULL or malformed handle).
Size GetAliasSize(AliasHandle alias);
OSType GetAliasUserType(AliasHandle alias);
void SetAliasUserType(AliasHandle alias, OSType userType);
