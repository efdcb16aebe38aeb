// FinderInfoStore.h — where the 32 bytes of Finder information of an item
// are kept on Linux.
//
// One small interface, so that other forms (netatalk's or Samba's) can sit
// beside the default one: the extended attribute "user.com.apple.FinderInfo",
// 16 bytes of FinderInfo followed by 16 bytes of extended FinderInfo, the same
// attribute and layout that macOS itself shows.
#pragma once

#include <array>
#include <string>

#include "platform/core/MacTypes.h"

namespace macplatform::files {

using FinderInfoBytes = std::array<UInt8, 32>;

inline constexpr const char* kFinderInfoAttribute = "user.com.apple.FinderInfo";

// An item, named by path, and an open descriptor of it when there is one
// (fd < 0: use the path). Descriptors make the read and write act on the very
// item whose identity was checked.
struct ItemHandle {
  std::string path;
  int fd = -1;
};

class FinderInfoStore {
 public:
  virtual ~FinderInfoStore() = default;
  // All 32 bytes; an item without stored information reads as zeros. Stored
  // information of another size is damaged: ioErr, and `bytes` is untouched.
  virtual OSErr Read(const ItemHandle& item, FinderInfoBytes* bytes) = 0;
  // Replaces all 32 bytes; all zeros removes the stored information.
  virtual OSErr Write(const ItemHandle& item, const FinderInfoBytes& bytes) = 0;
};

// The store in use: the extended attribute.
FinderInfoStore& ActiveFinderInfoStore();

}  // namespace macplatform::files
