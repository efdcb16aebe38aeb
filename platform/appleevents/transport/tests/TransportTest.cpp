// TransportTest.cpp — Apple events between real processes: round trips and
// addressing, the sender's address on receipt, nested sends, a target that
// dies or is slow, and peers that misbehave (another user, half a frame,
// garbage) without stopping the process from answering others.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/fsuid.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>

#include "platform/appleevents/AppleEvents.h"
#include "platform/appleevents/transport/Connection.h"
#include "platform/core/RuntimeDir.h"
#include "platform/eventloop/CarbonEvents.h"
#include "platform/processes/Processes.h"
#include "testing/TestSupport.h"

namespace {

using tw::test::Child;
using tw::test::WaitFor;

// One private runtime folder for the whole program: the process registers
// and listens once, as a real program does.
class AeEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { env_ = std::make_unique<tw::test::PrivateEnvironment>(); }
  void TearDown() override { env_.reset(); }

 private:
  std::unique_ptr<tw::test::PrivateEnvironment> env_;
};
::testing::Environment* const gEnv = ::testing::AddGlobalTestEnvironment(new AeEnvironment);

// A running ae_peer.
struct Peer {
  explicit Peer(std::vector<std::string> args = {}) {
    args.insert(args.begin(), "ae_peer");
    child = std::make_unique<Child>(args);
    ready = WaitFor([&] { return child->Stdout().find("ready ") != std::string::npos; });
    if (ready) serial = UInt32(std::stoul(child->Stdout().substr(child->Stdout().find("ready ") + 6)));
  }
  ~Peer() {
    if (child->running()) child->Signal(SIGKILL);
  }
  ProcessSerialNumber psn() const { return {0, serial}; }
  std::unique_ptr<Child> child;
  bool ready = false;
  UInt32 serial = 0;
};

// An event owned by the test.
struct Event {
  AppleEvent e{typeNull, nullptr};
  AppleEvent reply{typeNull, nullptr};
  Event(AEEventClass cls, AEEventID id, DescType addrType, const void* addr, Size size) {
    AEAddressDesc target{typeNull, nullptr};
    EXPECT_EQ(noErr, AECreateDesc(addrType, addr, size, &target));
    EXPECT_EQ(noErr, AECreateAppleEvent(cls, id, &target, kAutoGenerateReturnID, kAnyTransactionID, &e));
    AEDisposeDesc(&target);
  }
  Event(AEEventClass cls, AEEventID id, ProcessSerialNumber psn)
      : Event(cls, id, typeProcessSerialNumber, &psn, sizeof psn) {}
  ~Event() {
    AEDisposeDesc(&e);
    AEDisposeDesc(&reply);
  }
  OSErr Send(AEIdleUPP idle = nullptr, SInt32 timeout = kAEDefaultTimeout) {
    return AESend(&e, &reply, kAEWaitReply, kAENormalPriority, timeout, idle, nullptr);
  }
  std::string Text(AEKeyword key = keyDirectObject) {
    char buf[256];
    DescType type;
    Size size = 0;
    if (AEGetParamPtr(&reply, key, typeChar, &type, buf, sizeof buf, &size) != noErr) return "<none>";
    return std::string(buf, size_t(std::min<Size>(size, sizeof buf)));
  }
  SInt32 Long(AEKeyword key = keyDirectObject) {
    SInt32 v = -99999;
    DescType type;
    Size size = 0;
    AEGetParamPtr(&reply, key, typeSInt32, &type, &v, sizeof v, &size);
    return v;
  }
};

ProcessSerialNumber Own() {
  ProcessSerialNumber psn{0, 0};
  EXPECT_EQ(noErr, GetCurrentProcess(&psn));
  return psn;
}

// The test process's own handler: answers 'test'/'echo' like the peer.
OSErr SelfEcho(const AppleEvent* event, AppleEvent* reply, SInt32 refcon) {
  AEDesc d{typeNull, nullptr};
  if (AEGetParamDesc(event, keyDirectObject, typeWildCard, &d) == noErr) AEPutParamDesc(reply, keyDirectObject, &d);
  AEDisposeDesc(&d);
  const char* who = refcon == 1 ? "self" : "?";
  AEPutParamPtr(reply, 'who ', typeChar, who, Size(std::strlen(who)));
  return noErr;
}

