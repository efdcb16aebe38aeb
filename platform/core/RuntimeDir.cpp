// RuntimeDir.cpp — see RuntimeDir.h.
#include "platform/core/RuntimeDir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <mutex>

#include "platform/core/Errno.h"
#include "platform/core/SysCalls.h"

namespace macplatform {
namespace {

// Folders already checked, with what they were when checked. Every Apple
// event to the Finder looks the process list up, so the check must not cost a
// mkdir per call: a folder whose identity, owner and mode are unchanged since
// its check is taken on one lstat.
struct Checked {
  dev_t dev;
  ino_t ino;
  uid_t uid;
  mode_t mode;
};
std::mutex gCheckedMutex;
std::map<std::string, Checked>& CheckedFolders() {
  static auto* folders = new std::map<std::string, Checked>;
  return *folders;
}

bool SameAsChecked(const std::string& path, const struct stat& st) {
  std::lock_guard<std::mutex> lock(gCheckedMutex);
  auto it = CheckedFolders().find(path);
  return it != CheckedFolders().end() && it->second.dev == st.st_dev && it->second.ino == st.st_ino &&
         it->second.uid == st.st_uid && it->second.mode == st.st_mode;
}

void RememberChecked(const std::string& path, const struct stat& st) {
  std::lock_guard<std::mutex> lock(gCheckedMutex);
  CheckedFolders()[path] = Checked{st.st_dev, st.st_ino, st.st_uid, st.st_mode};
}

}  // namespace

OSErr EnsurePrivateDir(const std::string& path) {
  struct stat st;
  if (sys::Lstat(path.c_str(), &st) == 0 && SameAsChecked(path, st)) return noErr;

  if (sys::Mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return OSErrFromErrno(errno);
  if (sys::Lstat(path.c_str(), &st) != 0) return OSErrFromErrno(errno);
  if (!S_ISDIR(st.st_mode)) return dirNFErr;
  if (st.st_uid != ::geteuid()) return afpAccessDenied;
  if ((st.st_mode & 077) != 0) {
    // A folder we own but that others may reach: tighten it rather than trust it.
    if (::chmod(path.c_str(), 0700) != 0) return afpAccessDenied;
    if (sys::Lstat(path.c_str(), &st) != 0) return OSErrFromErrno(errno);
  }
  RememberChecked(path, st);
  return noErr;
}

namespace {

std::string RuntimeDirPath() {
  const char* xdg = std::getenv("XDG_RUNTIME_DIR");
  if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/macplatform";
  return "/tmp/macplatform-" + std::to_string(::geteuid());
}

}  // namespace

std::string RuntimeSubdirPath(const char* sub) { return RuntimeDirPath() + "/" + sub; }

OSErr RuntimeDir(std::string* path) {
  std::string dir = RuntimeDirPath();
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
