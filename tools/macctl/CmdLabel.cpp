// macctl label — read or write the colour label (0-7) of files and folders.
//
//   macctl label PATH...          prints "LABEL<tab>PATH" for each path
//   macctl label --set N PATH...  writes label N into each, keeping every
//                                 other Finder flag and byte
//
// A path that fails gets a message on standard error; the others are still
// done, and the exit status is then 1. A bad N or no path: exit status 2.
#include <cstdio>
#include <string>

#include "platform/files/Files.h"
#include "tools/macctl/Command.h"

namespace macctl {
namespace {

constexpr size_t kFinderFlags = 8;  // bytes 8-9 of the Finder information

int Usage() {
  std::fprintf(stderr, "usage: macctl label [--set N] PATH...   (N from 0 to 7)\n");
  return 2;
}

std::string Describe(OSErr err) {
  switch (err) {
    case fnfErr: return "no such file or folder (-43)";
    case dirNFErr: return "a folder on the path is missing (-120)";
    case afpAccessDenied: return "permission denied (-5000)";
    case wPrErr: return "the volume is read-only (-44)";
    case errFSOperationNotSupported: return "the file system keeps no extended attributes (-1426)";
    case ioErr: return "input/output error, or damaged Finder information (-36)";
    case bdNamErr: return "bad name (-37)";
    default: return "error " + std::to_string(err);
  }
}

OSErr ReadInfo(const std::string& path, FSRef* ref, FSCatalogInfo* info) {
  OSErr err = static_cast<OSErr>(FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), ref, nullptr));
  if (err != noErr) return err;
  return FSGetCatalogInfo(ref, kFSCatInfoFinderInfo, info, nullptr, nullptr, nullptr);
}

int Label(const Args& args) {
  size_t first = 0;
  int newLabel = -1;
  if (!args.empty() && args[0] == "--set") {
    if (args.size() < 2) return Usage();
    const std::string& n = args[1];
    if (n.size() != 1 || n[0] < '0' || n[0] > '7') {
      std::fprintf(stderr, "macctl label: the label must be a number from 0 to 7, not '%s'\n", n.c_str());
      return 2;
    }
    newLabel = n[0] - '0';
    first = 2;
  }
  if (first >= args.size()) return Usage();

  int status = 0;
  for (size_t i = first; i < args.size(); ++i) {
    const std::string& path = args[i];
    FSRef ref;
    FSCatalogInfo info;
    OSErr err = ReadInfo(path, &ref, &info);
    if (err == noErr && newLabel >= 0) {
      UInt16 flags = static_cast<UInt16>((info.finderInfo[kFinderFlags] << 8) | info.finderInfo[kFinderFlags + 1]);
      flags = static_cast<UInt16>((flags & ~kColor) | (newLabel << 1));
      info.finderInfo[kFinderFlags] = static_cast<UInt8>(flags >> 8);
      info.finderInfo[kFinderFlags + 1] = static_cast<UInt8>(flags);
      err = FSSetCatalogInfo(&ref, kFSCatInfoFinderInfo, &info);
    }
    if (err != noErr) {
      status = Fail("label", path + ": " + Describe(err));
      continue;
    }
    if (newLabel < 0) {
      int label = ((info.finderInfo[kFinderFlags + 1]) >> 1) & 7;
      std::printf("%d\t%s\n", label, path.c_str());
    }
  }
  return status;
}

}  // namespace

MACCTL_COMMAND("label", "label [--set N] PATH...  show or set the colour label (0-7) of items", Label);

}  // namespace macctl
