// Transport.cpp — Apple events between processes: the listening socket,
// connections to other processes, and AESend.
//
// Sections:
//   1. State        — everything the transport holds, reset in a forked child.
//   2. Sockets      — socket addresses under the runtime folder, peer checks.
//   3. Receiving    — the listener and its connections; dispatch of events.
//   4. Connecting   — one kept connection per target process.
//   5. Waiting      — the wait for delivery or a reply, serving others meanwhile.
//   6. AESend       — addresses, events to the own process, send modes.
//
// A process that installs a handler listens on RuntimeSubdir("ae")/<pid>, a
// Unix stream socket in a folder only its user can reach; the listener and
// every connection are event loop sources, so events are dispatched on the
// main thread from RunApplicationEventLoop and RunCurrentEventLoop. A sender
// opens one connection per target process and keeps it; the target answers
// on the same connection. While a send waits, it polls its connection, the
// listener and the incoming connections itself, so events that arrive then
// (the target asking something back, for instance) are still answered.
#include <pthread.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/appleevents/AEDispatch.h"
#include "platform/appleevents/AppleEvents.h"
#include "platform/appleevents/transport/Connection.h"
#include "platform/core/Errno.h"
#include "platform/core/RuntimeDir.h"
#include "platform/core/SysCalls.h"
#include "platform/eventloop/EventLoopSources.h"
#include "platform/processes/ProcessRegistry.h"
#include "platform/processes/Processes.h"

