// Registry.cpp — the process list on Linux: one file per process in the
// runtime folder.
//
// Sections:
//   1. Small files of the list: reading them safely, the serial counter.
//   2. Inspecting one entry: form, owner, lock, pid and start time.
//   3. The caller's own registration.
//   4. Lookups and the front process.
//
// The list lives in RuntimeSubdir("processes"): a file per process named by
// its serial number, "counter" (the next serial number, changed under the
// flock of "serial.lock") and "front" (the front process's serial number).
// Liveness is never taken from a pid alone, since pids are reused: the
// registered process holds an exclusive flock on its entry file for its
// whole life, so a reader that can lock the file knows the owner has gone.
// The pid and its start time are checked as well, which also catches a file
// whose lock lives on only in a child forked from the owner.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/core/Errno.h"
#include "platform/core/RuntimeDir.h"
#include "platform/core/SysCalls.h"
#include "platform/processes/ProcessRegistry.h"
#include "platform/processes/Processes.h"

// Defined by MAC_PROCESS_IDENTITY in the program, if it declares one.
extern "C" const MacProcessIdentity gMacProcessDeclaredIdentity __attribute__((weak));

namespace macplatform::processes {
namespace {

// ---------------------------------------------------------------------------
// 1. Small files of the list.

constexpr char kSubdir[] = "processes";
constexpr size_t kMaxFileSize = 8192;
// After a lost or damaged counter, numbering goes on this far above the
// highest serial still visible, so that serials of processes whose entries
// are already gone are not handed out again.
constexpr UInt64 kRecoveryGap = 0x10000;

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(Fd&& other) noexcept : fd_(other.Release()) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = other.Release();
    }
    return *this;
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Reset() {
    if (fd_ >= 0) sys::Close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

enum class FileRead { kOk, kMissing, kForeign, kTooBig, kUnreadable };

// Reads a small regular file that this user owns and only this user may
// write, without following a link and without blocking on a FIFO. `keep`,
// when given, receives the open descriptor.
FileRead ReadSmallFile(const std::string& path, std::string* data, Fd* keep = nullptr) {
  Fd fd(sys::Open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY));
  if (!fd) {
    if (errno == ENOENT) return FileRead::kMissing;
    if (errno == ELOOP) return FileRead::kForeign;
    return FileRead::kUnreadable;
  }
  struct stat st;
  if (sys::Fstat(fd.get(), &st) != 0) return FileRead::kUnreadable;
  if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & 022) != 0) return FileRead::kForeign;
  if (st.st_size > static_cast<off_t>(kMaxFileSize)) return FileRead::kTooBig;
  data->assign(kMaxFileSize + 1, '\0');
  size_t got = 0;
  while (got < data->size()) {
    ssize_t n = sys::Read(fd.get(), data->data() + got, data->size() - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      return FileRead::kUnreadable;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  if (got > kMaxFileSize) return FileRead::kTooBig;
  data->resize(got);
  if (keep != nullptr) *keep = std::move(fd);
  return FileRead::kOk;
}

// A serial number written as decimal text: the name of an entry file, or
// the contents of "counter" and "front" (with one trailing newline).
bool ParseSerial(std::string_view text, UInt64 max, UInt64* value) {
  if (text.empty() || text.size() > 10) return false;
  if (text.size() > 1 && text[0] == '0') return false;
  UInt64 v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<UInt64>(c - '0');
  }
  if (v > max || v <= 2) return false;
  *value = v;
  return true;
}

bool ParseSerialFile(const std::string& text, UInt64 max, UInt64* value) {
  if (text.empty() || text.back() != '\n') return false;
  return ParseSerial(std::string_view(text).substr(0, text.size() - 1), max, value);
}

// Moves a damaged file out of the way, so that it can be looked at later
// and is never silently overwritten.
void KeepAside(const std::string& path) {
  std::string aside = path + ".corrupt";
  sys::Rename(path.c_str(), aside.c_str());
}

