// FinderInfoStore.cpp — Finder information in an extended attribute.
//
// The attribute is followed through symbolic links (getxattr, not lgetxattr):
// an FSRef made from a link names the link's target, and Linux keeps no user
// attributes on links themselves.
#include "platform/files/FinderInfoStore.h"

#include <cerrno>

#include "platform/core/Errno.h"
#include "platform/core/SysCalls.h"

namespace macplatform::files {
namespace {

class XattrFinderInfoStore final : public FinderInfoStore {
 public:
  OSErr Read(const ItemHandle& item, FinderInfoBytes* bytes) override {
    // Room for more than 32 bytes, so that a longer attribute shows its size
    // instead of failing with ERANGE.
    UInt8 buffer[64];
    ssize_t n = item.fd >= 0
                    ? sys::Fgetxattr(item.fd, kFinderInfoAttribute, buffer, sizeof buffer)
                    : sys::Getxattr(item.path.c_str(), kFinderInfoAttribute, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == ENODATA) {
        bytes->fill(0);
        return noErr;
      }
      if (errno == ERANGE || errno == E2BIG) return ioErr;  // longer than 64 bytes
      return OSErrFromErrno(errno);
    }
    if (static_cast<size_t>(n) != bytes->size()) return ioErr;  // damaged: keep it, report it
    std::copy(buffer, buffer + bytes->size(), bytes->begin());
    return noErr;
  }

  OSErr Write(const ItemHandle& item, const FinderInfoBytes& bytes) override {
    bool allZero = true;
    for (UInt8 b : bytes) allZero = allZero && b == 0;
    int rc;
    if (allZero) {
      rc = item.fd >= 0 ? sys::Fremovexattr(item.fd, kFinderInfoAttribute)
                        : sys::Removexattr(item.path.c_str(), kFinderInfoAttribute);
      // Already absent: the item holds the zeros asked for. The kernel checks
      // write permission before it looks for the attribute, so ENODATA
      // still means the write was allowed.
      if (rc != 0 && errno == ENODATA) rc = 0;
    } else {
      rc = item.fd >= 0 ? sys::Fsetxattr(item.fd, kFinderInfoAttribute, bytes.data(), bytes.size(), 0)
                        : sys::Setxattr(item.path.c_str(), kFinderInfoAttribute, bytes.data(), bytes.size(), 0);
    }
    if (rc != 0) return OSErrFromErrno(errno);
    return noErr;
  }
};

}  // namespace

FinderInfoStore& ActiveFinderInfoStore() {
  static XattrFinderInfoStore store;
  return store;
}

}  // namespace macplatform::files
