// Catalog.cpp — catalog information of files and folders, and the clock.
//
// Sections:
//   1. Dates: UTCDateTime <-> timespec, GetUTCDateTime.
//   2. FSGetCatalogInfo: statx and the Finder information store.
//   3. FSSetCatalogInfo: Finder information and the content modification
//      date (the item's mtime), written so that a refused date leaves the
//      item as it was.
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/core/Errno.h"
#include "platform/core/SysCalls.h"
#include "platform/files/FilesInternal.h"

namespace macplatform::files {
namespace {

// ---------------------------------------------------------------------------
// 1. Dates.

constexpr SInt64 kSecondsFrom1904To1970 = 2082844800;
constexpr SInt64 kMaxUTCSeconds = (SInt64(1) << 48) - 1;

UTCDateTime UTCFromTime(SInt64 unixSeconds, SInt64 nanoseconds) {
  SInt64 s = unixSeconds + kSecondsFrom1904To1970;
  UTCDateTime d{};
  if (s < 0) return d;  // before 1904: the earliest date there is
  if (s > kMaxUTCSeconds) {
    s = kMaxUTCSeconds;
    nanoseconds = 999999999;
  }
  d.highSeconds = static_cast<UInt16>(s >> 32);
  d.lowSeconds = static_cast<UInt32>(s);
  d.fraction = static_cast<UInt16>((nanoseconds * 65536) / 1000000000);
  return d;
}

struct timespec TimeFromUTC(const UTCDateTime& d) {
  SInt64 s = (SInt64(d.highSeconds) << 32) | d.lowSeconds;
  struct timespec t {};
  t.tv_sec = static_cast<time_t>(s - kSecondsFrom1904To1970);
  t.tv_nsec = static_cast<long>((SInt64(d.fraction) * 1000000000 + 32768) / 65536);
  if (t.tv_nsec > 999999999) t.tv_nsec = 999999999;
  return t;
}

UTCDateTime UTCFromStatx(const struct statx_timestamp& t) { return UTCFromTime(t.tv_sec, t.tv_nsec); }

// The name as UTF-16; a byte that is not part of valid UTF-8 becomes U+FFFD.
void NameToUnicode(const std::string& name, HFSUniStr255* out) {
  UInt16 n = 0;
  auto put = [&](UInt32 c) {
    if (c >= 0x10000) {
      if (n + 2 > 255) return;
      c -= 0x10000;
      out->unicode[n++] = static_cast<UniChar>(0xD800 + (c >> 10));
      out->unicode[n++] = static_cast<UniChar>(0xDC00 + (c & 0x3FF));
    } else if (n < 255) {
      out->unicode[n++] = static_cast<UniChar>(c);
    }
  };
  const auto* p = reinterpret_cast<const UInt8*>(name.data());
  size_t len = name.size(), i = 0;
  while (i < len) {
    UInt8 b = p[i];
    int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
    UInt32 c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    bool ok = extra >= 0 && i + extra < len;
    for (int k = 1; ok && k <= extra; ++k) {
      ok = (p[i + k] & 0xC0) == 0x80;
      c = (c << 6) | (p[i + k] & 0x3F);
    }
    static const UInt32 kMin[] = {0, 0x80, 0x800, 0x10000};
    ok = ok && c >= kMin[extra] && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
    if (ok) {
      put(c);
      i += extra + 1;
    } else {
      put(0xFFFD);
      i += 1;
    }
  }
  out->length = n;
}

std::string LeafName(const std::string& path) {
  if (path == "/") return "/";
  return path.substr(path.rfind('/') + 1);
}

std::string ParentPath(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == 0 ? "/" : path.substr(0, slash);
}

int SetModificationTime(const ItemHandle& item, const struct timespec& mtime) {
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;  // leave the access date alone
  times[1] = mtime;
  return item.fd >= 0 ? sys::Futimens(item.fd, times) : sys::Utimensat(AT_FDCWD, item.path.c_str(), times, 0);
}

constexpr FSCatalogInfoBitmap kWritableInfo = kFSCatInfoFinderInfo | kFSCatInfoFinderXInfo | kFSCatInfoContentMod;

}  // namespace
}  // namespace macplatform::files

using namespace macplatform;
using namespace macplatform::files;

OSErr GetUTCDateTime(UTCDateTime* utcDateTime, UInt32 options) {
  if (utcDateTime == nullptr || options != kUTCDefaultOptions) return paramErr;
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  *utcDateTime = UTCFromTime(now.tv_sec, now.tv_nsec);
  return noErr;
}

// ---------------------------------------------------------------------------
// 2. FSGetCatalogInfo.

