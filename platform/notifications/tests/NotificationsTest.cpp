// Distributed notifications: delivery to other processes and to the poster,
// on the event loop; filtering by name and object; removal; no bus at all.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/eventloop/CarbonEvents.h"
#include "platform/notifications/CFNotificationCenter.h"
#include "platform/notifications/SessionBus.h"
#include "testing/TestSupport.h"

using macplatform::notifications::MatchRule;

namespace {

struct Received {
  void* observer;
  std::string name;
  std::string object;  // "(null)" for none
};
std::vector<Received> gReceived;

std::string Text(CFStringRef s) {
  if (s == nullptr) return "(null)";
  char buf[512];
  return CFStringGetCString(s, buf, sizeof buf, kCFStringEncodingUTF8) ? buf : "?";
}

void Record(CFNotificationCenterRef center, void* observer, CFStringRef name, const void* object,
            CFDictionaryRef userInfo) {
  EXPECT_EQ(center, CFNotificationCenterGetDistributedCenter());
  EXPECT_EQ(userInfo, nullptr);
  gReceived.push_back({observer, Text(name), Text(static_cast<CFStringRef>(object))});
}

// Removes every registration of its observer from inside the delivery.
void RecordAndLeave(CFNotificationCenterRef center, void* observer, CFStringRef name,
                    const void* object, CFDictionaryRef userInfo) {
  Record(center, observer, name, object, userInfo);
  CFNotificationCenterRemoveEveryObserver(center, observer);
}

CFNotificationCenterRef Center() { return CFNotificationCenterGetDistributedCenter(); }

void Post(CFStringRef name, CFStringRef object) {
  CFNotificationCenterPostNotification(Center(), name, object, nullptr, true);
}

// Runs the loop until `condition` holds (generous deadline).
bool LoopUntil(const std::function<bool()>& condition) {
  return tw::test::WaitFor([&] {
    RunCurrentEventLoop(0.05);
    return condition();
  });
}

size_t CountOf(const std::string& name, const std::string& object) {
  size_t n = 0;
  for (const Received& r : gReceived) n += r.name == name && r.object == object;
  return n;
}

class Notifications : public ::testing::Test {
 protected:
  void SetUp() override {
    gReceived.clear();
    if (!env.StartSessionBus()) GTEST_SKIP() << "dbus-daemon is not installed";
  }
  void TearDown() override {
    for (int* o : {&a, &b}) CFNotificationCenterRemoveEveryObserver(Center(), o);
  }
  tw::test::PrivateEnvironment env;
  int a = 0, b = 0;  // observer identities
};

}  // namespace

TEST(NotificationMatchRule, AsksTheBusForOneNameWhenTheRuleCanSayIt) {
  const std::string base =
      "type='signal',path='/org/macplatform/DistributedNotifications',"
      "interface='org.macplatform.DistributedNotifications',member='Notification'";
  struct Row {
    std::optional<std::string> name;
    std::string rule;
  } rows[] = {
      {"com.tolvane.tintwell", base + ",arg0='com.tolvane.tintwell'"},
      {"with space, comma=and equals", base + ",arg0='with space, comma=and equals'"},
      {std::nullopt, base},
      {"it's", base},        // apostrophe: every name, filtered here
      {"back\\slash", base},
      {std::string(2000, 'n'), base},  // too long for a rule
  };
  for (const Row& row : rows) EXPECT_EQ(MatchRule(row.name), row.rule);
}

TEST_F(Notifications, PosterReceivesItsOwnNotificationOnItsLoopOnly) {
  CFNotificationCenterAddObserver(Center(), &a, Record, CFSTR("com.tolvane.tintwell"), nullptr,
                                  kCFNotificationSuspensionBehaviorDeliverImmediately);
  Post(CFSTR("com.tolvane.tintwell"), CFSTR("set-label"));
  EXPECT_TRUE(gReceived.empty()) << "delivered inside the post";
  ASSERT_TRUE(LoopUntil([] { return !gReceived.empty(); }));
  EXPECT_EQ(gReceived[0].observer, &a);
  EXPECT_EQ(gReceived[0].name, "com.tolvane.tintwell");
  EXPECT_EQ(gReceived[0].object, "set-label");

  // No object: the observer of any object gets NULL.
  Post(CFSTR("com.tolvane.tintwell"), nullptr);
  ASSERT_TRUE(LoopUntil([] { return gReceived.size() == 2; }));
  EXPECT_EQ(gReceived[1].object, "(null)");
}

TEST_F(Notifications, ObserversAreMatchedByNameAndObject) {
  CFNotificationCenterAddObserver(Center(), &a, Record, CFSTR("N"), CFSTR("reload-label-data"),
                                  kCFNotificationSuspensionBehaviorDeliverImmediately);
  CFNotificationCenterAddObserver(Center(), &b, Record, nullptr, nullptr,
                                  kCFNotificationSuspensionBehaviorCoalesce);
  Post(CFSTR("N"), CFSTR("set-label"));
  Post(CFSTR("OTHER"), CFSTR("reload-label-data"));
  Post(CFSTR("N"), nullptr);
  Post(CFSTR("N"), CFSTR("reload-label-data"));
  Post(CFSTR("end"), nullptr);
  ASSERT_TRUE(LoopUntil([] { return CountOf("end", "(null)") == 1; }));
  // b (every name, any object) saw all five, in order; a only the one match.
  std::vector<std::string> forA, forB;
  for (const Received& r : gReceived) (r.observer == &a ? forA : forB).push_back(r.name + "/" + r.object);
  EXPECT_EQ(forA, (std::vector<std::string>{"N/reload-label-data"}));
  EXPECT_EQ(forB, (std::vector<std::string>{"N/set-label", "OTHER/reload-label-data", "N/(null)",
                                            "N/reload-label-data", "end/(null)"}));
}