namespace macplatform::ae {

namespace {

using transport::Connection;
using transport::Frame;
using ConnectionPtr = std::shared_ptr<Connection>;

// kAEDefaultTimeout: two minutes, in ticks.
constexpr SInt32 kDefaultTimeoutTicks = 2 * 60 * 60;
constexpr double kTick = 1.0 / 60.0;
// Before the idle procedure has said how long it may sleep, it is first
// called after one tick without a reply.
constexpr SInt32 kFirstIdleTicks = 1;

double Now() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// ---------------------------------------------------------------------------
// 1. State.

struct State {
  pid_t owner = 0;           // the process this state belongs to
  int listener = -1;
  eventloop::SourceId listenerSource = 0;
  std::string socketPath;    // unlinked at exit by its owner
  std::map<int, ConnectionPtr> servers;          // accepted, by fd
  std::map<UInt32, ConnectionPtr> clients;       // to other processes, by serial
  std::map<UInt32, AEDesc> replies;              // arrived, by request number
  std::set<UInt32> waiting;                      // requests a send waits for
  UInt32 nextRequest = 1;
  UInt32 ownSerial = 0;      // the process's own serial number, as last checked
  double ownSerialChecked = -INFINITY;
};

// Set in a forked child (pthread_atfork), so that finding out whether the
// state was inherited costs no system call per send.
bool gForked = true;
void MarkForked() { gForked = true; }

State& S() {
  static State* state = new State;  // never destroyed: used from atexit
  return *state;
}

void UnlinkAtExit() {
  State& s = S();
  if (s.owner == ::getpid() && !s.socketPath.empty()) sys::Unlink(s.socketPath.c_str());
}

// A forked child shares its parent's sockets but is another process: it
// drops what it inherited (without touching the parent's socket file) and
// starts over.
State& Current() {
  State& s = S();
  if (!gForked) return s;
  static const bool atforkInstalled = ::pthread_atfork(nullptr, nullptr, MarkForked) == 0;
  (void)atforkInstalled;
  gForked = false;
  const pid_t self = ::getpid();
  if (s.owner == self) return s;
  if (s.owner != 0) {
    if (s.listenerSource != 0) eventloop::RemoveFdSource(s.listenerSource);
    if (s.listener >= 0) sys::Close(s.listener);
    for (auto& [fd, c] : s.servers) c->Close();
    for (auto& [serial, c] : s.clients) c->Close();
    for (auto& [request, desc] : s.replies) AEDisposeDesc(&desc);
    s.servers.clear();
    s.clients.clear();
    s.replies.clear();
    s.waiting.clear();
    s.listener = -1;
    s.listenerSource = 0;
    s.socketPath.clear();
    s.ownSerial = 0;
    s.ownSerialChecked = -INFINITY;
  }
  s.owner = self;
  return s;
}

// ---------------------------------------------------------------------------
// 2. Sockets.

// Fills a socket address for `name` in the private folder `dir`. A path too
// long for sun_path is reached through /proc/self/fd of the folder, whose
// descriptor goes to *dirFd for the caller to close after bind or connect.
bool MakeAddress(const std::string& dir, const std::string& name, sockaddr_un* addr, int* dirFd) {
  *dirFd = -1;
  std::memset(addr, 0, sizeof *addr);
  addr->sun_family = AF_UNIX;
  std::string path = dir + "/" + name;
  if (path.size() >= sizeof addr->sun_path) {
    *dirFd = sys::Open(dir.c_str(), O_PATH | O_DIRECTORY);
    if (*dirFd < 0) return false;
    path = "/proc/self/fd/" + std::to_string(*dirFd) + "/" + name;
    if (path.size() >= sizeof addr->sun_path) {
      sys::Close(*dirFd);
      *dirFd = -1;
      return false;
    }
  }
  std::memcpy(addr->sun_path, path.c_str(), path.size() + 1);
  return true;
}

// Whether the process at the other end of `fd` runs as this user.
bool PeerIsSameUser(int fd) {
  ucred cred{};
  socklen_t len = sizeof cred;
  // getsockopt has no fault-injection wrapper; it only reads the kernel's
  // record of the peer.
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) return false;
  return cred.uid == ::geteuid();
}

// ---------------------------------------------------------------------------
// 3. Receiving.

void WatchServer(const ConnectionPtr& c);

void DispatchFrame(Connection& c, Frame& frame) {
  const ProcessSerialNumber sender{0, frame.senderSerial};
  SetReceivedAttribute(&frame.desc, keyAddressAttr, typeProcessSerialNumber, &sender, sizeof sender);
  if (frame.kind == transport::kFrameEventNoReply) {
    AEDesc none{typeNull, nullptr};
    DispatchAppleEvent(&frame.desc, &none);
    AEDisposeDesc(&none);
    return;
  }
  AppleEvent reply{typeNull, nullptr};
  if (CreateReplyFor(&frame.desc, &reply) != noErr) return;  // nothing to answer with
  DispatchAppleEvent(&frame.desc, &reply);
  if (!c.closed() && c.SendFrame(transport::kFrameReply, frame.request, 0, reply) == paramErr) {
    // Too large (or unflattenable): the sender still learns that it failed.
    AEDisposeDesc(&reply);
    if (CreateReplyFor(&frame.desc, &reply) == noErr) {
      const SInt16 error = memFullErr;
      AEPutParamPtr(&reply, keyErrorNumber, typeSInt16, &error, sizeof error);
      c.SendFrame(transport::kFrameReply, frame.request, 0, reply);
    }
  }
  AEDisposeDesc(&reply);
}

// Reads what came in on an incoming connection and dispatches its events in
// order. While one of its events is being handled the connection is neither
// read nor dispatched from (a handler may run the loop): its next events
// wait until the handler returns, so they are handled in the order sent.
void ServeConnection(const ConnectionPtr& c, short revents) {
  if (c->dispatching) return;
  if (revents & POLLOUT) c->Flush();
  if (revents & (POLLIN | POLLHUP | POLLERR)) {
    std::vector<Frame> frames;
    c->ReadFrames(&frames);
    for (Frame& f : frames) c->pending.push_back(f);
  }
  c->dispatching = true;
  if (c->source != 0) eventloop::SetFdSourceEvents(c->source, 0);
  while (!c->pending.empty()) {
    Frame frame = c->pending.front();
    c->pending.pop_front();
    DispatchFrame(*c, frame);
    AEDisposeDesc(&frame.desc);
  }
  c->dispatching = false;
  State& s = Current();
  if (c->closed()) {
    for (auto it = s.servers.begin(); it != s.servers.end(); ++it)
      if (it->second == c) {
        s.servers.erase(it);
        break;
      }
    return;
  }
  eventloop::SetFdSourceEvents(c->source, short(POLLIN | (c->HasOutput() ? POLLOUT : 0)));
}

void WatchServer(const ConnectionPtr& c) {
  std::weak_ptr<Connection> weak = c;
  c->source = eventloop::AddFdSource(c->fd(), POLLIN, [weak](short revents) {
    if (ConnectionPtr live = weak.lock()) ServeConnection(live, revents);
  });
}

void AcceptAll() {
  State& s = Current();
  for (;;) {
    const int fd = sys::Accept(s.listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR) continue;
      return;  // EAGAIN, or a connection that died before it was taken
    }
    if (!PeerIsSameUser(fd)) {  // another user: refused before anything is read
      sys::Close(fd);
      continue;
    }
    auto c = std::make_shared<Connection>(fd, Connection::Role::kServer);
    s.servers[fd] = c;
    WatchServer(c);
  }
}

