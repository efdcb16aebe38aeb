// Scrap.h — the Scrap Manager subset: named scraps shared by the processes
// of one user.
//
// A named scrap is a set of flavors (a four-character type, flags and bytes)
// that any process of the same user can open by name, read and replace.
// Every scrap is one file under the runtime folder, readable by its owner
// only, and replaced as a whole by rename, so a reader sees either the old
// or the new contents, never a mix. docs/platform.md gives the file format.
//
// A ScrapRef belongs to the platform: the same name always gives the same
// reference, and it stays valid for the life of the process. Every read
// through it reads the scrap's current file.
#pragma once

#include "platform/core/MacTypes.h"
#include "platform/corefoundation/CoreFoundation.h"

typedef struct OpaqueScrapRef* ScrapRef;
typedef FourCharCode ScrapFlavorType;
typedef UInt32 ScrapFlavorFlags;
typedef UInt32 OptionBits;

enum {
  kScrapFlavorMaskNone = 0x00000000,
  // Kept in the file for the reader to see; this platform hides nothing.
  kScrapFlavorMaskSenderOnly = 0x00000001,
  kScrapFlavorMaskTranslated = 0x00000002,
};

struct ScrapFlavorInfo {
  ScrapFlavorType flavorType;
  ScrapFlavorFlags flavorFlags;
};

// Options of GetScrapByName.
enum {
  kScrapGetNamedScrap = 0,
  kScrapClearNamedScrap = 1,
};

// Fills `scrap` with the reference of the scrap called `name` (any non-empty
// string; it is never a path). kScrapClearNamedScrap empties the scrap first.
// A scrap that does not exist yet is empty; opening it creates nothing.
// paramErr for a NULL or empty name, a NULL `scrap` or unknown options;
// bdNamErr for a name too long to be stored.
OSStatus GetScrapByName(CFStringRef name, OptionBits options, ScrapRef* scrap);

// Adds a flavor to the scrap and rewrites its file atomically. A type that
// the scrap already holds gives duplicateScrapFlavorErr and changes nothing
// (clear the scrap to replace it). `flavorData` may be NULL only when
// `flavorSize` is 0. illegalScrapFlavorSizeErr for a negative size or one
// over 16 MiB; illegalScrapFlavorFlagsErr for flags outside the masks above.
OSStatus PutScrapFlavor(ScrapRef scrap, ScrapFlavorType flavorType, ScrapFlavorFlags flavorFlags,
                        Size flavorSize, const void* flavorData);

// The number of flavors the scrap holds now.
OSStatus GetScrapFlavorCount(ScrapRef scrap, UInt32* infoCount);

// On entry `infoCount` is the room in `info`; on return it is the number of
// entries filled (at most the room), in the order the flavors were put.
OSStatus GetScrapFlavorInfoList(ScrapRef scrap, UInt32* infoCount, ScrapFlavorInfo info[]);

// scrapFlavorNotFoundErr (noTypeErr, -102) when the scrap has no such flavor.
OSStatus GetScrapFlavorSize(ScrapRef scrap, ScrapFlavorType flavorType, Size* byteCount);
OSStatus GetScrapFlavorFlags(ScrapRef scrap, ScrapFlavorType flavorType,
                             ScrapFlavorFlags* flavorFlags);

// On entry `byteCount` is the room at `destination`; the flavor's first
// bytes up to that room are copied and `byteCount` is set to the number
// copied.
OSStatus GetScrapFlavorData(ScrapRef scrap, ScrapFlavorType flavorType, Size* byteCount,
                            void* destination);

// Empties the scrap. The reference stays the same and stays valid.
OSStatus ClearScrap(ScrapRef* scrap);