void InstallSelfEcho() {
  ASSERT_EQ(noErr, AEInstallEventHandler('test', 'echo', NewAEEventHandlerUPP(SelfEcho), 1, false));
}

SInt32 EventCount(const struct Peer& peer);

int gIdleCalls = 0;
Boolean LoopIdle(EventRecord*, SInt32* sleep, RgnHandle* rgn) {
  ++gIdleCalls;
  RunCurrentEventLoop(0.001);
  *sleep = 1;
  *rgn = nullptr;
  return false;
}

TEST(AETransport, RoundTripCarriesTheReplyAndTheSendersAddress) {
  Peer peer;
  ASSERT_TRUE(peer.ready) << peer.child->Stderr();
  Event getd(kAECoreSuite, kAEGetData, peer.psn());
  ASSERT_EQ(noErr, getd.Send());
  EXPECT_EQ("ok", getd.Text());

  Event echo('test', 'echo', peer.psn());
  ASSERT_EQ(noErr, AEPutParamPtr(&echo.e, keyDirectObject, typeChar, "hello", 5));
  ASSERT_EQ(noErr, echo.Send(LoopIdle));
  EXPECT_EQ("hello", echo.Text());
  // On receipt the event carried this process's serial number as 'addr'.
  ProcessSerialNumber seen{9, 9};
  DescType type;
  Size size = 0;
  ASSERT_EQ(noErr, AEGetParamPtr(&echo.reply, keyAddressAttr, typeProcessSerialNumber, &type, &seen, sizeof seen, &size));
  EXPECT_EQ(Own().lowLongOfPSN, seen.lowLongOfPSN);
  EXPECT_EQ(0u, seen.highLongOfPSN);

  // A handler error comes back under 'errn'; the send itself succeeded.
  Event fail('test', 'fail', peer.psn());
  ASSERT_EQ(noErr, fail.Send());
  SInt16 errn = 0;
  ASSERT_EQ(noErr, AEGetParamPtr(&fail.reply, keyErrorNumber, typeSInt16, &type, &errn, sizeof errn, &size));
  EXPECT_EQ(errAENoSuchObject, errn);

  // No reply: returns once delivered; the event still arrives.
  Event quiet('test', 'echo', peer.psn());
  ASSERT_EQ(noErr, AESend(&quiet.e, &quiet.reply, kAENoReply, kAENormalPriority, kAEDefaultTimeout, nullptr, nullptr));
  EXPECT_EQ(typeNull, quiet.reply.descriptorType);
  Event count('test', 'cnt ', peer.psn());
  ASSERT_EQ(noErr, count.Send());
  EXPECT_EQ(4, count.Long());

  Event quit(kCoreEventClass, kAEQuitApplication, peer.psn());
  ASSERT_EQ(noErr, quit.Send());
  EXPECT_EQ(0, peer.child->Wait());
  EXPECT_NE(std::string::npos, peer.child->Stdout().find("quit"));
}

TEST(AETransport, AddressingBySignaturePidAndOwnSerial) {
  InstallSelfEcho();
  Peer peer({"--creator", "TWa1"});
  ASSERT_TRUE(peer.ready);
  const OSType creator = 'TWa1';
  const SInt32 pid = SInt32(peer.child->pid());
  const ProcessSerialNumber own = Own();
  const ProcessSerialNumber current{0, kCurrentProcess};
  const SInt32 ownPid = SInt32(getpid());
  struct Case {
    const char* what;
    DescType type;
    const void* data;
    Size size;
    const char* who;  // the 'who ' answer: "self" from the own handler
  } cases[] = {
      {"sign", typeApplSignature, &creator, 4, "<none>"},
      {"kpid", typeKernelProcessID, &pid, 4, "<none>"},
      {"own psn", typeProcessSerialNumber, &own, 8, "self"},
      {"current process", typeProcessSerialNumber, &current, 8, "self"},
      {"own pid", typeKernelProcessID, &ownPid, 4, "self"},
  };
  for (const Case& c : cases) {
    Event echo('test', 'echo', c.type, c.data, c.size);
    ASSERT_EQ(noErr, AEPutParamPtr(&echo.e, keyDirectObject, typeChar, c.what, Size(std::strlen(c.what))));
    ASSERT_EQ(noErr, echo.Send()) << c.what;
    EXPECT_EQ(c.what, echo.Text()) << c.what;
    EXPECT_EQ(c.who, echo.Text('who ')) << c.what;
  }
}