// Serial numbers of the entry files, in registration order.
std::vector<UInt32> EntrySerials(const std::string& dir) {
  std::vector<UInt32> serials;
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return serials;
  while (struct dirent* item = ::readdir(d)) {
    UInt64 serial = 0;
    if (ParseSerial(item->d_name, 0xFFFFFFFFu, &serial)) serials.push_back(static_cast<UInt32>(serial));
  }
  ::closedir(d);
  std::sort(serials.begin(), serials.end());
  return serials;
}

// The next serial number of the session. Only one process at a time reads
// and advances the counter (flock on "serial.lock"); the counter file itself
// is replaced atomically.
OSErr NextSerial(const std::string& dir, UInt32* serial) {
  Fd lock(sys::Open((dir + "/serial.lock").c_str(), O_RDWR | O_CREAT | O_NOFOLLOW, 0600));
  if (!lock) return OSErrFromErrno(errno);
  while (sys::Flock(lock.get(), LOCK_EX) != 0)
    if (errno != EINTR) return OSErrFromErrno(errno);

  UInt64 highest = 0;
  for (UInt32 s : EntrySerials(dir)) highest = std::max<UInt64>(highest, s);
  std::string front;
  UInt64 front_serial = 0;
  if (ReadSmallFile(dir + "/front", &front) == FileRead::kOk && ParseSerialFile(front, 0xFFFFFFFFu, &front_serial))
    highest = std::max(highest, front_serial);

  const std::string counter_path = dir + "/counter";
  std::string text;
  UInt64 next = kFirstSerial;
  switch (ReadSmallFile(counter_path, &text)) {
    case FileRead::kOk:
      if (ParseSerialFile(text, 0xFFFFFFFFu, &next)) break;
      [[fallthrough]];
    case FileRead::kTooBig:
      KeepAside(counter_path);
      next = std::max<UInt64>(kFirstSerial, highest + 1) + kRecoveryGap;
      break;
    case FileRead::kMissing:
      // A fresh session, or a counter someone removed: never below what is visible.
      if (highest != 0) next = std::max<UInt64>(kFirstSerial, highest + 1) + kRecoveryGap;
      break;
    case FileRead::kForeign:
      return afpAccessDenied;
    case FileRead::kUnreadable:
      return OSErrFromErrno(errno);
  }
  next = std::max<UInt64>({next, kFirstSerial, highest + 1});
  if (next >= 0xFFFFFFFFu) return ioErr;  // a session that used up four billion serials
  std::string out = std::to_string(next + 1) + "\n";
  if (sys::WriteFileAtomically(counter_path.c_str(), out.data(), out.size(), 0600) != 0) return OSErrFromErrno(errno);
  *serial = static_cast<UInt32>(next);
  return noErr;
}

// ---------------------------------------------------------------------------
// 2. Inspecting one entry.

enum class State { kLive, kDead, kGarbage, kSkipped, kMissing };

std::string EntryPath(const std::string& dir, UInt32 serial) { return dir + "/" + std::to_string(serial); }

// Reads the entry of `serial` and tells whether its process is alive. A dead
// entry is removed; a damaged one that nobody holds is kept aside; a file of
// another owner, a link or anything unreadable is left alone and skipped.
State Inspect(const std::string& dir, UInt32 serial, Entry* entry) {
  const std::string path = EntryPath(dir, serial);
  std::string text;
  Fd fd;
  switch (ReadSmallFile(path, &text, &fd)) {
    case FileRead::kOk:
      break;
    case FileRead::kMissing:
      return State::kMissing;
    case FileRead::kTooBig:
      return State::kGarbage;  // too big to be ours, but possibly held: leave it
    case FileRead::kForeign:
    case FileRead::kUnreadable:
      return State::kSkipped;
  }
  Entry parsed;
  bool well_formed = ParseEntry(text.data(), text.size(), &parsed) && parsed.serial == serial;

  // Held: the owner (or a child forked from it) still has the file open.
  bool held = true;
  bool lock_known = true;
  if (sys::Flock(fd.get(), LOCK_SH | LOCK_NB) == 0)
    held = false;
  else if (errno != EWOULDBLOCK)
    lock_known = false;

  if (!well_formed) {
    if (lock_known && !held) KeepAside(path);
    return State::kGarbage;
  }
  UInt64 start = 0;
  bool running = ReadProcStat(parsed.pid, &start, nullptr) && start == parsed.startTime;
  if (held && running) {
    parsed.alive = true;
    *entry = std::move(parsed);
    return State::kLive;
  }
  sys::Unlink(path.c_str());
  return State::kDead;
}

