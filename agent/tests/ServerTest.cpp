// ServerTest.cpp — `twhelper -s` end to end: the snapshot it publishes in
// the named scrap while the Finder is in front, what it leaves alone when
// another process is in front or the Finder was relaunched, read-only
// items, the quit event, and its memory over many ticks.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "agent/tests/AgentTestSupport.h"
#include "platform/processes/Processes.h"

namespace agent_test {
namespace {

// A running `twhelper -s`.
class Server {
 public:
  explicit Server(std::vector<std::string> argv = {"twhelper", "-s"}) : child_(std::move(argv)) {}

  // Waits until the server is in the process list (it registers when it
  // installs its quit handler).
  bool Registered(mp::Entry* entry = nullptr) {
    mp::Entry e;
    bool ok = WaitForRegistration(child_.pid(), &e);
    if (entry != nullptr) *entry = e;
    return ok;
  }
  // `macctl quit twhelper`; then the server's exit status.
  int Quit() {
    EXPECT_EQ(Macctl({"quit", "twhelper"}), 0);
    return child_.Wait();
  }
  tw::test::Child& child() { return child_; }

 private:
  tw::test::Child child_;
};

// Waits for the scrap to hold exactly this snapshot.
::testing::AssertionResult ScrapBecomes(const std::vector<UInt32>& words) {
  ScrapState last;
  if (tw::test::WaitFor([&] { return (last = ReadScrap()).Is(words); }, 30.0))
    return ::testing::AssertionSuccess();
  std::string got;
  for (UInt32 w : last.words) got += std::to_string(w) + " ";
  return ::testing::AssertionFailure()
         << "scrap has " << last.types.size() << " flavors, snapshot words: " << got;
}

// Watches the scrap for `seconds` (several ticks); true when it stayed as it
// was. The server's period is 1 s, so 3.5 s cover at least three ticks.
bool ScrapStaysFor(double seconds) {
  ScrapState before = ReadScrap();
  return !tw::test::WaitFor(
      [&] {
        ScrapState now = ReadScrap();
        return now.ok && (now.types != before.types || now.words != before.words);
      },
      seconds);
}

TEST(ServerTest, PublishesWhichLabelsTheSelectionHoldsAndQuits) {
  World world;
  ASSERT_TRUE(world.bus());
  Server server;
  mp::Entry entry;
  ASSERT_TRUE(server.Registered(&entry));
  // Its own identity, a background-only agent, not the Finder's.
  EXPECT_EQ(entry.name, "twhelper");
  EXPECT_EQ(entry.type, static_cast<OSType>('APPL'));
  EXPECT_EQ(entry.creator, static_cast<OSType>('TWhp'));
  EXPECT_NE(entry.mode & modeOnlyBackground, 0u);

  std::string two = world.Item("two", 2), five = world.Item("five", 5, true);
  std::string fours[] = {world.Item("four1", 4), world.Item("four2", 4), world.Item("four3", 4)};
  // Finder information of the wrong size cannot be read: label 0, not writable.
  std::string damaged = world.Item("damaged");
  SetFinderInfo(damaged, "short");
  const std::string twoBefore = FinderInfo(two);

  struct Case {
    std::vector<std::string> selection;
    std::vector<UInt32> words;
  } cases[] = {
      {{two, five}, Words({2, 5}, true)},
      {{fours[0], fours[1], fours[2]}, Words({4}, true)},
      {{damaged}, Words({0}, false)},
      {{damaged, two}, Words({0, 2}, true)},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(world.Select(c.selection));
    EXPECT_TRUE(ScrapBecomes(c.words)) << c.selection.size() << " items from " << c.selection[0];
  }
  // The write probe writes back what it read.
  EXPECT_EQ(FinderInfo(two), twoBefore);
  EXPECT_EQ(FinderInfo(damaged), "short");

  // Nothing selected empties the scrap.
  ASSERT_TRUE(world.Select({}));
  EXPECT_TRUE(tw::test::WaitFor([] { return ReadScrap().empty(); }, 30.0));

  EXPECT_EQ(server.Quit(), 0);
  EXPECT_EQ(server.child().Stderr(), kQuitMessage);
  EXPECT_EQ(server.child().Stdout(), "");
}

TEST(ServerTest, WithoutFinderExitsWithStatusOneSilently) {
  World world(false);
  std::string out, err;
  EXPECT_EQ(Twhelper({"-s"}, &out, &err), 1);
  EXPECT_EQ(out + err, "");
}

TEST(ServerTest, AnotherProcessInFrontLeavesTheScrapAsItWas) {
  World world;
  ASSERT_TRUE(world.bus());
  Server server;
  ASSERT_TRUE(server.Registered());
  ASSERT_TRUE(world.Select({world.Item("red", 2)}));
  ASSERT_TRUE(ScrapBecomes(Words({2}, true)));

  tw::test::Child other({"agent_test_double", "front"});
  ASSERT_TRUE(tw::test::WaitFor([&] { return other.Stdout() == "ready\n"; }));
  ASSERT_EQ(Macctl({"front", "Agent Test Double"}), 0);
  ASSERT_TRUE(world.Select({world.Item("grey", 6)}));
  EXPECT_TRUE(ScrapStaysFor(3.5));
  EXPECT_TRUE(ReadScrap().Is(Words({2}, true)));

  // The Finder back in front: the next tick publishes the new selection.
  ASSERT_EQ(Macctl({"front", "Finder"}), 0);
  EXPECT_TRUE(ScrapBecomes(Words({6}, true)));
  EXPECT_EQ(server.Quit(), 0);
}

TEST(ServerTest, FinderRelaunchedAfterStartIsNeverMatched) {
  World world;
  ASSERT_TRUE(world.bus());
  Server server;
  ASSERT_TRUE(server.Registered());
  ASSERT_TRUE(world.Select({world.Item("red", 2)}));
  ASSERT_TRUE(ScrapBecomes(Words({2}, true)));

  ASSERT_EQ(world.QuitFinder(), 0);
  ASSERT_TRUE(world.StartFinder());
  // The new Finder comes to the front.
  mp::Entry finder;
  ASSERT_EQ(mp::FindByCreator('MACS', &finder), noErr);
  ASSERT_TRUE(tw::test::WaitFor([&] {
    ProcessSerialNumber front = {0, 0};
    return GetFrontProcess(&front) == noErr && front.lowLongOfPSN == finder.serial;
  }));

  ASSERT_TRUE(world.Select({world.Item("grey", 6)}));
  EXPECT_TRUE(ScrapStaysFor(3.5));
  EXPECT_TRUE(ReadScrap().Is(Words({2}, true)));
  EXPECT_EQ(server.Quit(), 0);
  EXPECT_EQ(server.child().Stderr(), kQuitMessage);
}

// A quit event with a parameter the handler never reads is still answered
// with 0 and ends the server.
TEST(ServerTest, QuitEventWithParameterIsAnsweredAndEndsTheServer) {
  World world;
  ASSERT_TRUE(world.bus());
  Server server;
  ASSERT_TRUE(server.Registered());
  std::string out, err;
  EXPECT_EQ(Macctl({"send", "twhelper", "aevt", "quit", "'----':long(1)"}, &out, &err), 0) << err;
  EXPECT_EQ(server.child().Wait(), 0);
  EXPECT_EQ(server.child().Stderr(), kQuitMessage);
  EXPECT_EQ(server.child().Stdout(), "");
}

// While a tick waits for a Finder that is slow to answer, the quit event is
// still handled; the server ends once the tick is over.
TEST(ServerTest, QuitWhileTickWaitsForTheFinder) {
  World world(false);
  ASSERT_TRUE(world.bus());
  tw::test::Child slowFinder({"agent_test_double", "slow-finder", "4"});
  ASSERT_TRUE(tw::test::WaitFor([&] { return slowFinder.Stdout() == "ready\n"; }));

  Server server;
  ASSERT_TRUE(server.Registered());
  ASSERT_TRUE(tw::test::WaitFor([&] { return slowFinder.Stdout() == "ready\nasked\n"; }));
  EXPECT_EQ(Macctl({"quit", "twhelper"}), 0);
  EXPECT_EQ(server.child().Stderr(), kQuitMessage);
  EXPECT_EQ(server.child().Wait(), 0);
  EXPECT_EQ(slowFinder.Stdout(), "ready\nasked\n");  // no tick after the quit
}

bool CanMountPrivately() {
  if (::geteuid() != 0) return false;
  return tw::test::Run({"/usr/bin/unshare", "-m", "true"}) == 0;
}

// Items on a read-only mount: their labels are published, writable is 0.
TEST(ServerTest, ItemsOnReadOnlyVolumeAreNotWritable) {
  if (!CanMountPrivately()) GTEST_SKIP() << "needs root and mount namespaces";
  World world;
  ASSERT_TRUE(world.bus());
  const std::string volume = world.items() + "/volume";
  std::filesystem::create_directories(volume);
  std::vector<std::string> items;
  for (const char* name : {"x", "y", "z"}) items.push_back(world.Item(std::string("volume/") + name, 4));
  // The server sees the folder as a read-only mount; the Finder and the test
  // see it as it is.
  Server server({"/usr/bin/unshare", "-m", "/bin/sh", "-c",
                 "mount --make-rprivate / && mount --bind \"$0\" \"$0\" && "
                 "mount -o remount,bind,ro \"$0\" && exec \"$1\" -s",
                 volume, tw::test::BinPath("twhelper")});
  ASSERT_TRUE(server.Registered());
  ASSERT_TRUE(world.Select(items));
  EXPECT_TRUE(ScrapBecomes(Words({4}, false)));

  // One writable item beside them makes the snapshot writable.
  std::vector<std::string> mixed = items;
  mixed.push_back(world.Item("outside", 1));
  ASSERT_TRUE(world.Select(mixed));
  EXPECT_TRUE(ScrapBecomes(Words({1, 4}, true)));
  EXPECT_EQ(server.Quit(), 0);
  EXPECT_EQ(server.child().Stderr(), kQuitMessage);
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// A value in kB from /proc/PID/status ("VmRSS", "VmData"); -1 when absent.
long StatusKB(pid_t pid, const std::string& key) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);) {
    if (line.compare(0, key.size() + 1, key + ":") == 0) return std::stol(line.substr(key.size() + 1));
  }
  return -1;
}