TEST(AETransport, TargetsThatDoNotExistOrDoNotListen) {
  Peer silent({"--no-listen", "--creator", "TWns"});
  ASSERT_TRUE(silent.ready);
  const ProcessSerialNumber gone{0, 999999};
  const ProcessSerialNumber system{0, kSystemProcess};
  const OSType nobody = 'zzzz';
  const OSType silentCreator = 'TWns';
  const SInt32 unregistered = 1;
  const SInt32 bogus = 0;
  struct Case {
    const char* what;
    DescType type;
    const void* data;
    Size size;
    OSErr expected;
  } cases[] = {
      {"unknown serial", typeProcessSerialNumber, &gone, 8, procNotFound},
      {"system process", typeProcessSerialNumber, &system, 8, procNotFound},
      {"unknown creator", typeApplSignature, &nobody, 4, procNotFound},
      {"unregistered pid", typeKernelProcessID, &unregistered, 4, procNotFound},
      {"pid 0", typeKernelProcessID, &bogus, 4, procNotFound},
      {"not listening", typeApplSignature, &silentCreator, 4, connectionInvalid},
      {"unknown address type", 'what', &bogus, 4, errAEUnknownAddressType},
  };
  for (const Case& c : cases) {
    Event e('test', 'echo', c.type, c.data, c.size);
    AppleEvent before = e.reply;
    EXPECT_EQ(c.expected, e.Send()) << c.what;
    EXPECT_EQ(before.descriptorType, e.reply.descriptorType) << "reply untouched on failure: " << c.what;
  }
  Event e('test', 'echo', gone);
  EXPECT_EQ(errAEUnknownSendMode, AESend(&e.e, &e.reply, kAEQueueReply, 0, kAEDefaultTimeout, nullptr, nullptr));
  EXPECT_EQ(paramErr, AESend(&e.e, nullptr, kAEWaitReply, 0, kAEDefaultTimeout, nullptr, nullptr));
  EXPECT_EQ(paramErr, AESend(nullptr, &e.reply, kAEWaitReply, 0, kAEDefaultTimeout, nullptr, nullptr));
}

TEST(AETransport, NestedSendBackToTheWaitingSender) {
  InstallSelfEcho();
  Peer peer;
  ASSERT_TRUE(peer.ready);
  // The peer's handler sends 'echo' back to this process, which is waiting
  // in AESend: answered with and without an idle procedure.
  for (AEIdleUPP idle : {AEIdleUPP(nullptr), AEIdleUPP(LoopIdle)}) {
    Event back('test', 'back', peer.psn());
    ASSERT_EQ(noErr, back.Send(idle));
    EXPECT_EQ("nested", back.Text());
  }
}

// The idle procedure of an outer send sends a second event to the same
// peer. The peer answers the outer event first (events of one connection
// are handled in order), so the outer reply arrives while the nested send
// waits: it is kept for the outer send.
ProcessSerialNumber gNestedTarget;
std::string gNestedAnswer;
Boolean NestedSendIdle(EventRecord*, SInt32* sleep, RgnHandle* rgn) {
  *sleep = 1;
  *rgn = nullptr;
  if (!gNestedAnswer.empty()) return false;
  Event inner('test', 'echo', gNestedTarget);
  AEPutParamPtr(&inner.e, keyDirectObject, typeChar, "inner", 5);
  gNestedAnswer = inner.Send() == noErr ? inner.Text() : "failed";
  return false;
}

TEST(AETransport, OuterReplyArrivingDuringANestedSendIsKept) {
  Peer peer;
  ASSERT_TRUE(peer.ready);
  gNestedTarget = peer.psn();
  gNestedAnswer.clear();
  Event slow('test', 'slow', peer.psn());
  const SInt32 ms = 100;
  ASSERT_EQ(noErr, AEPutParamPtr(&slow.e, keyDirectObject, typeSInt32, &ms, sizeof ms));
  ASSERT_EQ(noErr, slow.Send(NestedSendIdle));
  EXPECT_EQ(100, slow.Long());
  EXPECT_EQ("inner", gNestedAnswer);
}

