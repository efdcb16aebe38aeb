// SysCalls.h — the platform's one seam to the Linux kernel.
//
// Every system call that platform/ makes on files, attributes and sockets goes
// through these wrappers, so that a test can make the Nth call of a kind fail
// with a chosen errno, once or from then on, and watch the error path happen.
// The wrappers behave exactly like the calls they wrap (return value, errno).
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

namespace macplatform::sys {

enum class Call : int {
  Open, Close, Read, Write, Pread, Pwrite, Fstat, Stat, Lstat, Rename, Unlink,
  Mkdir, Fsync, Fgetxattr, Fsetxattr, Fremovexattr, Getxattr, Setxattr,
  Removexattr, Flock, Futimens, Utimensat, Socket, Bind, Listen, Connect,
  Accept, Sendmsg, Recvmsg, Poll, Statx, Count
};

// Fault injection: after `after` further successful calls of `which`, the
// next call fails with `error` (every later call too when `persistent`).
void FailCall(Call which, int error, unsigned after = 0, bool persistent = false);
// Removes every injected fault.
void ClearFaults();
// How many times `which` was called since the process started (for tests).
unsigned long CallCount(Call which);

int Open(const char* path, int flags, mode_t mode = 0);
int Close(int fd);
ssize_t Read(int fd, void* buf, size_t n);
ssize_t Write(int fd, const void* buf, size_t n);
ssize_t Pread(int fd, void* buf, size_t n, off_t offset);
ssize_t Pwrite(int fd, const void* buf, size_t n, off_t offset);
int Fstat(int fd, struct stat* st);
int Stat(const char* path, struct stat* st);
int Lstat(const char* path, struct stat* st);
int Rename(const char* from, const char* to);
int Unlink(const char* path);
int Mkdir(const char* path, mode_t mode);
int Fsync(int fd);
ssize_t Fgetxattr(int fd, const char* name, void* value, size_t size);
int Fsetxattr(int fd, const char* name, const void* value, size_t size, int flags);
int Fremovexattr(int fd, const char* name);
ssize_t Getxattr(const char* path, const char* name, void* value, size_t size);
int Setxattr(const char* path, const char* name, const void* value, size_t size, int flags);
int Removexattr(const char* path, const char* name);
int Flock(int fd, int operation);
int Futimens(int fd, const struct timespec times[2]);
int Utimensat(int dirfd, const char* path, const struct timespec times[2], int flags);
int Socket(int domain, int type, int protocol);
int Bind(int fd, const struct sockaddr* addr, socklen_t len);
int Listen(int fd, int backlog);
int Connect(int fd, const struct sockaddr* addr, socklen_t len);
int Accept(int fd, struct sockaddr* addr, socklen_t* len, int flags);
ssize_t Sendmsg(int fd, const struct msghdr* msg, int flags);
ssize_t Recvmsg(int fd, struct msghdr* msg, int flags);
int Poll(struct pollfd* fds, nfds_t n, int timeout_ms);
// statx(2): also gives the birth time, which tells a new item from an old one
// that had the same inode number.
int Statx(int dirfd, const char* path, int flags, unsigned mask, struct statx* st);

// Writes all of `n` bytes, retrying short writes and EINTR. Returns 0 or -1.
int WriteAll(int fd, const void* buf, size_t n);
// Writes a whole file atomically: a temporary file in the same folder, fsync,
// rename over `path`. The mode applies to the new file. Returns 0 or -1/errno.
int WriteFileAtomically(const char* path, const void* data, size_t n, mode_t mode);

}  // namespace macplatform::sys
