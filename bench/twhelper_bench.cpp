// twhelper_bench.cpp — `twhelper 3` over a Finder selection of 10,000 files,
// beside a baseline measured in the same run (the same number of bare
// Unix-socket round trips and one-way messages, plus the same Finder
// information read-modify-writes), and the cost of one `twhelper -s` tick
// over the same selection.
//
// Everything runs in a private environment: its own runtime folder, session
// bus and stand-in Finder (build/bin/finderd).
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/processes/ProcessRegistry.h"
#include "bench/SocketPeer.h"
#include "testing/TestSupport.h"

namespace {

constexpr int kItems = 10000;
// Sizes on the wire of the alias request ('core'/'getd' of a name
// specifier, 'rtyp' 'alis') and of its reply (an alias record).
constexpr size_t kRequestBytes = 240;
constexpr size_t kReplyBytes = 180;
constexpr const char* kFinderInfo = "user.com.apple.FinderInfo";

struct Setup {
  std::unique_ptr<tw::test::PrivateEnvironment> env;
  std::unique_ptr<tw::test::Child> finder;
  std::vector<std::string> items;
  std::string scrap;
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
    env->StartSessionBus();
    scrap = env->runtime() + "/macplatform/scraps/com.tolvane.tintwell.scrap";
    const std::string folder = env->root() + "/items";
    std::filesystem::create_directories(folder);
    std::string info(32, '\0');
    info[8] = 0x40;  // some other Finder flag, kept by every write
    for (int i = 0; i < kItems; ++i) {
      items.push_back(folder + "/item" + std::to_string(i) + ".txt");
      tw::test::WriteFile(items.back(), "x");
      setxattr(items.back().c_str(), kFinderInfo, info.data(), info.size(), 0);
    }
    finder = std::make_unique<tw::test::Child>(std::vector<std::string>{"finderd"});
    namespace mp = macplatform::processes;
    if (!tw::test::WaitFor([&] {
          mp::Entry entry;
          return mp::FindByCreator('MACS', &entry) == noErr && entry.pid == finder->pid();
        }))
      return;
    std::vector<std::string> select = {tw::test::BinPath("macctl"), "finder", "select"};
    select.insert(select.end(), items.begin(), items.end());
    ok = tw::test::Run(select) == 0;
  }
  ~Setup() {
    if (finder && finder->running()) {
      tw::test::Run({tw::test::BinPath("macctl"), "quit", "Finder"});
      finder->Wait();
    }
    finder.reset();
  }
};

Setup& TheSetup() {
  static Setup setup;
  return setup;
}

void BM_TwhelperSetLabel(benchmark::State& state) {
  Setup& s = TheSetup();
  if (!s.ok) {
    state.SkipWithError("no Finder with a selection");
    return;
  }
  for (auto _ : state) {
    std::string out, err;
    if (tw::test::Run({tw::test::BinPath("twhelper"), "3"}, &out, &err, 600.0) != 0) {
      state.SkipWithError("twhelper failed");
      break;
    }
  }
  state.counters["items"] = kItems;
}
BENCHMARK(BM_TwhelperSetLabel)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// What twhelper's work costs at the least: per item one round trip (the
// alias request), one message without an answer (the update request) and one
// read-modify-write of the Finder information; plus the one round trip of
// the selection request. The peer is another process, as the Finder is.
void BM_Baseline(benchmark::State& state) {
  Setup& s = TheSetup();
  tw::bench::SocketPeer finder(kRequestBytes, kReplyBytes);
  if (!finder.ok()) {
    state.SkipWithError("no peer");
    return;
  }
  bool broken = false;
  for (auto _ : state) {
    broken = !finder.RoundTrip();
    for (int i = 0; i < kItems && !broken; ++i) {
      broken = !finder.RoundTrip();
      char info[32];
      const char* path = s.items[size_t(i)].c_str();
      if (getxattr(path, kFinderInfo, info, sizeof info) != sizeof info) broken = true;
      info[9] = char((info[9] & ~0x0E) | (3 << 1));
      if (setxattr(path, kFinderInfo, info, sizeof info, 0) != 0) broken = true;
      if (!finder.Tell()) broken = true;
    }
    if (broken) {
      state.SkipWithError("baseline broke");
      break;
    }
  }
  state.counters["items"] = kItems;
}
BENCHMARK(BM_Baseline)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The scrap file's identity; it changes every time the server replaces it.
std::pair<ino_t, long> Stamp(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return {0, 0};
  return {st.st_ino, st.st_mtim.tv_sec * 1000000000L + st.st_mtim.tv_nsec};
}

// Waits for the next replacement of the scrap; its time, or a negative
// value when none came within a minute.
double NextTick(const std::string& path, std::pair<ino_t, long>* last) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    auto stamp = Stamp(path);
    if (stamp != *last && stamp.first != 0) {
      *last = stamp;
      return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    }
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  return -1;
}

// One tick of `twhelper -s` while the Finder is in front: the time between
// two publications of the snapshot, less the 1.0 s the server waits between
// ticks.
void BM_ServerTick(benchmark::State& state) {
  Setup& s = TheSetup();
  if (!s.ok) {
    state.SkipWithError("no Finder with a selection");
    return;
  }
  tw::test::Child server({"twhelper", "-s"});
  std::pair<ino_t, long> last = Stamp(s.scrap);
  double previous = NextTick(s.scrap, &last);
  for (auto _ : state) {
    double now = NextTick(s.scrap, &last);
    if (previous < 0 || now < 0) {
      state.SkipWithError("no snapshot published");
      break;
    }
    state.SetIterationTime(now - previous - 1.0);
    previous = now;
  }
  tw::test::Run({tw::test::BinPath("macctl"), "quit", "twhelper"});
  server.Wait();
  state.counters["items"] = kItems;
}
BENCHMARK(BM_ServerTick)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