OSErr FSGetCatalogInfo(const FSRef* ref, FSCatalogInfoBitmap whichInfo, FSCatalogInfo* catalogInfo,
                       HFSUniStr255* outName, FSSpec* fsSpec, FSRef* parentRef) {
  if (ref == nullptr || (whichInfo != kFSCatInfoNone && catalogInfo == nullptr)) return paramErr;
  // Only the Finder information is read through a descriptor.
  const bool readFinder = (whichInfo & (kFSCatInfoFinderInfo | kFSCatInfoFinderXInfo)) != 0;
  CheckedItem item;
  OSErr err = FindItem(ref, readFinder ? ItemAccess::kDescriptor : ItemAccess::kStatus, &item);
  if (err != noErr) return err;
  const struct statx& st = item.status;
  const std::string& path = item.handle.path;

  // Everything that can fail comes first, so that a failure leaves the
  // caller's records as they were.
  FinderInfoBytes finder{};
  if (readFinder) {
    err = ActiveFinderInfoStore().Read(item.handle, &finder);
    if (err != noErr) return err;
  }
  FSSpec spec{};
  if (fsSpec != nullptr) {
    err = SpecForPath(path, &spec);
    if (err != noErr) return err;
  }
  FSRef parent{};
  if (parentRef != nullptr && path != "/") {
    err = MakeFSRef(ParentPath(path), &parent);
    if (err != noErr) return err;
  }
  UInt32 parentID = 0;
  if (whichInfo & kFSCatInfoParentDirID) {
    if (path == "/") {
      parentID = fsRtParID;
    } else {
      Identity folder;
      err = StatPath(ParentPath(path), nullptr, &folder);
      if (err != noErr) return err;
      parentID = FolderID(ParentPath(path), folder);
    }
  }

  if (catalogInfo != nullptr) {
    FSCatalogInfo& info = *catalogInfo;
    if (whichInfo & kFSCatInfoNodeFlags) {
      info.nodeFlags = item.isFolder() ? kFSNodeIsDirectoryMask : 0;
      if (st.stx_attributes & STATX_ATTR_IMMUTABLE) info.nodeFlags |= kFSNodeLockedMask;
    }
    if (whichInfo & kFSCatInfoVolume) info.volume = VolumeRefNum(item.identity.device);
    if (whichInfo & kFSCatInfoParentDirID) info.parentDirID = parentID;
    if (whichInfo & kFSCatInfoNodeID)
      info.nodeID = item.isFolder() ? FolderID(path, item.identity) : static_cast<UInt32>(st.stx_ino);
    if (whichInfo & kFSCatInfoCreateDate)
      info.createDate = (st.stx_mask & STATX_BTIME) ? UTCFromStatx(st.stx_btime) : UTCFromStatx(st.stx_mtime);
    if (whichInfo & kFSCatInfoContentMod) info.contentModDate = UTCFromStatx(st.stx_mtime);
    if (whichInfo & kFSCatInfoAttrMod) info.attributeModDate = UTCFromStatx(st.stx_ctime);
    if (whichInfo & kFSCatInfoAccessDate) info.accessDate = UTCFromStatx(st.stx_atime);
    if (whichInfo & kFSCatInfoBackupDate) info.backupDate = UTCDateTime{};
    if (whichInfo & kFSCatInfoPermissions) {
      info.permissions[0] = st.stx_uid;
      info.permissions[1] = st.stx_gid;
      info.permissions[2] = st.stx_mode;
      info.permissions[3] = 0;
    }
    if (whichInfo & kFSCatInfoFinderInfo) std::memcpy(info.finderInfo, finder.data(), 16);
    if (whichInfo & kFSCatInfoFinderXInfo) std::memcpy(info.extFinderInfo, finder.data() + 16, 16);
    if (whichInfo & kFSCatInfoDataSizes) {
      info.dataLogicalSize = item.isFolder() ? 0 : st.stx_size;
      info.dataPhysicalSize = item.isFolder() ? 0 : st.stx_blocks * 512;
      info.rsrcLogicalSize = 0;
      info.rsrcPhysicalSize = 0;
    }
    if (whichInfo & kFSCatInfoValence) {
      UInt32 count = 0;
      if (item.isFolder()) {
        std::error_code ec;
        for (std::filesystem::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) ++count;
      }
      info.valence = count;
    }
    if (whichInfo & kFSCatInfoTextEncoding) info.textEncodingHint = 0x08000100;  // UTF-8
  }
  if (outName != nullptr) NameToUnicode(LeafName(path), outName);
  if (fsSpec != nullptr) *fsSpec = spec;
  if (parentRef != nullptr) *parentRef = parent;
  return noErr;
}

// ---------------------------------------------------------------------------
// 3. FSSetCatalogInfo.
//
// Order: read the stored Finder information (a damaged store fails here,
// before anything changes), set the date (the step most often refused: by
// another owner's file, -5000), then write the Finder information. If that
// last write fails, the old date is put back. So a refused date leaves the
// item untouched, and a caller can retry with the Finder information alone.

OSErr FSSetCatalogInfo(const FSRef* ref, FSCatalogInfoBitmap whichInfo, const FSCatalogInfo* catalogInfo) {
  if (ref == nullptr || (whichInfo != kFSCatInfoNone && catalogInfo == nullptr)) return paramErr;
  if (whichInfo & ~kWritableInfo) return errFSBadInfoBitmap;
  CheckedItem item;
  OSErr err = FindItem(ref, ItemAccess::kDescriptor, &item);
  if (err != noErr) return err;

  const bool writeFinder = (whichInfo & (kFSCatInfoFinderInfo | kFSCatInfoFinderXInfo)) != 0;
  FinderInfoBytes finder{};
  if (writeFinder) {
    err = ActiveFinderInfoStore().Read(item.handle, &finder);
    if (err != noErr) return err;
    if (whichInfo & kFSCatInfoFinderInfo) std::memcpy(finder.data(), catalogInfo->finderInfo, 16);
    if (whichInfo & kFSCatInfoFinderXInfo) std::memcpy(finder.data() + 16, catalogInfo->extFinderInfo, 16);
  }

  bool dateChanged = false;
  struct timespec oldDate {};
  if (whichInfo & kFSCatInfoContentMod) {
    oldDate.tv_sec = item.status.stx_mtime.tv_sec;
    oldDate.tv_nsec = item.status.stx_mtime.tv_nsec;
    if (SetModificationTime(item.handle, TimeFromUTC(catalogInfo->contentModDate)) != 0) return OSErrFromErrno(errno);
    dateChanged = true;
  }

  if (writeFinder) {
    err = ActiveFinderInfoStore().Write(item.handle, finder);
    if (err != noErr) {
      if (dateChanged) {
        int saved = errno;
        SetModificationTime(item.handle, oldDate);  // we just set it, so we may
        errno = saved;
      }
      return err;
    }
  }
  return noErr;
}
