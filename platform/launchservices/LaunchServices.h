// LaunchServices.h — Launch Services: what kind of item a URL names.
//
// Only item information is provided. File type and creator come from the
// item's Finder information; packages are recognised by the rule described
// at LSCopyItemInfoForURL. No function here prints or throws.
#pragma once

#include "platform/core/MacTypes.h"
#include "platform/corefoundation/CoreFoundation.h"

typedef UInt32 LSRequestedInfo;
enum {
  kLSRequestExtension = 0x00000001,
  kLSRequestTypeCreator = 0x00000002,
  kLSRequestBasicFlagsOnly = 0x00000004,
  kLSRequestAppTypeFlags = 0x00000008,
  kLSRequestAllFlags = 0x00000010,
  kLSRequestIconAndKind = 0x00000020,
  kLSRequestExtensionFlagsOnly = 0x00000040,
  kLSRequestAllInfo = 0xFFFFFFFFU,
};

typedef UInt32 LSItemInfoFlags;
enum {
  kLSItemInfoIsPlainFile = 0x00000001,
  kLSItemInfoIsPackage = 0x00000002,
  kLSItemInfoIsApplication = 0x00000004,
  kLSItemInfoIsContainer = 0x00000008,
  kLSItemInfoIsAliasFile = 0x00000010,
  kLSItemInfoIsSymlink = 0x00000020,
  kLSItemInfoIsInvisible = 0x00000040,
  kLSItemInfoIsNativeApp = 0x00000080,
  kLSItemInfoIsClassicApp = 0x00000100,
  kLSItemInfoAppPrefersNative = 0x00000200,
  kLSItemInfoAppPrefersClassic = 0x00000400,
  kLSItemInfoAppIsScriptable = 0x00000800,
  kLSItemInfoIsVolume = 0x00001000,
  kLSItemInfoExtensionIsHidden = 0x00100000,
};

struct LSItemInfoRecord {
  LSItemInfoFlags flags;
  OSType filetype;
  OSType creator;
  CFStringRef extension;  // the caller releases it (kLSRequestExtension)
  CFStringRef iconFileName;  // never filled: always NULL
  UInt32 kindID;  // always 0
};

// Fills `outItemInfo` with what `whichInfo` asks for about the item `inURL`
// names. The item itself is examined (a symbolic link is reported as
// kLSItemInfoIsSymlink | kLSItemInfoIsAliasFile, not followed).
//
// Flags: a regular file is a plain file; a folder is a container, and also a
// package when its name ends in a bundle extension (.app .bundle .framework
// .plugin .prefPane .kext .splc .pkg .mpkg .rtfd .wdgt .component
// .qlgenerator .mdimporter .saver .xpc, in any ASCII case) or it holds
// Contents/Info.plist; a package whose name ends in ".app" is also an
// application. "/" is a container and a volume. Names beginning with '.' and
// items whose Finder flags carry kIsInvisible are invisible; Finder flags with
// kIsAlias make an alias file.
//
// paramErr for a NULL argument or a zero `whichInfo`; fnfErr (and the other
// File Manager codes) when the item cannot be examined. On failure nothing is
// handed out.
OSStatus LSCopyItemInfoForURL(CFURLRef inURL, LSRequestedInfo whichInfo,
                              LSItemInfoRecord* outItemInfo);