// ---------------------------------------------------------------------------
// 4. Connecting.

void RemoveClient(const ConnectionPtr& c) {
  State& s = Current();
  auto it = s.clients.find(c->peerSerial);
  if (it != s.clients.end() && it->second == c) s.clients.erase(it);
}

// Replies on an outgoing connection go to the table of arrived replies; a
// reply that nobody waits for any more (its send timed out) is dropped.
void ReadReplies(const ConnectionPtr& c, short revents) {
  State& s = Current();
  if (revents & POLLOUT) c->Flush();
  if (revents & (POLLIN | POLLHUP | POLLERR)) {
    std::vector<Frame> frames;
    c->ReadFrames(&frames);
    for (Frame& f : frames) {
      if (s.waiting.count(f.request) != 0 && s.replies.count(f.request) == 0) {
        s.replies[f.request] = f.desc;
        f.desc = {typeNull, nullptr};
      }
    }
    transport::DisposeFrames(&frames);
  }
  if (c->closed()) {
    RemoveClient(c);
    return;
  }
  if (c->source != 0) eventloop::SetFdSourceEvents(c->source, short(POLLIN | (c->HasOutput() ? POLLOUT : 0)));
}

// Connects to the listener of `entry`. connectionInvalid when the process
// does not listen (it installed no handler) or runs as another user.
OSErr Connect(const processes::Entry& entry, double deadline, ConnectionPtr* out) {
  std::string dir;
  OSErr err = RuntimeSubdir("ae", &dir);
  if (err != noErr) return err;
  sockaddr_un addr;
  int dirFd = -1;
  if (!MakeAddress(dir, std::to_string(entry.pid), &addr, &dirFd)) return bdNamErr;
  const int fd = sys::Socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    err = OSErrFromErrno(errno);
    if (dirFd >= 0) sys::Close(dirFd);
    return err;
  }
  for (;;) {
    if (sys::Connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) break;
    if (errno == EINTR) continue;
    // A full backlog: the target is busy taking connections; try again
    // until the send's deadline.
    if (errno == EAGAIN && Now() < deadline) {
      sys::Poll(nullptr, 0, 5);
      continue;
    }
    err = errno == EAGAIN ? OSErr(errAETimeout) : OSErr(connectionInvalid);
    break;
  }
  if (dirFd >= 0) sys::Close(dirFd);
  if (err == noErr && !PeerIsSameUser(fd)) err = connectionInvalid;
  if (err != noErr) {
    sys::Close(fd);
    return err;
  }
  auto c = std::make_shared<Connection>(fd, Connection::Role::kClient);
  c->peerSerial = entry.serial;
  c->peerPid = entry.pid;
  std::weak_ptr<Connection> weak = c;
  c->source = eventloop::AddFdSource(fd, POLLIN, [weak](short revents) {
    if (ConnectionPtr live = weak.lock()) ReadReplies(live, revents);
  });
  Current().clients[entry.serial] = c;
  *out = c;
  return noErr;
}

