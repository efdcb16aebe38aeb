// RuntimeDir.cpp — see RuntimeDir.h.
#include "platform/core/RuntimeDir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/core/Errno.h"
#include "platform/core/SysCalls.h"

namespace macplatform {

OSErr EnsurePrivateDir(const std::string& path) {
  if (sys::Mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return OSErrFromErrno(errno);
  struct stat st;
  if (sys::Lstat(path.c_str(), &st) != 0) return OSErrFromErrno(errno);
  if (!S_ISDIR(st.st_mode)) return dirNFErr;
  if (st.st_uid != ::geteuid()) return afpAccessDenied;
  if ((st.st_mode & 077) != 0) {
    // A folder we own but that others may reach: tighten it rather than trust it.
    if (::chmod(path.c_str(), 0700) != 0) return afpAccessDenied;
  }
  return noErr;
}

OSErr RuntimeDir(std::string* path) {
  const char* xdg = std::getenv("XDG_RUNTIME_DIR");
  std::string dir;
  if (xdg != nullptr && xdg[0] == '/') {
    dir = std::string(xdg) + "/macplatform";
  } else {
    dir = "/tmp/macplatform-" + std::to_string(::geteuid());
  }
  OSErr err = EnsurePrivateDir(dir);
  if (err == noErr) *path = dir;
  return err;
}

OSErr RuntimeSubdir(const char* sub, std::string* path) {
  std::string base;
  OSErr err = RuntimeDir(&base);
  if (err != noErr) return err;
  std::string dir = base + "/" + sub;
  err = EnsurePrivateDir(dir);
  if (err == noErr) *path = dir;
  return err;
}

}  // namespace macplatform
