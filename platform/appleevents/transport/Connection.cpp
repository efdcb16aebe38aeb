// Connection.cpp — frames over a non-blocking Unix stream socket.
#include "platform/appleevents/transport/Connection.h"

#include <sys/socket.h>
#include <sys/uio.h>

#include <cerrno>
#include <cstring>

#include "platform/core/SysCalls.h"

namespace macplatform::ae::transport {

namespace {

// Room made for each read: large enough that a burst of small frames comes
// in with one call, small enough to keep an idle connection cheap.
constexpr size_t kReadChunk = 64 * 1024;

struct Header {
  UInt32 magic;
  UInt32 kind;
  UInt32 request;
  UInt32 senderSerial;
  UInt32 length;
};
static_assert(sizeof(Header) == kFrameHeaderSize);

// Sends as much of [data, data+size) as the socket takes now. Returns the
// count sent, or -1 with errno for a broken connection; EAGAIN counts as 0.
ssize_t SendSome(int fd, const char* data, size_t size) {
  iovec iov{const_cast<char*>(data), size};
  msghdr msg{};
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  for (;;) {
    ssize_t n = sys::Sendmsg(fd, &msg, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0) return n;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    return -1;
  }
}

}  // namespace

Connection::~Connection() {
  Close();
  for (Frame& frame : pending) AEDisposeDesc(&frame.desc);
}

void Connection::Close() {
  if (fd_ < 0) return;
  if (source != 0) eventloop::RemoveFdSource(source);
  source = 0;
  sys::Close(fd_);
  fd_ = -1;
  out_.clear();
  outStart_ = 0;
}

OSErr Connection::SendFrame(FrameKind kind, UInt32 request, UInt32 senderSerial,
                            const AEDesc& desc) {
  if (closed()) return connectionInvalid;
  const Size flat = AESizeOfFlattenedDesc(&desc);
  if (flat <= 0 || size_t(flat) > kMaxFramePayload) return paramErr;
  const Header header{kFrameMagic, UInt32(kind), request, senderSerial, UInt32(flat)};
  const size_t total = kFrameHeaderSize + size_t(flat);

  // The frame is put together in one buffer, reused from call to call, so
  // that it leaves with one system call and no allocation in the usual case.
  static thread_local std::vector<char> scratch;
  const bool queued = HasOutput();
  std::vector<char>& buffer = queued ? out_ : scratch;
  const size_t at = queued ? buffer.size() : 0;
  buffer.resize(at + total);
  std::memcpy(buffer.data() + at, &header, sizeof header);
  Size actual = 0;
  OSStatus err = AEFlattenDesc(&desc, buffer.data() + at + kFrameHeaderSize, flat, &actual);
  if (err != noErr || actual != flat) {
    buffer.resize(at);
    return err != noErr ? OSErr(err) : OSErr(errAECorruptData);
  }
  if (queued) return Flush() ? OSErr(noErr) : OSErr(connectionInvalid);

  const ssize_t sent = SendSome(fd_, scratch.data(), total);
  if (sent < 0) {
    Close();
    return connectionInvalid;
  }
  if (size_t(sent) < total) out_.assign(scratch.begin() + sent, scratch.begin() + total);
  if (scratch.capacity() > 4 * kReadChunk) std::vector<char>().swap(scratch);  // big frames do not stay
  return noErr;
}

bool Connection::Flush() {
  while (!closed() && HasOutput()) {
    const ssize_t sent = SendSome(fd_, out_.data() + outStart_, out_.size() - outStart_);
    if (sent < 0) {
      Close();
      return false;
    }
    if (sent == 0) return true;  // the socket is full: wait for POLLOUT
    outStart_ += size_t(sent);
  }
  out_.clear();
  outStart_ = 0;
  return !closed();
}

void Connection::ReadFrames(std::vector<Frame>* frames) {
  bool endOfStream = false;
  while (!closed()) {
    // Make room: slide the unread bytes to the front, then grow if needed.
    if (inStart_ > 0 && (inStart_ == inEnd_ || in_.size() - inEnd_ < kReadChunk)) {
      std::memmove(in_.data(), in_.data() + inStart_, inEnd_ - inStart_);
      inEnd_ -= inStart_;
      inStart_ = 0;
    }
    if (in_.size() - inEnd_ < kReadChunk) in_.resize(inEnd_ + kReadChunk);
    const size_t room = in_.size() - inEnd_;
    const ssize_t n = sys::Read(fd_, in_.data() + inEnd_, room);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) break;
      endOfStream = true;
      break;
    }
    if (n == 0) {
      endOfStream = true;
      break;
    }
    inEnd_ += size_t(n);

    // Every complete frame in the buffer.
    while (inEnd_ - inStart_ >= kFrameHeaderSize) {
      Header header;
      std::memcpy(&header, in_.data() + inStart_, sizeof header);
      const bool kindFits = role_ == Role::kClient
                                ? header.kind == kFrameReply
                                : (header.kind == kFrameEventNoReply || header.kind == kFrameEventWantsReply);
      if (header.magic != kFrameMagic || !kindFits || header.length > kMaxFramePayload) {
        Close();
        break;
      }
      const size_t total = kFrameHeaderSize + header.length;
      if (inEnd_ - inStart_ < total) break;  // the rest is still on its way
      Frame frame{FrameKind(header.kind), header.request, header.senderSerial, {typeNull, nullptr}};
      if (AEUnflattenDescFromBytes(in_.data() + inStart_ + kFrameHeaderSize, Size(header.length),
                                   &frame.desc) != noErr) {
        Close();
        break;
      }
      frames->push_back(frame);
      inStart_ += total;
    }
    if (inStart_ == inEnd_) inStart_ = inEnd_ = 0;
    // A short read drained the socket; poll tells when more comes.
    if (size_t(n) < room) break;
  }
  if (endOfStream) Close();
  if (closed()) {
    in_.clear();
    inStart_ = inEnd_ = 0;
  } else if (inStart_ == inEnd_ && in_.size() > 4 * kReadChunk) {
    std::vector<char>().swap(in_);  // a big frame's buffer does not stay
  }
}

void DisposeFrames(std::vector<Frame>* frames) {
  for (Frame& frame : *frames) AEDisposeDesc(&frame.desc);
  frames->clear();
}

}  // namespace macplatform::ae::transport