// Walks the live entries in registration order, starting after `after`,
// until `stop` returns true for one; that one is copied into `found`.
OSErr Walk(UInt32 after, const std::function<bool(const Entry&)>& stop, Entry* found) {
  std::string dir;
  OSErr err = RuntimeSubdir(kSubdir, &dir);
  if (err != noErr) return err;
  for (UInt32 serial : EntrySerials(dir)) {
    if (serial <= after) continue;
    Entry entry;
    if (Inspect(dir, serial, &entry) != State::kLive) continue;
    if (stop(entry)) {
      if (found != nullptr) *found = std::move(entry);
      return noErr;
    }
  }
  return procNotFound;
}

// ---------------------------------------------------------------------------
// 3. The caller's own registration.

// What this process registered as, and the locked entry file that keeps it
// alive. Made once and never destroyed, so that calls made while the
// program exits still find it.
struct Self {
  std::mutex mutex;
  pid_t pid = 0;  // the process that registered: a forked child must register anew
  int fd = -1;    // the entry file, locked exclusively
  std::string dir;
  std::string path;
  Entry entry;
  bool has_identity = false;  // set by TakeIdentity
  std::string name;
  bool name_given = false;
  OSType type = 0;
  OSType creator = 0;
  UInt32 mode = 0;
};

Self& TheSelf() {
  static Self* self = new Self;
  return *self;
}

std::string CommName() {
  std::string comm;
  if (ReadSmallFile("/proc/self/comm", &comm) != FileRead::kOk) return "process";
  while (!comm.empty() && (comm.back() == '\n' || comm.back() == '\0')) comm.pop_back();
  return comm.empty() ? "process" : comm;
}

// At most 31 bytes, cut at a character boundary, no control characters.
std::string CleanName(std::string name) {
  if (name.size() > kProcessNameMaxLength) {
    size_t cut = kProcessNameMaxLength;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    name.resize(cut);
  }
  for (char& c : name)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return name;
}

std::string ExecutablePath() {
  std::string path(4096, '\0');
  ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0 || static_cast<size_t>(n) >= path.size()) return {};
  path.resize(static_cast<size_t>(n));
  for (unsigned char c : path)
    if (c < 0x20 || c == 0x7F) return {};
  return path[0] == '/' ? path : std::string();
}

// Lets go of the current registration. Our own entry is removed; a
// descriptor inherited from the parent across fork is only closed, which
// leaves the parent's lock in place.
void DropLocked(Self& self) {
  if (self.fd >= 0) {
    if (self.pid == ::getpid()) sys::Unlink(self.path.c_str());
    sys::Close(self.fd);
  }
  self.fd = -1;
  self.pid = 0;
  self.dir.clear();
  self.path.clear();
  self.entry = Entry{};
}

// Whether the registration still stands: same process, same runtime
// folder, and our file is still the one at our path.
bool StillRegisteredLocked(const Self& self, const std::string& dir) {
  if (self.fd < 0 || self.pid != ::getpid() || self.dir != dir) return false;
  struct stat mine, there;
  if (sys::Fstat(self.fd, &mine) != 0 || mine.st_nlink == 0) return false;
  if (sys::Lstat(self.path.c_str(), &there) != 0) return false;
  return mine.st_dev == there.st_dev && mine.st_ino == there.st_ino;
}

