// Connection.h — one Unix stream socket between two processes that carries
// Apple events and their replies as frames.
//
// Internal to the transport. A frame is a 20-byte header followed by the
// flattened descriptor (AEFlattenDesc). The header, in host byte order (both
// ends are on the same machine):
//   magic 'AEfr' | kind | request number | sender serial | payload length
// Kinds: an event that wants no reply, an event that wants one, a reply. The
// request number is chosen by the sender, unique within the sending process,
// and echoed by the reply; it matches replies to waiting sends even when two
// events carry the same return ID. Payloads over kMaxFramePayload, an
// unknown magic or kind, or a payload that does not unflatten close the
// connection: a broken peer loses its own connection and nothing else.
//
// Sockets are non-blocking. Bytes are read as they come and partial frames
// wait in the connection's buffer; bytes that the socket did not take wait
// in its output buffer until it is writable again.
#pragma once

#include <sys/types.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/appleevents/AppleEvents.h"
#include "platform/eventloop/EventLoopSources.h"

namespace macplatform::ae::transport {

constexpr UInt32 kFrameMagic = 'AEfr';
constexpr size_t kFrameHeaderSize = 20;
// Largest flattened event or reply carried: 16 MiB.
constexpr size_t kMaxFramePayload = size_t(16) << 20;

enum FrameKind : UInt32 {
  kFrameEventNoReply = 1,
  kFrameEventWantsReply = 2,
  kFrameReply = 3,
};

// A complete frame taken off the wire, its payload already unflattened.
struct Frame {
  FrameKind kind;
  UInt32 request;
  UInt32 senderSerial;
  AEDesc desc;  // owned; the receiver disposes of it
};

class Connection : public std::enable_shared_from_this<Connection> {
 public:
  enum class Role { kClient, kServer };

  Connection(int fd, Role role) : fd_(fd), role_(role) {}
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  int fd() const { return fd_; }
  Role role() const { return role_; }
  bool closed() const { return fd_ < 0; }
  bool HasOutput() const { return outStart_ < out_.size(); }

  // Flattens `desc` behind a frame header and sends it with one sendmsg;
  // whatever the socket does not take now stays in the output buffer.
  // paramErr for a descriptor too large to carry, connectionInvalid when
  // the peer has gone (the connection is then closed).
  OSErr SendFrame(FrameKind kind, UInt32 request, UInt32 senderSerial, const AEDesc& desc);
  // Writes buffered output; false when the connection broke (and closed).
  bool Flush();

  // Reads what is available and appends every complete frame to `frames`.
  // On end of file, a read error or a bad frame the connection closes; the
  // frames completed before that are still handed out.
  void ReadFrames(std::vector<Frame>* frames);

  // Closes the socket (once) and forgets the event loop source.
  void Close();

  // Bookkeeping of the transport.
  eventloop::SourceId source = 0;
  bool dispatching = false;        // a handler for one of its frames is running
  std::deque<Frame> pending;       // server: events not dispatched yet
  UInt32 peerSerial = 0;           // client: the target's serial number
  pid_t peerPid = 0;               // client: the target's pid

 private:
  int fd_;
  Role role_;
  std::vector<char> in_;
  size_t inStart_ = 0;
  size_t inEnd_ = 0;
  std::vector<char> out_;
  size_t outStart_ = 0;
};

// Disposes of the descriptors of frames that will not be used.
void DisposeFrames(std::vector<Frame>* frames);

}  // namespace macplatform::ae::transport