// The kept connection to process `serial`, opened if there is none or the
// old one broke. The process list is read only when a connection is opened.
OSErr ConnectionTo(UInt32 serial, const processes::Entry* known, double deadline, ConnectionPtr* out) {
  State& s = Current();
  auto it = s.clients.find(serial);
  if (it != s.clients.end() && !it->second->closed()) {
    *out = it->second;
    return noErr;
  }
  if (it != s.clients.end()) s.clients.erase(it);
  processes::Entry entry;
  if (known != nullptr) {
    entry = *known;
  } else {
    OSErr err = processes::LookUp(serial, &entry);
    if (err != noErr) return err;
  }
  return Connect(entry, deadline, out);
}

// ---------------------------------------------------------------------------
// 5. Waiting.

// One poll over `c`, the listener and the incoming connections that are not
// in the middle of a handler, for at most `seconds`; then serves what is
// ready. Incoming events are dispatched from here: a target that asks the
// waiting process something back is answered without waiting for the loop.
void PollOnce(const ConnectionPtr& c, double seconds) {
  State& s = Current();
  std::vector<pollfd> fds;
  std::vector<ConnectionPtr> servers;
  fds.push_back({c->fd(), short(POLLIN | (c->HasOutput() ? POLLOUT : 0)), 0});
  if (s.listener >= 0) fds.push_back({s.listener, POLLIN, 0});
  const size_t firstServer = fds.size();
  for (auto& [fd, server] : s.servers) {
    if (server->dispatching || server->closed()) continue;
    fds.push_back({fd, short(POLLIN | (server->HasOutput() ? POLLOUT : 0)), 0});
    servers.push_back(server);
  }
  int timeoutMs = -1;
  if (!std::isinf(seconds)) {
    const double ms = std::ceil((seconds < 0 ? 0 : seconds) * 1000.0);
    timeoutMs = ms >= double(INT_MAX) ? INT_MAX : int(ms);
  }
  const int n = sys::Poll(fds.data(), fds.size(), timeoutMs);
  if (n <= 0) return;
  if (fds[0].revents != 0) ReadReplies(c, fds[0].revents);
  if (s.listener >= 0 && firstServer == 2 && fds[1].revents != 0) AcceptAll();
  for (size_t i = firstServer; i < fds.size(); ++i) {
    if (fds[i].revents != 0) ServeConnection(servers[i - firstServer], fds[i].revents);
  }
}

struct Wait {
  double deadline;       // +infinity for kNoTimeOut
  AEIdleUPP idle;
  double nextIdle;
};

Wait StartWait(SInt32 timeOutInTicks, AEIdleUPP idle) {
  SInt32 ticks = timeOutInTicks;
  if (ticks != kNoTimeOut && ticks <= 0) ticks = kDefaultTimeoutTicks;
  const double now = Now();
  Wait w;
  w.deadline = ticks == kNoTimeOut ? INFINITY : now + double(ticks) * kTick;
  w.idle = idle;
  w.nextIdle = idle != nullptr ? now + kFirstIdleTicks * kTick : INFINITY;
  return w;
}

// Waits for `done`, serving incoming events and calling the idle procedure
// at least every sleep time it asks for. errAETimeout past the deadline,
// errAEWaitCanceled when the idle procedure says so, connectionInvalid when
// the connection breaks first.
template <typename Done>
OSErr WaitFor(const ConnectionPtr& c, Wait& w, Done done) {
  for (;;) {
    if (done()) return noErr;
    if (c->closed()) return connectionInvalid;
    double now = Now();
    if (now >= w.deadline) return errAETimeout;
    if (now >= w.nextIdle) {
      EventRecord event{};
      SInt32 sleep = 0;
      RgnHandle mouse = nullptr;
      if (w.idle(&event, &sleep, &mouse)) return errAEWaitCanceled;
      now = Now();
      w.nextIdle = now + (sleep > 0 ? double(sleep) * kTick : 0.0);
      if (done()) return noErr;  // the idle procedure's own loop run may have read it
      if (c->closed()) return connectionInvalid;
    }
    const double until = std::min(w.deadline, w.nextIdle) - now;
    PollOnce(c, until);
  }
}