TEST(AETransport, TargetDyingMidWaitGivesConnectionInvalid) {
  Peer peer;
  ASSERT_TRUE(peer.ready);
  Event die('test', 'die ', peer.psn());
  EXPECT_EQ(connectionInvalid, die.Send(LoopIdle, kNoTimeOut));
  EXPECT_EQ(typeNull, die.reply.descriptorType);
  EXPECT_EQ(3, peer.child->Wait());
  // Gone: the next send does not find it.
  Event again('test', 'echo', peer.psn());
  EXPECT_EQ(procNotFound, again.Send());
}

TEST(AETransport, TimeOutThenTheConnectionStillWorks) {
  Peer peer;
  ASSERT_TRUE(peer.ready);
  Event slow('test', 'slow', peer.psn());
  const SInt32 ms = 1500;
  ASSERT_EQ(noErr, AEPutParamPtr(&slow.e, keyDirectObject, typeSInt32, &ms, sizeof ms));
  gIdleCalls = 0;
  EXPECT_EQ(errAETimeout, slow.Send(LoopIdle, 6));
  EXPECT_GT(gIdleCalls, 0);
  EXPECT_EQ(typeNull, slow.reply.descriptorType);
  // The late reply is dropped; the next one is matched to its own send.
  Event echo('test', 'echo', peer.psn());
  ASSERT_EQ(noErr, AEPutParamPtr(&echo.e, keyDirectObject, typeChar, "after", 5));
  ASSERT_EQ(noErr, echo.Send());
  EXPECT_EQ("after", echo.Text());
}