OSErr RegisterLocked(Self& self, const std::string& dir) {
  DropLocked(self);

  Entry entry;
  entry.pid = ::getpid();
  if (!ReadProcStat(entry.pid, &entry.startTime, nullptr)) return ioErr;  // no /proc
  if (self.has_identity) {
    entry.name = self.name_given ? self.name : CommName();
    entry.type = self.type;
    entry.creator = self.creator;
    entry.mode = self.mode;
  } else if (&gMacProcessDeclaredIdentity != nullptr) {
    const MacProcessIdentity& declared = gMacProcessDeclaredIdentity;
    entry.name = declared.name != nullptr ? std::string(declared.name) : CommName();
    entry.type = declared.type;
    entry.creator = declared.creator;
    entry.mode = declared.mode;
  } else {
    entry.name = CommName();
    entry.type = 'APPL';
    entry.creator = '\?\?\?\?';  // '????'
    entry.mode = 0;
  }
  entry.name = CleanName(entry.name);
  entry.exe = ExecutablePath();
  pid_t parent = ::getppid();
  Entry launcher;
  if (Walk(0, [parent](const Entry& e) { return e.pid == parent; }, &launcher) == noErr)
    entry.launcher = launcher.serial;

  OSErr err = NextSerial(dir, &entry.serial);
  if (err != noErr) return err;

  // Written under a temporary name, locked, then renamed into place: a
  // reader never sees a partial entry, nor a complete one that is unlocked.
  const std::string text = FormatEntry(entry);
  const std::string path = EntryPath(dir, entry.serial);
  const std::string temp = dir + "/.new-" + std::to_string(entry.serial);
  Fd fd(sys::Open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, 0600));
  if (!fd) return OSErrFromErrno(errno);
  if (sys::WriteAll(fd.get(), text.data(), text.size()) != 0 || sys::Fsync(fd.get()) != 0 ||
      sys::Flock(fd.get(), LOCK_EX | LOCK_NB) != 0 || sys::Rename(temp.c_str(), path.c_str()) != 0) {
    int saved = errno;
    ::unlink(temp.c_str());
    return OSErrFromErrno(saved);
  }
  entry.alive = true;
  self.pid = entry.pid;
  self.fd = fd.Release();
  self.dir = dir;
  self.path = path;
  self.entry = std::move(entry);
  return noErr;
}

OSErr EnsureRegisteredLocked(Self& self) {
  std::string dir;
  OSErr err = RuntimeSubdir(kSubdir, &dir);
  if (err != noErr) return err;
  if (StillRegisteredLocked(self, dir)) return noErr;
  return RegisterLocked(self, dir);
}

}  // namespace

// ---------------------------------------------------------------------------
// 4. Lookups and the front process.

OSErr EnsureRegistered(UInt32* serial) {
  Self& self = TheSelf();
  std::lock_guard<std::mutex> lock(self.mutex);
  OSErr err = EnsureRegisteredLocked(self);
  if (err == noErr && serial != nullptr) *serial = self.entry.serial;
  return err;
}

OSErr CurrentEntry(Entry* entry) {
  Self& self = TheSelf();
  std::lock_guard<std::mutex> lock(self.mutex);
  OSErr err = EnsureRegisteredLocked(self);
  if (err == noErr && entry != nullptr) *entry = self.entry;
  return err;
}

OSErr TakeIdentity(const MacProcessIdentity* identity) {
  if (identity == nullptr) return paramErr;
  Self& self = TheSelf();
  std::lock_guard<std::mutex> lock(self.mutex);
  self.has_identity = true;
  self.name_given = identity->name != nullptr;
  self.name = identity->name != nullptr ? identity->name : "";
  self.type = identity->type;
  self.creator = identity->creator;
  self.mode = identity->mode;
  std::string dir;
  OSErr err = RuntimeSubdir(kSubdir, &dir);
  if (err != noErr) return err;
  return RegisterLocked(self, dir);
}

