// ScrapStore.cpp — named scraps as files in the runtime folder (Linux part).
//
// Map of this file:
//   - paths: the scraps folder and the file of one scrap;
//   - reading: one open, one fstat, one bounded read, then Decode;
//   - writing: under an flock on the folder's ".lock" file, read, change,
//     and replace the file with WriteFileAtomically (temporary file + rename).
//
// Readers take no lock: a rename swaps the whole file, so an open file is
// always one complete version. Writers lock so that a Put from one process
// cannot drop a flavor that another process put between its read and write.
// The folder is 0700 and the files 0600: no other user can read a scrap.
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/core/Errno.h"
#include "platform/core/RuntimeDir.h"
#include "platform/core/SysCalls.h"
#include "platform/scrap/ScrapFile.h"

namespace macplatform::scrap {
namespace {

constexpr char kSuffix[] = ".scrap";
constexpr char kCorruptSuffix[] = ".corrupt";

// The folder's write lock, held for the life of the object.
class WriteLock {
 public:
  explicit WriteLock(const std::string& dir) {
    std::string path = dir + "/.lock";
    fd_ = sys::Open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0) {
      err_ = OSErrFromErrno(errno);
      return;
    }
    int r;
    do r = sys::Flock(fd_, LOCK_EX);
    while (r != 0 && errno == EINTR);
    if (r != 0) err_ = OSErrFromErrno(errno);
  }
  ~WriteLock() {
    if (fd_ >= 0) sys::Close(fd_);  // closing drops the lock
  }
  WriteLock(const WriteLock&) = delete;
  WriteLock& operator=(const WriteLock&) = delete;
  OSStatus status() const { return err_; }

 private:
  int fd_ = -1;
  OSStatus err_ = noErr;
};

OSStatus ScrapsDir(std::string* dir) { return RuntimeSubdir("scraps", dir); }

// NAME.scrap -> NAME.corrupt, in the same folder.
std::string CorruptPathFor(const std::string& path) {
  return path.substr(0, path.size() - (sizeof(kSuffix) - 1)) + kCorruptSuffix;
}

// Keeps a file that does not parse for whoever wants to look at it; the
// latest one of a scrap replaces the one before.
OSStatus MoveAside(const std::string& path) {
  if (sys::Rename(path.c_str(), CorruptPathFor(path).c_str()) != 0 && errno != ENOENT)
    return OSErrFromErrno(errno);
  return noErr;
}

}  // namespace

OSStatus PathFor(std::string_view name, std::string* path) {
  if (path == nullptr) return paramErr;
  std::string fileName;
  OSStatus err = FileNameFor(name, &fileName);
  if (err != noErr) return err;
  std::string dir;
  err = ScrapsDir(&dir);
  if (err != noErr) return err;
  *path = dir + "/" + fileName;
  return noErr;
}

OSStatus ReadFile(const std::string& path, Contents* contents) {
  if (contents == nullptr) return paramErr;
  int fd = sys::Open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) {
    if (errno == ENOENT) {
      contents->clear();
      return noErr;
    }
    return OSErrFromErrno(errno);
  }
  OSStatus err = noErr;
  struct stat st;
  std::vector<UInt8> bytes;
  if (sys::Fstat(fd, &st) != 0) {
    err = OSErrFromErrno(errno);
  } else if (!S_ISREG(st.st_mode) || st.st_size < 0 ||
             static_cast<UInt64>(st.st_size) > kMaxFileSize) {
    err = internalScrapErr;
  } else {
    // One byte more than the file claims: a file that grows while we read
    // was not written by a rename and is not trusted.
    bytes.resize(static_cast<size_t>(st.st_size) + 1);
    size_t have = 0;
    while (have < bytes.size()) {
      ssize_t n = sys::Read(fd, bytes.data() + have, bytes.size() - have);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        err = OSErrFromErrno(errno);
        break;
      }
      if (n == 0) break;
      have += static_cast<size_t>(n);
    }
    if (err == noErr && have != static_cast<size_t>(st.st_size)) err = internalScrapErr;
    if (err == noErr) err = Decode(bytes.data(), have, contents);
  }
  sys::Close(fd);
  return err;
}

OSStatus Clear(std::string_view name) {
  std::string path;
  OSStatus err = PathFor(name, &path);
  if (err != noErr) return err;
  std::string dir = path.substr(0, path.rfind('/'));
  WriteLock lock(dir);
  if (lock.status() != noErr) return lock.status();
  Contents old;
  err = ReadFile(path, &old);
  if (err == internalScrapErr) return MoveAside(path);
  if (err != noErr) return err;
  if (sys::Unlink(path.c_str()) != 0 && errno != ENOENT) return OSErrFromErrno(errno);
  return noErr;
}

OSStatus Put(std::string_view name, const Flavor& flavor) {
  if (flavor.data.size() > kMaxFlavorSize) return illegalScrapFlavorSizeErr;
  std::string path;
  OSStatus err = PathFor(name, &path);
  if (err != noErr) return err;
  std::string dir = path.substr(0, path.rfind('/'));
  WriteLock lock(dir);
  if (lock.status() != noErr) return lock.status();

  Contents contents;
  err = ReadFile(path, &contents);
  if (err == internalScrapErr) {
    // The broken file is kept aside; the scrap starts again from empty.
    err = MoveAside(path);
    contents.clear();
  }
  if (err != noErr) return err;

  size_t total = 0;
  for (const Flavor& f : contents) {
    if (f.type == flavor.type) return duplicateScrapFlavorErr;
    total += f.data.size();
  }
  if (contents.size() >= kMaxFlavors || total + flavor.data.size() + 12 * (contents.size() + 2) > kMaxFileSize)
    return memFullErr;
  contents.push_back(flavor);
  std::vector<UInt8> bytes = Encode(contents);
  if (sys::WriteFileAtomically(path.c_str(), bytes.data(), bytes.size(), 0600) != 0)
    return OSErrFromErrno(errno);
  return noErr;
}

}  // namespace macplatform::scrap