TEST(AETransport, LargeEventAndReplyCrossInPieces) {
  Peer peer;
  ASSERT_TRUE(peer.ready);
  // Far larger than a socket buffer: both ends go through their output
  // buffers and partial reads.
  std::string big(6 << 20, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = char('a' + i % 26);
  Event echo('test', 'echo', peer.psn());
  ASSERT_EQ(noErr, AEPutParamPtr(&echo.e, keyDirectObject, typeChar, big.data(), Size(big.size())));
  ASSERT_EQ(noErr, echo.Send(LoopIdle));
  AEDesc got{typeNull, nullptr};
  ASSERT_EQ(noErr, AEGetParamDesc(&echo.reply, keyDirectObject, typeChar, &got));
  std::string back(size_t(AEGetDescDataSize(&got)), '\0');
  AEGetDescData(&got, back.data(), Size(back.size()));
  AEDisposeDesc(&got);
  EXPECT_TRUE(back == big);

  // Over the frame limit: refused before anything is sent.
  std::string huge(macplatform::ae::transport::kMaxFramePayload + 1, 'x');
  Event tooBig('test', 'echo', peer.psn());
  ASSERT_EQ(noErr, AEPutParamPtr(&tooBig.e, keyDirectObject, typeChar, huge.data(), Size(huge.size())));
  EXPECT_EQ(paramErr, tooBig.Send());
  EXPECT_EQ(1, EventCount(peer));
}

Boolean CancelIdle(EventRecord*, SInt32* sleep, RgnHandle*) {
  *sleep = 0;
  return true;
}

TEST(AETransport, IdleProcedureCanCancelTheWait) {
  Peer peer;
  ASSERT_TRUE(peer.ready);
  Event slow('test', 'slow', peer.psn());
  const SInt32 ms = 300;
  ASSERT_EQ(noErr, AEPutParamPtr(&slow.e, keyDirectObject, typeSInt32, &ms, sizeof ms));
  EXPECT_EQ(errAEWaitCanceled, slow.Send(CancelIdle));
}

// --- Misbehaving peers, talking raw bytes to the peer's socket. ---

std::string SocketPathOf(const Peer& peer) {
  std::string dir;
  EXPECT_EQ(noErr, macplatform::RuntimeSubdir("ae", &dir));
  return dir + "/" + std::to_string(peer.child->pid());
}

int RawConnect(const std::string& path) {
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// A valid frame carrying 'test'/'echo' to the peer.
std::string EchoFrame(const Peer& peer, UInt32 kind = macplatform::ae::transport::kFrameEventWantsReply) {
  Event e('test', 'echo', peer.psn());
  const Size size = AESizeOfFlattenedDesc(&e.e);
  std::string payload(size_t(size), '\0');
  Size actual = 0;
  EXPECT_EQ(noErr, AEFlattenDesc(&e.e, payload.data(), size, &actual));
  const UInt32 header[5] = {macplatform::ae::transport::kFrameMagic, kind, 77, 4096, UInt32(size)};
  return std::string(reinterpret_cast<const char*>(header), sizeof header) + payload;
}

// Reads until end of file (true) or until `seconds` pass with the socket open.
bool ClosedByPeer(int fd, double seconds = 10) {
  pollfd p{fd, POLLIN, 0};
  char buf[256];
  const EventTime end = GetCurrentEventTime() + seconds;
  while (GetCurrentEventTime() < end) {
    if (poll(&p, 1, 100) > 0) {
      ssize_t n = read(fd, buf, sizeof buf);
      if (n <= 0) return true;
    }
  }
  return false;
}

SInt32 EventCount(const Peer& peer) {
  Event count('test', 'cnt ', peer.psn());
  EXPECT_EQ(noErr, count.Send());
  return count.Long();
}

TEST(AETransport, HalfAFrameAndGarbageDoNotStopThePeer) {
  Peer peer;
  ASSERT_TRUE(peer.ready);
  const std::string path = SocketPathOf(peer);
  const std::string frame = EchoFrame(peer);

  const int half = RawConnect(path);
  ASSERT_GE(half, 0);
  ASSERT_EQ(ssize_t(frame.size() / 2), write(half, frame.data(), frame.size() / 2));

  struct Bad {
    const char* what;
    std::string bytes;
  } bad[] = {
      {"garbage", std::string(64, 'x')},
      {"oversized", [] {
         const UInt32 h[5] = {macplatform::ae::transport::kFrameMagic, 2, 1, 4096, 0x7fffffff};
         return std::string(reinterpret_cast<const char*>(h), sizeof h);
       }()},
      {"unknown kind", [&] {
         std::string f = frame;
         f[4] = 9;
         return f;
       }()},
      {"payload that does not unflatten", [&] {
         std::string f = frame;
         for (size_t i = 20; i < f.size(); ++i) f[i] = char(0xff);
         return f;
       }()},
  };
  for (const Bad& b : bad) {
    const int fd = RawConnect(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ssize_t(b.bytes.size()), write(fd, b.bytes.data(), b.bytes.size()));
    EXPECT_TRUE(ClosedByPeer(fd)) << b.what;
    close(fd);
  }
  // The half-frame client is still connected, and the peer answers others.
  Event echo('test', 'echo', peer.psn());
  ASSERT_EQ(noErr, AEPutParamPtr(&echo.e, keyDirectObject, typeChar, "still here", 10));
  ASSERT_EQ(noErr, echo.Send());
  EXPECT_EQ("still here", echo.Text());
  EXPECT_EQ(1, EventCount(peer)) << "no bad frame was dispatched";
  // The rest of the half frame completes it and it is answered.
  ASSERT_EQ(ssize_t(frame.size() - frame.size() / 2),
            write(half, frame.data() + frame.size() / 2, frame.size() - frame.size() / 2));
  char header[20];
  ASSERT_EQ(ssize_t(sizeof header), recv(half, header, sizeof header, MSG_WAITALL));
  UInt32 fields[5];
  std::memcpy(fields, header, sizeof fields);
  EXPECT_EQ(UInt32(macplatform::ae::transport::kFrameReply), fields[1]);
  EXPECT_EQ(77u, fields[2]);
  close(half);
}

TEST(AETransport, ConnectionFromAnotherUserIsRefusedWithoutDispatch) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  Peer peer;
  ASSERT_TRUE(peer.ready);
  const std::string path = SocketPathOf(peer);
  const std::string frame = EchoFrame(peer, macplatform::ae::transport::kFrameEventNoReply);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Effective uid "nobody" (what the peer sees), file-system uid still
    // root so that the private folder does not stop the connect first.
    if (setresuid(0, 65534, 0) != 0) _exit(10);
    setfsuid(0);
    const int fd = RawConnect(path);
    if (fd < 0) _exit(11);
    if (send(fd, frame.data(), frame.size(), MSG_NOSIGNAL) < 0) _exit(0);  // already closed: refused
    _exit(ClosedByPeer(fd) ? 0 : 12);
  }
  int status = 0;
  ASSERT_EQ(child, waitpid(child, &status, 0));
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(0, WEXITSTATUS(status));
  EXPECT_EQ(0, EventCount(peer));
}

}  // namespace
