// LabelFile.cpp — the label bits of an item's Finder flags.
#include "labeldb/LabelDB.h"

Boolean gAffectFileModDate = false;

namespace {

enum {
  kFinderFlagsOffset = 8,  // bytes 8-9 of finderInfo, big-endian
  kLabelInfoWithDate = kFSCatInfoFinderInfo | kFSCatInfoContentMod,  // 0x840
};

UInt16 TWdb_i_GetFinderFlags(const FSCatalogInfo* info) {
  return static_cast<UInt16>((info->finderInfo[kFinderFlagsOffset] << 8) | info->finderInfo[kFinderFlagsOffset + 1]);
}

void TWdb_i_SetFinderFlags(FSCatalogInfo* info, UInt16 flags) {
  info->finderInfo[kFinderFlagsOffset] = static_cast<UInt8>(flags >> 8);
  info->finderInfo[kFinderFlagsOffset + 1] = static_cast<UInt8>(flags);
}

}  // namespace

void TWdb_Initialize(void) {}

SInt16 TWdb_GetLabel(const FSRef* ref) {
  SInt16 label = 0;
  FSCatalogInfo info;
  if (FSGetCatalogInfo(ref, kFSCatInfoFinderInfo, &info, NULL, NULL, NULL) == noErr)
    label = static_cast<SInt16>((TWdb_i_GetFinderFlags(&info) >> 1) & 7);
  return label;
}

OSStatus TWdb_SetLabel(const FSRef* ref, SInt16 label) {
  FSCatalogInfo info;
  OSStatus result = FSGetCatalogInfo(ref, kFSCatInfoFinderInfo, &info, NULL, NULL, NULL);
  if (result != noErr) return result;

  UInt16 flags = TWdb_i_GetFinderFlags(&info);
  flags = static_cast<UInt16>((flags & ~kColor) | ((label & 7) << 1));
  TWdb_i_SetFinderFlags(&info, flags);

  if (gAffectFileModDate) {
    (void)GetUTCDateTime(&info.contentModDate, kUTCDefaultOptions);
    result = FSSetCatalogInfo(ref, kLabelInfoWithDate, &info);
    // A volume or owner that refuses the date still gets the label below.
    if (result != afpAccessDenied) return result;
  }
  return FSSetCatalogInfo(ref, kFSCatInfoFinderInfo, &info);
}