// ---------------------------------------------------------------------------
// 6. AESend.

// The own serial number, for the sender's address in every frame. The
// process list is asked (which registers the process the first time) at most
// once a second: asking costs several file-system calls, more than the rest
// of a round trip, and the number changes only when the process takes
// another identity.
constexpr double kOwnSerialRecheck = 1.0;

OSErr OwnSerial(UInt32* serial) {
  State& s = Current();
  const double now = Now();
  if (s.ownSerial == 0 || now - s.ownSerialChecked >= kOwnSerialRecheck) {
    UInt32 fresh = 0;
    OSErr err = processes::EnsureRegistered(&fresh);
    if (err != noErr) return err;
    s.ownSerial = fresh;
    s.ownSerialChecked = now;
  }
  *serial = s.ownSerial;
  return noErr;
}

// Where an event goes: the own process, or another one (by entry).
struct Target {
  bool self = false;
  UInt32 serial = 0;
  bool haveEntry = false;
  processes::Entry entry;
};

OSErr ResolveTarget(const AppleEvent* event, UInt32 ownSerial, Target* target) {
  DescType type = typeNull;
  char data[16];
  Size size = 0;
  OSErr err = AEGetAttributePtr(event, keyAddressAttr, typeWildCard, &type, data, sizeof data, &size);
  if (err == errAEDescNotFound) return errAEUnknownAddressType;
  if (err != noErr) return err;
  switch (type) {
    case typeProcessSerialNumber: {
      if (size != sizeof(ProcessSerialNumber)) return paramErr;
      ProcessSerialNumber psn;
      std::memcpy(&psn, data, sizeof psn);
      if (psn.highLongOfPSN == 0 && psn.lowLongOfPSN == kCurrentProcess) {
        target->self = true;
        return noErr;
      }
      if (psn.highLongOfPSN != 0 || psn.lowLongOfPSN < processes::kFirstSerial) return procNotFound;
      target->serial = psn.lowLongOfPSN;
      target->self = target->serial == ownSerial;
      return noErr;
    }
    case typeApplSignature:
    case typeKernelProcessID: {
      if (size != 4) return paramErr;
      processes::Entry entry;
      if (type == typeApplSignature) {
        OSType creator;
        std::memcpy(&creator, data, 4);
        err = processes::FindByCreator(creator, &entry);
      } else {
        SInt32 pid;
        std::memcpy(&pid, data, 4);
        err = pid > 0 ? processes::FindByPid(pid_t(pid), &entry) : OSErr(procNotFound);
      }
      if (err != noErr) return err;
      target->serial = entry.serial;
      target->self = entry.serial == ownSerial;
      target->entry = entry;
      target->haveEntry = true;
      return noErr;
    }
    default:
      return errAEUnknownAddressType;
  }
}

// An event addressed to the own process is handed to its handler at once,
// in this call, as on the classic system.
OSErr SendToSelf(const AppleEvent* event, AppleEvent* reply, bool wantReply) {
  if (!wantReply) {
    AEDesc none{typeNull, nullptr};
    DispatchAppleEvent(event, &none);
    AEDisposeDesc(&none);
    if (reply != nullptr) *reply = {typeNull, nullptr};
    return noErr;
  }
  AppleEvent answer{typeNull, nullptr};
  OSErr err = CreateReplyFor(event, &answer);
  if (err != noErr) return err;
  DispatchAppleEvent(event, &answer);
  *reply = answer;
  return noErr;
}

