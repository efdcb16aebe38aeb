// DomainFile.cpp — see DomainFile.h. The Linux part of the preferences.
//
// Sections: names and folders; reading; setting a corrupt file aside;
// merging under the lock.
#include "platform/preferences/DomainFile.h"

#include <errno.h>
#include <pwd.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/core/Errno.h"
#include "platform/core/MacErrors.h"
#include "platform/core/SysCalls.h"

namespace macplatform::prefs {

// ---------------------------------------------------------------------------
// Names and folders.

bool ValidApplicationID(const std::string& appID) {
  if (appID.empty() || appID == "." || appID == "..") return false;
  return appID.find('/') == std::string::npos && appID.find('\0') == std::string::npos;
}

namespace {

std::string ReadHostID() {
  std::string id;
  int fd = sys::Open("/etc/machine-id", O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    char buffer[128];
    ssize_t n = sys::Read(fd, buffer, sizeof buffer - 1);
    sys::Close(fd);
    if (n > 0) {
      id.assign(buffer, static_cast<size_t>(n));
      id = id.substr(0, id.find('\n'));
    }
  }
  if (id.empty() || !ValidApplicationID(id)) {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) == 0) id = name;
  }
  if (id.empty() || !ValidApplicationID(id)) id = "localhost";
  return id;
}

}  // namespace

// Read once: the host does not change under a running process.
std::string HostID() {
  static const std::string id = ReadHostID();
  return id;
}

namespace {

std::string UserPreferencesDir() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return std::string(config) + "/macplatform/Preferences";
  const char* home = std::getenv("HOME");
  std::string base;
  if (home != nullptr && home[0] == '/') {
    base = home;
  } else {
    struct passwd* pw = ::getpwuid(::geteuid());
    base = pw != nullptr && pw->pw_dir != nullptr ? pw->pw_dir : "/";
  }
  return base + "/.config/macplatform/Preferences";
}

std::string SystemPreferencesDir() {
  const char* system = std::getenv("MACPLATFORM_SYSTEM_DIR");
  if (system != nullptr && system[0] != '\0') return std::string(system) + "/Preferences";
  return "/var/lib/macplatform/Preferences";
}

std::string Parent(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
}

// mkdir -p of the folder that holds `path`.
int MakeParents(const std::string& path, mode_t mode) {
  std::string dir = Parent(path);
  struct stat st;
  if (sys::Stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : (errno = ENOTDIR, -1);
  if (errno != ENOENT) return -1;
  if (MakeParents(dir, mode) != 0) return -1;
  if (sys::Mkdir(dir.c_str(), mode) != 0 && errno != EEXIST) return -1;
  return 0;
}

}  // namespace

std::string DomainPath(const std::string& appID, UserScope user, HostScope host) {
  std::string dir = user == UserScope::Current ? UserPreferencesDir() : SystemPreferencesDir();
  if (host == HostScope::Current) return dir + "/ByHost/" + appID + "." + HostID() + ".plist";
  return dir + "/" + appID + ".plist";
}

// ---------------------------------------------------------------------------
// Reading.

namespace {

enum class ReadResult { kOk, kMissing, kCorrupt, kError };

// Reads and parses the file; on kError `error` holds the errno.
ReadResult ReadAndParse(const std::string& path, PlistPtr* contents, int* error) {
  int fd = sys::Open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = errno;
    return errno == ENOENT ? ReadResult::kMissing : ReadResult::kError;
  }
  struct stat st;
  if (sys::Fstat(fd, &st) != 0) {
    *error = errno;
    sys::Close(fd);
    return ReadResult::kError;
  }
  if (!S_ISREG(st.st_mode)) {
    sys::Close(fd);
    *error = EISDIR;
    return ReadResult::kError;
  }
  if (static_cast<size_t>(st.st_size) > kMaxPlistBytes) {
    sys::Close(fd);
    return ReadResult::kCorrupt;
  }
  std::string bytes;
  char buffer[16384];
  for (;;) {
    ssize_t n = sys::Read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = errno;
      sys::Close(fd);
      return ReadResult::kError;
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
    if (bytes.size() > kMaxPlistBytes) break;
  }
  sys::Close(fd);
  if (bytes.empty()) {
    // A file just created and not yet written reads as an empty domain.
    contents->reset(plist_new_dict());
    return ReadResult::kOk;
  }
  PlistPtr root = ParsePlist(bytes.data(), bytes.size());
  if (!root || plist_get_node_type(root.get()) != PLIST_DICT) return ReadResult::kCorrupt;
  *contents = std::move(root);
  return ReadResult::kOk;
}

