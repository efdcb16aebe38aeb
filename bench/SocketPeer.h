// SocketPeer.h — the other end of the bare-socket baselines: a forked
// process that reads requests of a fixed size over a Unix socket pair and
// answers each one that asks for it with an answer of a fixed size. What
// an Apple-event round trip costs at the least, with no Apple events.
#pragma once

#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <vector>

namespace tw::bench {

class SocketPeer {
 public:
  SocketPeer(size_t requestBytes, size_t answerBytes)
      : ask_(requestBytes, kAsk), tell_(requestBytes, kTell), answer_(answerBytes) {
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds_) != 0) return;
    child_ = fork();
    if (child_ == 0) {
      close(fds_[0]);
      std::vector<char> in(requestBytes), out(answerBytes, 'r');
      while (ReadFull(fds_[1], in.data(), in.size())) {
        if (in[0] == kAsk && write(fds_[1], out.data(), out.size()) != ssize_t(out.size())) break;
      }
      _exit(0);
    }
    close(fds_[1]);
    fds_[1] = -1;
  }
  ~SocketPeer() {
    if (fds_[0] >= 0) close(fds_[0]);  // the peer reads end of file and exits
    if (child_ > 0) waitpid(child_, nullptr, 0);
  }
  SocketPeer(const SocketPeer&) = delete;
  SocketPeer& operator=(const SocketPeer&) = delete;

  bool ok() const { return child_ > 0; }
  // One request and its answer.
  bool RoundTrip() { return Send(ask_) && ReadFull(fds_[0], answer_.data(), answer_.size()); }
  // One request that gets no answer.
  bool Tell() { return Send(tell_); }

 private:
  static constexpr char kAsk = 'q';
  static constexpr char kTell = 'n';

  static bool ReadFull(int fd, char* buf, size_t n) {
    while (n > 0) {
      ssize_t got = read(fd, buf, n);
      if (got <= 0) return false;
      buf += got;
      n -= size_t(got);
    }
    return true;
  }
  bool Send(const std::vector<char>& request) {
    return write(fds_[0], request.data(), request.size()) == ssize_t(request.size());
  }

  int fds_[2] = {-1, -1};
  pid_t child_ = -1;
  std::vector<char> ask_, tell_, answer_;
};

}  // namespace tw::bench
