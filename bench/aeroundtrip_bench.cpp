// aeroundtrip_bench.cpp — the round trip of a small 'core'/'getd' event and
// its reply between two processes, beside a bare Unix-socket ping-pong of
// the same sizes, measured in the same run.
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/appleevents/AppleEvents.h"
#include "platform/appleevents/transport/Connection.h"
#include "platform/processes/Processes.h"
#include "bench/SocketPeer.h"
#include "testing/TestSupport.h"

namespace {

// The peer process and the event, made once for the whole run.
struct Setup {
  std::unique_ptr<tw::test::PrivateEnvironment> env;
  std::unique_ptr<tw::test::Child> peer;
  AppleEvent event{typeNull, nullptr};
  size_t eventFrame = 0;  // bytes on the wire, header included
  size_t replyFrame = 0;
  bool ok = false;

  Setup() {
    if (std::getenv("TW_BIN_DIR") == nullptr) {  // run by hand: the programs sit beside this one
      char self[PATH_MAX] = {};
      if (readlink("/proc/self/exe", self, sizeof self - 1) > 0) {
        std::string dir(self);
        setenv("TW_BIN_DIR", dir.substr(0, dir.rfind('/')).c_str(), 1);
      }
    }
    env = std::make_unique<tw::test::PrivateEnvironment>();
    peer = std::make_unique<tw::test::Child>(std::vector<std::string>{"ae_peer"});
    if (!tw::test::WaitFor([&] { return peer->Stdout().find("ready ") != std::string::npos; })) return;
    const ProcessSerialNumber psn{0, UInt32(std::stoul(peer->Stdout().substr(peer->Stdout().find("ready ") + 6)))};
    AEAddressDesc target{typeNull, nullptr};
    AECreateDesc(typeProcessSerialNumber, &psn, sizeof psn, &target);
    AECreateAppleEvent(kAECoreSuite, kAEGetData, &target, kAutoGenerateReturnID, kAnyTransactionID, &event);
    AEDisposeDesc(&target);
    const OSType selection = 'sele';
    AEPutParamPtr(&event, keyDirectObject, typeType, &selection, sizeof selection);
    AppleEvent reply{typeNull, nullptr};
    ok = AESend(&event, &reply, kAEWaitReply, kAENormalPriority, kAEDefaultTimeout, nullptr, nullptr) == noErr;
    eventFrame = macplatform::ae::transport::kFrameHeaderSize + size_t(AESizeOfFlattenedDesc(&event));
    replyFrame = macplatform::ae::transport::kFrameHeaderSize + size_t(AESizeOfFlattenedDesc(&reply));
    AEDisposeDesc(&reply);
  }
  ~Setup() {
    AEDisposeDesc(&event);
    peer.reset();  // kills the peer before its runtime folder goes
  }
};

Setup& TheSetup() {
  static Setup setup;  // the peer lives for the whole run and is ended at exit
  return setup;
}

void BM_AERoundTrip(benchmark::State& state) {
  Setup& s = TheSetup();
  if (!s.ok) {
    state.SkipWithError("no peer");
    return;
  }
  for (auto _ : state) {
    AppleEvent reply{typeNull, nullptr};
    OSErr err = AESend(&s.event, &reply, kAEWaitReply, kAENormalPriority, kAEDefaultTimeout, nullptr, nullptr);
    if (err != noErr) {
      state.SkipWithError("send failed");
      break;
    }
    AEDisposeDesc(&reply);
  }
  state.counters["event_bytes"] = double(s.eventFrame);
  state.counters["reply_bytes"] = double(s.replyFrame);
}
BENCHMARK(BM_AERoundTrip)->UseRealTime();

// The floor: one process writes a request of the event's size, the other
// reads it and writes an answer of the reply's size.
void BM_UnixSocketPingPong(benchmark::State& state) {
  Setup& s = TheSetup();
  const size_t request = s.eventFrame != 0 ? s.eventFrame : 100;
  const size_t answer = s.replyFrame != 0 ? s.replyFrame : 100;
  tw::bench::SocketPeer peer(request, answer);
  if (!peer.ok()) {
    state.SkipWithError("no peer");
    return;
  }
  for (auto _ : state) {
    if (!peer.RoundTrip()) {
      state.SkipWithError("ping-pong broke");
      break;
    }
  }
  state.counters["event_bytes"] = double(request);
  state.counters["reply_bytes"] = double(answer);
}
BENCHMARK(BM_UnixSocketPingPong)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
