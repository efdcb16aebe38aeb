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
//
// Every event sent by signature walks this list, so a walk must be cheap.
// Each live entry met is kept, parsed, with its file open and a pidfd on its
// process. An inotify watch on the runtime folder and on the list's folder,
// started before each full check, tells when anything there changed; while
// it reports nothing and no kept process has exited (its pidfd stays
// unreadable), a lookup is one poll and is answered from what was kept. A
// full check (folder checks, the folder listed again if its identity, mtime
// or ctime changed, each kept entry proved alive by an fstat, a flock test
// and a poll of its pidfd) runs when the poll reports something, at least
// once a second, and always where inotify or pidfds are not available.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <functional>
#include <map>
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
FileRead ReadSmallFile(const std::string& path, std::string* data, Fd* keep = nullptr,
                       struct stat* info = nullptr) {
  Fd fd(sys::Open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
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
  if (info != nullptr) *info = st;
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
// 2. Inspecting one entry, and the cache that makes it cheap.

enum class State { kLive, kDead, kGarbage, kSkipped, kMissing };

std::string EntryPath(const std::string& dir, UInt32 serial) { return dir + "/" + std::to_string(serial); }

// A timestamp is settled once the clock has moved well past it: any later
// change of the file then gets a different one. File times come from the
// kernel's coarse clock (a few milliseconds per step), so two changes close
// together can share a timestamp; the cache trusts only settled ones.
constexpr long long kSettleNanos = 100'000'000;

long long Nanos(const struct timespec& t) { return static_cast<long long>(t.tv_sec) * 1'000'000'000LL + t.tv_nsec; }

long long NowNanos() {
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  return Nanos(now);
}

long long MonotonicNanos() {
  struct timespec now;
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return Nanos(now);
}

bool Settled(const struct stat& st, long long now) {
  return now - Nanos(st.st_mtim) > kSettleNanos && now - Nanos(st.st_ctim) > kSettleNanos;
}

// What tells that a file (or the folder) is still exactly as it was read.
struct Identity {
  dev_t dev = 0;
  ino_t ino = 0;
  long long mtime = 0;
  long long ctime = 0;
  off_t size = 0;
  mode_t mode = 0;
  uid_t uid = 0;

  static Identity Of(const struct stat& st) {
    return {st.st_dev, st.st_ino, Nanos(st.st_mtim), Nanos(st.st_ctim), st.st_size, st.st_mode, st.st_uid};
  }
  bool operator==(const Identity&) const = default;
};

// A live entry seen before: the file it was read from, kept open (never
// locked by us), and a pidfd on its process, which tells whether that very
// process has exited whatever became of its pid.
struct Cached {
  Fd file;
  Fd pidfd;                  // -1 where pidfd_open is not available
  Fd stat;                   // /proc/PID/stat, opened when CPU time is first asked
  Identity identity;         // of the file when it was read
  bool name_checked = true;  // the entry's name led to `file` since the folder last changed
  bool verified = true;      // proved alive since the current watch started
  Entry entry;
};

// At most this many entries are kept (up to three descriptors each); past
// it, entries are read afresh each time, as without a cache.
constexpr size_t kMaxCached = 128;

// A full check at least this often, whatever the watch says: it also sees
// changes no watch reports, such as a folder above the runtime folder moved.
constexpr long long kFullCheckNanos = 1'000'000'000;

// The listing of the folder and the entries met in it, for one process.
// Made once and never destroyed, like Self below.
struct ListCache {
  std::mutex mutex;
  std::string dir;
  Identity folder;
  bool trusted = false;  // `serials` is the folder's content while `folder` is unchanged
  std::vector<UInt32> serials;
  std::map<UInt32, Cached> entries;
  // The watch started at the last full check (-1: none), when that check
  // began, and the descriptors polled to learn whether anything changed
  // since: the watch and the pidfds of the kept entries.
  Fd watch;
  long long checked_at = 0;
  std::vector<struct pollfd> poll_set;
};

ListCache& TheCache() {
  static ListCache* cache = new ListCache;
  return *cache;
}

// pidfd_open (Linux 5.3): a handle on one process, not on a pid. It and the
// poll on it are calls on a process, not on files or sockets, so they go to
// the kernel directly and leave the fault seam of the transport's own polls
// alone.
int PidfdOpen(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

// Whether the process behind a pidfd is still running: the pidfd becomes
// readable when it exits. -1 when the poll itself failed.
int PidfdRunning(int pidfd) {
  struct pollfd p = {pidfd, POLLIN, 0};
  int n = ::poll(&p, 1, 0);
  if (n < 0) return -1;
  return n == 0 ? 1 : 0;
}

// Brings the listing up to date: the folder is listed again only when it
// changed since (or its last listing was not settled yet). Entries whose
// names went away are dropped with their descriptors; the others have their
// names checked again on their next use.
void RefreshLocked(ListCache& cache, const std::string& dir) {
  const long long now = NowNanos();
  struct stat st;
  bool have = sys::Stat(dir.c_str(), &st) == 0;
  Identity folder = have ? Identity::Of(st) : Identity{};
  if (cache.dir != dir || !have || folder.dev != cache.folder.dev || folder.ino != cache.folder.ino) {
    cache.entries.clear();
    cache.dir = dir;
  } else if (cache.trusted && folder == cache.folder) {
    return;
  }
  cache.serials = EntrySerials(dir);
  cache.folder = folder;
  cache.trusted = have && Settled(st, now);
  for (auto it = cache.entries.begin(); it != cache.entries.end();) {
    if (std::binary_search(cache.serials.begin(), cache.serials.end(), it->first)) {
      it->second.name_checked = false;
      ++it;
    } else {
      it = cache.entries.erase(it);
    }
  }
}

// Replaces the watch with a new one on the runtime folder and on `dir`. It
// is started before the list's folder is listed and its entries checked, so
// that whatever changes after that is reported. Nothing is ever read from
// it: it is only polled and then replaced, which also keeps it right in a
// forked child that shares it. Without inotify (or past the user's limit of
// inotify instances) there is no watch, and every lookup is a full check.
void StartWatch(ListCache& cache, const std::string& dir) {
  cache.watch.Reset();
  Fd watch(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
  if (!watch) return;
  constexpr uint32_t kItself = IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW;
  constexpr uint32_t kNames = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
  // The list's folder: every name and every file in it (entries, "front",
  // "counter"). The runtime folder: its names, so a replaced list folder
  // is seen.
  const std::string parent = dir.substr(0, dir.rfind('/'));
  if (::inotify_add_watch(watch.get(), parent.c_str(), kItself | kNames) < 0) return;
  if (::inotify_add_watch(watch.get(), dir.c_str(), kItself | kNames | IN_MODIFY | IN_CLOSE_WRITE) < 0) return;
  cache.watch = std::move(watch);
}

// Whether everything kept still stands as the last full check left it: the
// same folder, checked under a second ago, nothing reported by the watch
// and no kept process exited. One poll.
bool UnchangedLocked(ListCache& cache, const std::string& dir) {
  if (!cache.watch || cache.dir != dir) return false;
  if (MonotonicNanos() - cache.checked_at >= kFullCheckNanos) return false;
  cache.poll_set.clear();
  cache.poll_set.push_back({cache.watch.get(), POLLIN, 0});
  for (const auto& [serial, kept] : cache.entries)
    if (kept.pidfd) cache.poll_set.push_back({kept.pidfd.get(), POLLIN, 0});
  return ::poll(cache.poll_set.data(), cache.poll_set.size(), 0) == 0;
}

// Brings the cache up to date and gives the list's folder: at once when
// nothing changed, or by a full check that starts a new watch.
OSErr UpdateLocked(ListCache& cache, std::string* dir) {
  const std::string expected = RuntimeSubdirPath(kSubdir);
  if (UnchangedLocked(cache, expected)) {
    *dir = cache.dir;
    return noErr;
  }
  const long long started = MonotonicNanos();
  OSErr err = RuntimeSubdir(kSubdir, dir);  // checks the folders, and makes them the first time
  if (err != noErr) {
    cache.watch.Reset();
    return err;
  }
  StartWatch(cache, *dir);
  RefreshLocked(cache, *dir);
  for (auto& [serial, kept] : cache.entries) kept.verified = false;
  cache.checked_at = started;
  return noErr;
}

enum class Check { kLive, kDead, kMissing, kStale };

// Proves a cached entry still live without reading it: its name still
// leads to the same file, unchanged, that its owner still holds locked,
// and its process has not exited.
Check CheckCached(const std::string& path, Cached& c) {
  if (!c.name_checked) {
    struct stat there;
    if (sys::Lstat(path.c_str(), &there) != 0) return errno == ENOENT ? Check::kMissing : Check::kStale;
    if (there.st_dev != c.identity.dev || there.st_ino != c.identity.ino) return Check::kStale;
    c.name_checked = true;
  }
  struct stat now;
  if (sys::Fstat(c.file.get(), &now) != 0 || now.st_nlink == 0 || !(Identity::Of(now) == c.identity))
    return Check::kStale;
  // Held: the owner (or a child forked from it) still has the file open. A
  // shared lock we happen to take here goes with the descriptor when the
  // entry is dropped as dead.
  bool held = sys::Flock(c.file.get(), LOCK_SH | LOCK_NB) != 0;
  bool running = false;
  int by_pidfd = c.pidfd ? PidfdRunning(c.pidfd.get()) : -1;
  if (by_pidfd >= 0) {
    running = by_pidfd == 1;
  } else {
    UInt64 start = 0;
    running = ReadProcStat(c.entry.pid, &start, nullptr) && start == c.entry.startTime;
  }
  return held && running ? Check::kLive : Check::kDead;
}

// Reads the entry of `serial` and tells whether its process is alive. A dead
// entry is removed; a damaged one that nobody holds is kept aside; a file of
// another owner, a link or anything unreadable is left alone and skipped.
// A live entry is kept in the cache and proved alive from there next time.
State Inspect(ListCache& cache, UInt32 serial, Entry* entry) {
  auto kept = cache.entries.find(serial);
  // Proved alive since the watch started, and the poll of its pidfd is part
  // of what UpdateLocked found unchanged.
  if (kept != cache.entries.end() && kept->second.verified && kept->second.pidfd) {
    *entry = kept->second.entry;
    return State::kLive;
  }
  const std::string path = EntryPath(cache.dir, serial);
  if (auto it = kept; it != cache.entries.end()) {
    switch (CheckCached(path, it->second)) {
      case Check::kLive:
        it->second.verified = true;
        *entry = it->second.entry;
        return State::kLive;
      case Check::kDead:
        cache.entries.erase(it);
        sys::Unlink(path.c_str());
        return State::kDead;
      case Check::kMissing:
        cache.entries.erase(it);
        return State::kMissing;
      case Check::kStale:
        cache.entries.erase(it);
        break;  // read it afresh
    }
  }

  const long long now = NowNanos();
  std::string text;
  Fd fd;
  struct stat st;
  switch (ReadSmallFile(path, &text, &fd, &st)) {
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
  // The pidfd is opened before the start time is read: if the start time
  // then matches, the pidfd is a handle on the registered process itself.
  Fd pidfd;
  if (held && lock_known && parsed.pid > 0) pidfd = Fd(PidfdOpen(parsed.pid));
  UInt64 start = 0;
  bool running = ReadProcStat(parsed.pid, &start, nullptr) && start == parsed.startTime;
  if (held && running) {
    parsed.alive = true;
    *entry = parsed;
    if (lock_known && Settled(st, now) && cache.entries.size() < kMaxCached) {
      Cached& c = cache.entries[serial];
      c.file = std::move(fd);
      c.pidfd = std::move(pidfd);
      c.identity = Identity::Of(st);
      c.entry = std::move(parsed);
    }
    return State::kLive;
  }
  sys::Unlink(path.c_str());
  return State::kDead;
}

// Walks the live entries in registration order, starting after `after`,
// until `stop` returns true for one; that one is copied into `found`.
OSErr Walk(UInt32 after, const std::function<bool(const Entry&)>& stop, Entry* found) {
  ListCache& cache = TheCache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  std::string dir;
  OSErr err = UpdateLocked(cache, &dir);
  if (err != noErr) return err;
  const std::vector<UInt32> serials = cache.serials;
  for (auto s = std::upper_bound(serials.begin(), serials.end(), after); s != serials.end(); ++s) {
    Entry entry;
    if (Inspect(cache, *s, &entry) != State::kLive) continue;
    if (stop(entry)) {
      if (found != nullptr) *found = std::move(entry);
      return noErr;
    }
  }
  return procNotFound;
}

// The live entry of one serial number, through the cache: procNotFound
// when it is not live, or the error of the folder checks.
OSErr InspectOne(UInt32 serial, Entry* entry) {
  ListCache& cache = TheCache();
  std::lock_guard<std::mutex> lock(cache.mutex);
  std::string dir;
  OSErr err = UpdateLocked(cache, &dir);
  if (err != noErr) return err;
  return Inspect(cache, serial, entry) == State::kLive ? OSErr(noErr) : OSErr(procNotFound);
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
  Entry found;
  OSErr err = InspectOne(serial, &found);
  if (err != noErr) return err;
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
  err = InspectOne(static_cast<UInt32>(front), &entry);
  if (err != noErr) return err;
  if (serial != nullptr) *serial = static_cast<UInt32>(front);
  return noErr;
}

OSErr SetFrontSerial(UInt32 serial) {
  if (serial <= 2) return procNotFound;
  std::string dir;
  OSErr err = RuntimeSubdir(kSubdir, &dir);
  if (err != noErr) return err;
  Entry entry;
  err = InspectOne(serial, &entry);
  if (err != noErr) return err;
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

namespace {

Fd OpenProcStat(pid_t pid) {
  if (pid <= 0) return Fd();
  const std::string path = "/proc/" + std::to_string(pid) + "/stat";
  return Fd(sys::Open(path.c_str(), O_RDONLY | O_CLOEXEC));
}

// Reads an open /proc/PID/stat. The kernel makes the text afresh for a read
// at offset 0 and gives all of it to one read this size (a short line), so
// one pread is the whole, consistent file; it fails once the process exited.
bool ReadOpenProcStat(int fd, UInt64* startTime, UInt64* cpuTime) {
  char buf[4096];
  ssize_t n;
  do {
    n = sys::Pread(fd, buf, sizeof buf, 0);
  } while (n < 0 && errno == EINTR);
  if (n <= 0 || static_cast<size_t>(n) == sizeof buf) return false;
  return ParseProcStat(std::string_view(buf, static_cast<size_t>(n)), startTime, cpuTime);
}

}  // namespace

bool ReadProcStat(pid_t pid, UInt64* startTime, UInt64* cpuTime) {
  Fd fd = OpenProcStat(pid);
  return fd && ReadOpenProcStat(fd.get(), startTime, cpuTime);
}

bool CpuTime(const Entry& entry, UInt64* cpuTime) {
  UInt64 start = 0;
  ListCache& cache = TheCache();
  {
    std::lock_guard<std::mutex> lock(cache.mutex);
    auto it = cache.entries.find(entry.serial);
    if (it != cache.entries.end() && it->second.entry.pid == entry.pid &&
        it->second.entry.startTime == entry.startTime) {
      Cached& kept = it->second;
      if (!kept.stat) kept.stat = OpenProcStat(entry.pid);
      // The start time tells that the file opened by pid is this process's.
      if (kept.stat && ReadOpenProcStat(kept.stat.get(), &start, cpuTime)) return start == entry.startTime;
      kept.stat.Reset();
    }
  }
  return ReadProcStat(entry.pid, &start, cpuTime) && start == entry.startTime;
}

}  // namespace macplatform::processes