OSErr SendRemote(const AppleEvent* event, AppleEvent* reply, bool wantReply, UInt32 ownSerial,
                 const Target& target, SInt32 timeOutInTicks, AEIdleUPP idle) {
  State& s = Current();
  Wait w = StartWait(timeOutInTicks, idle);
  ConnectionPtr c;
  OSErr err = ConnectionTo(target.serial, target.haveEntry ? &target.entry : nullptr, w.deadline, &c);
  if (err != noErr) return err;

  const UInt32 request = s.nextRequest++;
  if (s.nextRequest == 0) s.nextRequest = 1;
  const auto kind = wantReply ? transport::kFrameEventWantsReply : transport::kFrameEventNoReply;
  err = c->SendFrame(kind, request, ownSerial, *event);
  if (err == connectionInvalid) {
    // A kept connection whose process has gone since: is it still there?
    // A process that quit is procNotFound; one that restarted its listener
    // gets one new connection.
    RemoveClient(c);
    processes::Entry entry;
    err = processes::LookUp(target.serial, &entry);
    if (err != noErr) return err;
    err = Connect(entry, w.deadline, &c);
    if (err != noErr) return err;
    err = c->SendFrame(kind, request, ownSerial, *event);
  }
  if (err != noErr) return err;
  if (c->HasOutput() && c->source != 0) eventloop::SetFdSourceEvents(c->source, POLLIN | POLLOUT);

  if (!wantReply) {
    // Delivered once the socket has taken every byte; no acknowledgment.
    err = WaitFor(c, w, [&] { return !c->HasOutput(); });
    if (reply != nullptr && err == noErr) *reply = {typeNull, nullptr};
    return err;
  }
  s.waiting.insert(request);
  err = WaitFor(c, w, [&] { return s.replies.count(request) != 0; });
  s.waiting.erase(request);
  auto it = s.replies.find(request);
  if (it != s.replies.end()) {
    if (err == noErr) {
      *reply = it->second;
    } else {
      AEDisposeDesc(&it->second);
    }
    s.replies.erase(it);
  }
  return err;
}

}  // namespace

void EnsureListening() {
  State& s = Current();
  if (s.listener >= 0) return;
  std::string dir;
  if (RuntimeSubdir("ae", &dir) != noErr) return;
  const std::string name = std::to_string(::getpid());
  sockaddr_un addr;
  int dirFd = -1;
  if (!MakeAddress(dir, name, &addr, &dirFd)) return;
  const int fd = sys::Socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    if (dirFd >= 0) sys::Close(dirFd);
    return;
  }
  // A file left by an earlier process with the same pid is stale: that
  // process is gone, or it would be this one.
  sys::Unlink(addr.sun_path);
  const bool ok = sys::Bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
                  sys::Listen(fd, 64) == 0;
  if (dirFd >= 0) sys::Close(dirFd);
  if (!ok) {
    sys::Close(fd);
    return;
  }
  s.listener = fd;
  s.socketPath = dir + "/" + name;
  static bool atexitInstalled = false;
  if (!atexitInstalled) {
    atexitInstalled = true;
    std::atexit(UnlinkAtExit);
  }
  s.listenerSource = eventloop::AddFdSource(fd, POLLIN, [](short) { AcceptAll(); });
  // Listening before being listed: whoever finds this process can reach it.
  processes::EnsureRegistered(nullptr);
}

}  // namespace macplatform::ae

OSErr AESend(const AppleEvent* theAppleEvent, AppleEvent* reply, AESendMode sendMode,
             AESendPriority /*sendPriority*/, SInt32 timeOutInTicks, AEIdleUPP idleProc,
             AEFilterUPP /*filterProc*/) {
  using namespace macplatform::ae;
  if (theAppleEvent == nullptr) return paramErr;
  if (theAppleEvent->descriptorType != typeAppleEvent) return errAENotAppleEvent;
  const AESendMode replyMode = sendMode & 0x3;
  if (replyMode != kAENoReply && replyMode != kAEWaitReply) return errAEUnknownSendMode;
  const bool wantReply = replyMode == kAEWaitReply;
  if (wantReply && reply == nullptr) return paramErr;

  UInt32 ownSerial = 0;
  OSErr err = OwnSerial(&ownSerial);
  if (err != noErr) return err;
  Target target;
  err = ResolveTarget(theAppleEvent, ownSerial, &target);
  if (err != noErr) return err;
  if (target.self) return SendToSelf(theAppleEvent, reply, wantReply);
  return SendRemote(theAppleEvent, reply, wantReply, ownSerial, target, timeOutInTicks, idleProc);
}