TEST_F(Notifications, RemovedObserversGetNothingAndACallbackMayRemoveItself) {
  CFNotificationCenterAddObserver(Center(), &a, Record, CFSTR("N"), nullptr, 4);
  CFNotificationCenterAddObserver(Center(), &a, Record, CFSTR("M"), nullptr, 4);
  CFNotificationCenterAddObserver(Center(), &b, RecordAndLeave, CFSTR("N"), nullptr, 4);
  CFNotificationCenterAddObserver(Center(), &b, Record, CFSTR("end"), nullptr, 4);
  CFNotificationCenterRemoveObserver(Center(), &a, CFSTR("M"), nullptr);
  Post(CFSTR("M"), nullptr);
  Post(CFSTR("N"), CFSTR("1"));
  Post(CFSTR("N"), CFSTR("2"));
  Post(CFSTR("end"), nullptr);
  // b's first N removed all of b, its "end" observer too: wait on a's second N.
  ASSERT_TRUE(LoopUntil([] { return CountOf("N", "2") == 1; }));
  RunCurrentEventLoop(0.2);
  EXPECT_EQ(CountOf("M", "(null)"), 0u);
  EXPECT_EQ(CountOf("N", "1"), 2u);  // a and b
  EXPECT_EQ(CountOf("N", "2"), 1u);  // a only
  EXPECT_EQ(CountOf("end", "(null)"), 0u);
}

TEST_F(Notifications, AnotherProcessReceivesOnItsLoopFilteredByName) {
  tw::test::Child listener({"notify_test_listener", "com.tolvane.tintwell", "end"});
  // Post until the listener shows it is listening; what it missed before its
  // rule was in place is lost, as it should be.
  ASSERT_TRUE(tw::test::WaitFor([&] {
    Post(CFSTR("com.tolvane.tintwell"), CFSTR("set-label"));
    return listener.Stdout().find("com.tolvane.tintwell\tset-label\n") != std::string::npos;
  }));
  Post(CFSTR("OTHER"), CFSTR("set-label"));
  Post(CFSTR("com.tolvane.tintwell"), nullptr);
  Post(CFSTR("end"), CFSTR("x"));
  ASSERT_TRUE(tw::test::WaitFor([&] { return listener.Stdout().find("end\tx\n") != std::string::npos; }));
  std::string out = listener.Stdout();
  EXPECT_EQ(out.find("OTHER"), std::string::npos) << out;
  EXPECT_NE(out.find("com.tolvane.tintwell\t(null)\nend\tx\n"), std::string::npos) << out;
}

TEST_F(Notifications, AnotherProcessFiltersByObject) {
  tw::test::Child listener({"notify_test_listener", "N=reload-label-data", "end"});
  ASSERT_TRUE(tw::test::WaitFor([&] {
    Post(CFSTR("N"), CFSTR("reload-label-data"));
    return listener.Stdout().find("N\treload-label-data\n") != std::string::npos;
  }));
  Post(CFSTR("N"), CFSTR("set-label"));
  Post(CFSTR("N"), nullptr);
  Post(CFSTR("N"), CFSTR("reload-label-data"));
  Post(CFSTR("end"), nullptr);
  ASSERT_TRUE(tw::test::WaitFor([&] { return listener.Stdout().find("end\t(null)\n") != std::string::npos; }));
  // Posts of the wait above may still arrive first; nothing else may.
  std::string out = listener.Stdout();
  EXPECT_EQ(out.find("set-label"), std::string::npos) << out;
  EXPECT_EQ(out.find("N\t(null)"), std::string::npos) << out;
  const std::string tail = "N\treload-label-data\nend\t(null)\n";
  ASSERT_GE(out.size(), tail.size());
  EXPECT_EQ(out.substr(out.size() - tail.size()), tail) << out;
}

// No session bus (nobody at the address, a plain file there, or no address
// at all): posting and observing do nothing, report nothing and return.
// The test has no timer: it only must not hang.
TEST(NotificationsWithoutBus, PostAndObserveQuietlyDoNothing) {
  tw::test::PrivateEnvironment env;
  tw::test::WriteFile(env.root() + "/not-a-socket", "x");
  int listening = ::socket(AF_UNIX, SOCK_STREAM, 0);  // a socket that never accepts
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::string deaf = env.root() + "/deaf";
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", deaf.c_str());
  ASSERT_EQ(::bind(listening, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(::listen(listening, 16), 0);

  const std::string addresses[] = {
      "unix:path=" + env.root() + "/no-bus",
      "unix:path=" + env.root() + "/not-a-socket",
      "unix:path=" + deaf,
      "",
  };
  int observer = 0;
  gReceived.clear();
  for (const std::string& address : addresses) {
    SCOPED_TRACE(address);
    if (address.empty())
      ::unsetenv("DBUS_SESSION_BUS_ADDRESS");  // sd-bus then looks in XDG_RUNTIME_DIR: nothing
    else
      ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    CFNotificationCenterAddObserver(Center(), &observer, Record, CFSTR("N"), nullptr, 4);
    for (int i = 0; i < 3; ++i) Post(CFSTR("N"), CFSTR("o"));
    RunCurrentEventLoop(0.1);
    CFNotificationCenterRemoveEveryObserver(Center(), &observer);
  }
  EXPECT_TRUE(gReceived.empty());
  ::close(listening);
}
