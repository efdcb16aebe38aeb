// SysCalls.cpp — wrappers with fault injection; see SysCalls.h.
#include "platform/core/SysCalls.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <random>
#include <string>

namespace macplatform::sys {
namespace {

constexpr int kCalls = static_cast<int>(Call::Count);

struct Fault {
  bool armed = false;
  bool persistent = false;
  unsigned remaining = 0;
  int error = 0;
};

std::mutex gFaultMutex;
Fault gFaults[kCalls];
std::atomic<bool> gAnyFault{false};
std::atomic<unsigned long> gCounts[kCalls];

// Counts the call and reports whether an injected fault fires now; when it
// does, errno is set to the injected error.
bool Injected(Call which) {
  int i = static_cast<int>(which);
  gCounts[i].fetch_add(1, std::memory_order_relaxed);
  if (!gAnyFault.load(std::memory_order_relaxed)) return false;
  std::lock_guard<std::mutex> lock(gFaultMutex);
  Fault& f = gFaults[i];
  if (!f.armed) return false;
  if (f.remaining > 0) {
    --f.remaining;
    return false;
  }
  if (!f.persistent) f.armed = false;
  errno = f.error;
  return true;
}

}  // namespace

void FailCall(Call which, int error, unsigned after, bool persistent) {
  std::lock_guard<std::mutex> lock(gFaultMutex);
  gFaults[static_cast<int>(which)] = Fault{true, persistent, after, error};
  gAnyFault = true;
}

void ClearFaults() {
  std::lock_guard<std::mutex> lock(gFaultMutex);
  for (Fault& f : gFaults) f = Fault{};
  gAnyFault = false;
}

unsigned long CallCount(Call which) { return gCounts[static_cast<int>(which)].load(); }

#define MP_SYSCALL(kind, expr) \
  do {                         \
    if (Injected(Call::kind)) return -1; \
    return expr;               \
  } while (0)

int Open(const char* path, int flags, mode_t mode) { MP_SYSCALL(Open, ::open(path, flags | O_CLOEXEC, mode)); }
int Close(int fd) { MP_SYSCALL(Close, ::close(fd)); }
ssize_t Read(int fd, void* buf, size_t n) { MP_SYSCALL(Read, ::read(fd, buf, n)); }
ssize_t Write(int fd, const void* buf, size_t n) { MP_SYSCALL(Write, ::write(fd, buf, n)); }
ssize_t Pread(int fd, void* buf, size_t n, off_t o) { MP_SYSCALL(Pread, ::pread(fd, buf, n, o)); }
ssize_t Pwrite(int fd, const void* buf, size_t n, off_t o) { MP_SYSCALL(Pwrite, ::pwrite(fd, buf, n, o)); }
int Fstat(int fd, struct stat* st) { MP_SYSCALL(Fstat, ::fstat(fd, st)); }
int Stat(const char* path, struct stat* st) { MP_SYSCALL(Stat, ::stat(path, st)); }
int Lstat(const char* path, struct stat* st) { MP_SYSCALL(Lstat, ::lstat(path, st)); }
int Rename(const char* from, const char* to) { MP_SYSCALL(Rename, ::rename(from, to)); }
int Unlink(const char* path) { MP_SYSCALL(Unlink, ::unlink(path)); }
int Mkdir(const char* path, mode_t mode) { MP_SYSCALL(Mkdir, ::mkdir(path, mode)); }
int Fsync(int fd) { MP_SYSCALL(Fsync, ::fsync(fd)); }
ssize_t Fgetxattr(int fd, const char* name, void* value, size_t size) {
  MP_SYSCALL(Fgetxattr, ::fgetxattr(fd, name, value, size));
}
int Fsetxattr(int fd, const char* name, const void* value, size_t size, int flags) {
  MP_SYSCALL(Fsetxattr, ::fsetxattr(fd, name, value, size, flags));
}
int Fremovexattr(int fd, const char* name) { MP_SYSCALL(Fremovexattr, ::fremovexattr(fd, name)); }
ssize_t Getxattr(const char* path, const char* name, void* value, size_t size) {
  MP_SYSCALL(Getxattr, ::getxattr(path, name, value, size));
}
int Setxattr(const char* path, const char* name, const void* value, size_t size, int flags) {
  MP_SYSCALL(Setxattr, ::setxattr(path, name, value, size, flags));
}
int Removexattr(const char* path, const char* name) { MP_SYSCALL(Removexattr, ::removexattr(path, name)); }
int Flock(int fd, int op) { MP_SYSCALL(Flock, ::flock(fd, op)); }
int Futimens(int fd, const struct timespec t[2]) { MP_SYSCALL(Futimens, ::futimens(fd, t)); }
int Utimensat(int dirfd, const char* path, const struct timespec t[2], int flags) {
  MP_SYSCALL(Utimensat, ::utimensat(dirfd, path, t, flags));
}
int Socket(int d, int t, int p) { MP_SYSCALL(Socket, ::socket(d, t | SOCK_CLOEXEC, p)); }
int Bind(int fd, const struct sockaddr* a, socklen_t l) { MP_SYSCALL(Bind, ::bind(fd, a, l)); }
int Listen(int fd, int backlog) { MP_SYSCALL(Listen, ::listen(fd, backlog)); }
int Connect(int fd, const struct sockaddr* a, socklen_t l) { MP_SYSCALL(Connect, ::connect(fd, a, l)); }
int Accept(int fd, struct sockaddr* a, socklen_t* l, int flags) {
  MP_SYSCALL(Accept, ::accept4(fd, a, l, flags | SOCK_CLOEXEC));
}
ssize_t Sendmsg(int fd, const struct msghdr* m, int flags) {
  MP_SYSCALL(Sendmsg, ::sendmsg(fd, m, flags | MSG_NOSIGNAL));
}
ssize_t Recvmsg(int fd, struct msghdr* m, int flags) { MP_SYSCALL(Recvmsg, ::recvmsg(fd, m, flags)); }
int Poll(struct pollfd* fds, nfds_t n, int timeout_ms) { MP_SYSCALL(Poll, ::poll(fds, n, timeout_ms)); }
int Statx(int dirfd, const char* path, int flags, unsigned mask, struct statx* st) {
  MP_SYSCALL(Statx, ::statx(dirfd, path, flags, mask, st));
}

#undef MP_SYSCALL

int WriteAll(int fd, const void* buf, size_t n) {
  const char* p = static_cast<const char*>(buf);
  while (n > 0) {
    ssize_t w = Write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    p += w;
    n -= static_cast<size_t>(w);
  }
  return 0;
}

int WriteFileAtomically(const char* path, const void* data, size_t n, mode_t mode) {
  std::string target(path);
  static thread_local std::mt19937_64 rng{std::random_device{}()};
  std::string tmp = target + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(rng());
  int fd = Open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL, mode);
  if (fd < 0) return -1;
  int saved = 0;
  if (WriteAll(fd, data, n) != 0 || Fsync(fd) != 0) saved = errno;
  if (Close(fd) != 0 && saved == 0) saved = errno;
  if (saved == 0 && Rename(tmp.c_str(), target.c_str()) != 0) saved = errno;
  if (saved != 0) {
    ::unlink(tmp.c_str());
    errno = saved;
    return -1;
  }
  return 0;
}

}  // namespace macplatform::sys