// Counts the server's ticks by the scrap file being replaced.
class TickCounter {
 public:
  explicit TickCounter(const std::string& path) : path_(path) {}
  bool WaitForTicks(int n) {
    const int goal = ticks_ + n;
    return tw::test::WaitFor(
        [&] {
          struct stat st;
          if (::stat(path_.c_str(), &st) == 0) {
            auto stamp = std::make_pair(st.st_ino, st.st_mtim.tv_sec * 1000000000L + st.st_mtim.tv_nsec);
            if (stamp != last_) {
              last_ = stamp;
              ++ticks_;
            }
          }
          return ticks_ >= goal;
        },
        n * 5.0 + 20.0);
  }

 private:
  std::string path_;
  int ticks_ = 0;
  std::pair<ino_t, long> last_{0, 0};
};

// The server over many ticks of the same selection does not grow. (The
// sanitizer build finds leaks directly; its allocator's quarantine makes the
// process grow, so this runs in the plain build only.)
TEST(ServerTest, MemoryStaysFlatOverManyTicks) {
  if (kSanitized) GTEST_SKIP() << "memory use is not meaningful under the sanitizers";
  World world;
  ASSERT_TRUE(world.bus());
  std::vector<std::string> items;
  for (int i = 0; i < 300; ++i) items.push_back(world.Item("item" + std::to_string(i), i % 8));
  ASSERT_TRUE(world.Select(items));
  Server server;
  ASSERT_TRUE(server.Registered());
  ASSERT_TRUE(ScrapBecomes(Words({0, 1, 2, 3, 4, 5, 6, 7}, true)));

  TickCounter ticks(world.env().runtime() + "/macplatform/scraps/com.tolvane.tintwell.scrap");
  ASSERT_TRUE(ticks.WaitForTicks(5));  // warm-up
  const pid_t pid = server.child().pid();
  const long rss0 = StatusKB(pid, "VmRSS"), data0 = StatusKB(pid, "VmData");
  ASSERT_GT(rss0, 0);
  ASSERT_TRUE(ticks.WaitForTicks(20));
  const long rss1 = StatusKB(pid, "VmRSS"), data1 = StatusKB(pid, "VmData");
  // 20 ticks over 300 items: a leak of one small block per item and tick
  // would be 6,000 blocks, well over this margin.
  EXPECT_LT(rss1 - rss0, 512) << "VmRSS " << rss0 << " kB -> " << rss1 << " kB";
  EXPECT_LT(data1 - data0, 1024) << "VmData " << data0 << " kB -> " << data1 << " kB";
  EXPECT_EQ(server.Quit(), 0);
}

}  // namespace
}  // namespace agent_test