// The lock of a domain: an flock on PATH.lock, released when it goes away.
class DomainLock {
 public:
  DomainLock(const std::string& path, mode_t mode) {
    fd_ = sys::Open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, mode);
    if (fd_ < 0) {
      error_ = errno;
      return;
    }
    while (sys::Flock(fd_, LOCK_EX) != 0) {
      if (errno == EINTR) continue;
      error_ = errno;
      sys::Close(fd_);
      fd_ = -1;
      return;
    }
  }
  ~DomainLock() {
    if (fd_ >= 0) sys::Close(fd_);  // closing drops the flock
  }
  DomainLock(const DomainLock&) = delete;
  DomainLock& operator=(const DomainLock&) = delete;
  bool held() const { return fd_ >= 0; }
  int error() const { return error_; }

 private:
  int fd_ = -1;
  int error_ = 0;
};

// ---------------------------------------------------------------------------
// Setting a corrupt file aside. Only under the lock: otherwise a good file
// that another process has just renamed into place could be moved instead.

int SetAside(const std::string& path) {
  std::string base = path + ".corrupt-" + std::to_string(static_cast<long long>(::time(nullptr)));
  std::string target = base;
  struct stat st;
  for (int n = 1; sys::Lstat(target.c_str(), &st) == 0 && n < 1000; ++n)
    target = base + "-" + std::to_string(n);
  return sys::Rename(path.c_str(), target.c_str());
}

// Under the lock: reads the file, setting a corrupt one aside.
OSErr ReadLocked(const std::string& path, PlistPtr* contents) {
  int error = 0;
  switch (ReadAndParse(path, contents, &error)) {
    case ReadResult::kOk:
      return noErr;
    case ReadResult::kMissing:
      contents->reset(plist_new_dict());
      return noErr;
    case ReadResult::kCorrupt:
      if (SetAside(path) != 0 && errno != ENOENT) return OSErrFromErrno(errno);
      contents->reset(plist_new_dict());
      return noErr;
    case ReadResult::kError:
      break;
  }
  return OSErrFromErrno(error);
}

mode_t FileMode(UserScope user) { return user == UserScope::Current ? 0600 : 0644; }
mode_t DirMode(UserScope user) { return user == UserScope::Current ? 0700 : 0755; }

}  // namespace

OSErr ReadDomainFile(const std::string& path, PlistPtr* contents) {
  int error = 0;
  switch (ReadAndParse(path, contents, &error)) {
    case ReadResult::kOk:
      return noErr;
    case ReadResult::kMissing:
      contents->reset(plist_new_dict());
      return noErr;
    case ReadResult::kError:
      return OSErrFromErrno(error);
    case ReadResult::kCorrupt:
      break;
  }
  // Look again under the lock before moving anything. A reader that may not
  // create the lock file could not rename the file either: it reads empty.
  DomainLock lock(path, 0600);
  if (!lock.held()) {
    contents->reset(plist_new_dict());
    return noErr;
  }
  return ReadLocked(path, contents);
}

// ---------------------------------------------------------------------------
// Merging under the lock.

OSErr MergeDomainFile(const std::string& path, UserScope user, const Changes& changes,
                      PlistPtr* merged) {
  // Deleting keys the file does not hold changes nothing: no folder, lock or
  // file is made for it (a domain never written stays absent).
  bool onlyDeletions = true;
  for (const auto& change : changes) onlyDeletions = onlyDeletions && !change.second;
  if (onlyDeletions) {
    PlistPtr current;
    OSErr err = ReadDomainFile(path, &current);
    if (err != noErr) return err;
    bool holdsAny = false;
    for (const auto& change : changes)
      holdsAny = holdsAny || plist_dict_get_item(current.get(), change.first.c_str()) != nullptr;
    if (!holdsAny) {
      *merged = std::move(current);
      return noErr;
    }
  }
  if (MakeParents(path, DirMode(user)) != 0) return OSErrFromErrno(errno);
  DomainLock lock(path, FileMode(user));
  if (!lock.held()) return OSErrFromErrno(lock.error());
  PlistPtr contents;
  OSErr err = ReadLocked(path, &contents);
  if (err != noErr) return err;
  for (const auto& [key, node] : changes) {
    if (node)
      plist_dict_set_item(contents.get(), key.c_str(), plist_copy(node.get()));
    else if (plist_dict_get_item(contents.get(), key.c_str()) != nullptr)
      plist_dict_remove_item(contents.get(), key.c_str());
  }
  std::string xml = WriteXML(contents.get());
  if (xml.empty()) return ioErr;
  if (sys::WriteFileAtomically(path.c_str(), xml.data(), xml.size(), FileMode(user)) != 0)
    return OSErrFromErrno(errno);
  *merged = std::move(contents);
  return noErr;
}

}  // namespace macplatform::prefs