OSErr LookUp(UInt32 serial, Entry* entry) {
  if (serial <= 2) return procNotFound;
  std::string dir;
  OSErr err = RuntimeSubdir(kSubdir, &dir);
  if (err != noErr) return err;
  Entry found;
  if (Inspect(dir, serial, &found) != State::kLive) return procNotFound;
  if (entry != nullptr) *entry = std::move(found);
  return noErr;
}

OSErr NextAfter(UInt32 serial, Entry* entry) {
  return Walk(serial, [](const Entry&) { return true; }, entry);
}

OSErr FindByCreator(OSType creator, Entry* entry) {
  return Walk(0, [creator](const Entry& e) { return e.creator == creator; }, entry);
}

OSErr FindByPid(pid_t pid, Entry* entry) {
  return Walk(0, [pid](const Entry& e) { return e.pid == pid; }, entry);
}

OSErr FindByName(std::string_view name, Entry* entry) {
  return Walk(0, [name](const Entry& e) { return e.name == name; }, entry);
}

OSErr List(std::vector<Entry>* entries) {
  if (entries == nullptr) return paramErr;
  entries->clear();
  OSErr err = Walk(0, [entries](const Entry& e) {
    entries->push_back(e);
    return false;
  }, nullptr);
  return err == procNotFound ? OSErr{noErr} : err;
}

bool IsAlive(const Entry& entry) {
  Entry now;
  return LookUp(entry.serial, &now) == noErr && now.pid == entry.pid && now.startTime == entry.startTime;
}

OSErr FrontSerial(UInt32* serial) {
  std::string dir;
  OSErr err = RuntimeSubdir(kSubdir, &dir);
  if (err != noErr) return err;
  std::string text;
  UInt64 front = 0;
  if (ReadSmallFile(dir + "/front", &text) != FileRead::kOk || !ParseSerialFile(text, 0xFFFFFFFFu, &front))
    return procNotFound;
  Entry entry;
  if (Inspect(dir, static_cast<UInt32>(front), &entry) != State::kLive) return procNotFound;
  if (serial != nullptr) *serial = static_cast<UInt32>(front);
  return noErr;
}

OSErr SetFrontSerial(UInt32 serial) {
  if (serial <= 2) return procNotFound;
  std::string dir;
  OSErr err = RuntimeSubdir(kSubdir, &dir);
  if (err != noErr) return err;
  Entry entry;
  if (Inspect(dir, serial, &entry) != State::kLive) return procNotFound;
  const std::string path = dir + "/front";
  std::string text;
  UInt64 old = 0;
  FileRead read = ReadSmallFile(path, &text);
  if (read == FileRead::kForeign) return afpAccessDenied;
  if ((read == FileRead::kOk && !ParseSerialFile(text, 0xFFFFFFFFu, &old)) || read == FileRead::kTooBig)
    KeepAside(path);
  text = std::to_string(serial) + "\n";
  if (sys::WriteFileAtomically(path.c_str(), text.data(), text.size(), 0600) != 0) return OSErrFromErrno(errno);
  return noErr;
}

bool ReadProcStat(pid_t pid, UInt64* startTime, UInt64* cpuTime) {
  if (pid <= 0) return false;
  std::string path = "/proc/" + std::to_string(pid) + "/stat";
  Fd fd(sys::Open(path.c_str(), O_RDONLY));
  if (!fd) return false;
  char buf[4096];
  size_t got = 0;
  while (got < sizeof buf) {
    ssize_t n = sys::Read(fd.get(), buf + got, sizeof buf - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return ParseProcStat(std::string_view(buf, got), startTime, cpuTime);
}

}  // namespace macplatform::processes
