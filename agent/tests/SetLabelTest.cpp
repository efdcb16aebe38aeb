// SetLabelTest.cpp — twhelper's command line and set-label mode, end to end:
// build/bin/twhelper against a real finderd, the label in each item's
// extended attribute, the Finder's log of update requests, and the
// notification as another process sees it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <set>

#include "agent/tests/AgentTestSupport.h"

namespace agent_test {
namespace {

struct CommandLineCase {
  const char* name;
  std::vector<std::string> args;
  int status;
  bool usage;  // the usage message on standard output
  int label;   // the label the selected items get; -1: left alone
};

class CommandLineTest : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLineTest, ArgumentGivesStatusMessageAndLabel) {
  const CommandLineCase& c = GetParam();
  World world;
  ASSERT_TRUE(world.bus());
  ASSERT_TRUE(world.finder() != nullptr && world.finder()->running());
  // Every item starts with label 5, which no case writes.
  std::vector<std::string> items = {world.Item("one", 5), world.Item("two", 5)};
  ASSERT_TRUE(world.Select(items));

  std::string out, err;
  EXPECT_EQ(Twhelper(c.args, &out, &err), c.status);
  EXPECT_EQ(out, c.usage ? kUsage : "");
  EXPECT_EQ(err, "");
  for (const std::string& item : items) EXPECT_EQ(Label(item), c.label < 0 ? 5 : c.label) << item;
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, CommandLineTest,
    ::testing::Values(CommandLineCase{"none", {}, 1, true, -1},
                      CommandLineCase{"two", {"3", "4"}, 1, true, -1},
                      CommandLineCase{"eight", {"8"}, 1, true, -1},
                      CommandLineCase{"minus_one", {"-1"}, 1, true, -1},
                      CommandLineCase{"abc", {"abc"}, 0, false, 0},
                      CommandLineCase{"seven_x", {"7x"}, 0, false, 7},
                      CommandLineCase{"plus_two", {"+2"}, 0, false, 2},
                      CommandLineCase{"upper_s", {"-S"}, 0, false, 0},
                      CommandLineCase{"blank_three", {" 3"}, 0, false, 3}),
    [](const ::testing::TestParamInfo<CommandLineCase>& info) { return info.param.name; });

TEST(SetLabelTest, LabelsEverySelectedItemKeepsOtherBitsUpdatesAndNotifiesOnce) {
  World world;
  ASSERT_TRUE(world.bus());
  std::vector<std::string> items = {world.Item("a.txt", 1), world.Item("b.txt", 0),
                                    world.Item("Folder", 3, true)};
  std::vector<std::string> before;
  for (const std::string& item : items) before.push_back(FinderInfo(item));
  ASSERT_TRUE(world.Select(items));
  Listener listener;
  ASSERT_TRUE(listener.Ready());

  std::string out, err;
  EXPECT_EQ(Twhelper({"6"}, &out, &err), 0);
  EXPECT_EQ(out, "");
  EXPECT_EQ(err, "");

  for (size_t i = 0; i < items.size(); ++i) {
    std::string expected = before[i];
    // Only bits 1 to 3 of finderFlags (byte 9) change.
    expected[9] = static_cast<char>((static_cast<UInt8>(expected[9]) & ~0x0E) | (6 << 1));
    EXPECT_EQ(FinderInfo(items[i]), expected) << items[i];
    EXPECT_EQ(Label(items[i]), 6);
  }

  // One update request per item, the last selected item first.
  // The requests were sent without waiting: the Finder may still be reading them.
  std::vector<std::string> updates;
  tw::test::WaitFor([&] { return (updates = world.Updates()).size() >= 3; });
  EXPECT_EQ(updates, (std::vector<std::string>{items[2], items[1], items[0]}));

  ASSERT_TRUE(listener.WaitFor("set-label"));
  ASSERT_TRUE(listener.Mark("after-twhelper"));
  EXPECT_EQ(listener.Count("set-label"), 1);
}

TEST(SetLabelTest, ItemDeletedAfterSelectionIsSkipped) {
  World world;
  ASSERT_TRUE(world.bus());
  std::vector<std::string> items = {world.Item("keep1", 0), world.Item("gone", 0),
                                    world.Item("keep2", 0)};
  ASSERT_TRUE(world.Select(items));
  ASSERT_EQ(::unlink(items[1].c_str()), 0);
  Listener listener;
  ASSERT_TRUE(listener.Ready());

  std::string out, err;
  EXPECT_EQ(Twhelper({"4"}, &out, &err), 0);
  EXPECT_EQ(out + err, "");
  EXPECT_EQ(Label(items[0]), 4);
  EXPECT_EQ(Label(items[2]), 4);
  EXPECT_FALSE(std::filesystem::exists(items[1]));
  std::vector<std::string> updates;
  tw::test::WaitFor([&] { return (updates = world.Updates()).size() >= 2; });
  EXPECT_EQ(updates, (std::vector<std::string>{items[2], items[0]}));
  ASSERT_TRUE(listener.WaitFor("set-label"));
  ASSERT_TRUE(listener.Mark("after-twhelper"));
  EXPECT_EQ(listener.Count("set-label"), 1);
}

// Nothing to label: status 0, nothing printed, no notification.
TEST(SetLabelTest, NothingSelectedOrNoFinderLabelsNothingAndStaysQuiet) {
  World world;
  ASSERT_TRUE(world.bus());
  std::string bystander = world.Item("bystander", 2);
  ASSERT_TRUE(world.Select({}));
  Listener listener;
  ASSERT_TRUE(listener.Ready());

  std::string out, err;
  EXPECT_EQ(Twhelper({"5"}, &out, &err), 0);
  EXPECT_EQ(out + err, "");
  EXPECT_TRUE(world.Updates().empty());

  // Now without a Finder at all.
  ASSERT_TRUE(world.Select({bystander}));
  ASSERT_EQ(world.QuitFinder(), 0);
  EXPECT_EQ(Twhelper({"5"}, &out, &err), 0);
  EXPECT_EQ(out + err, "");
  EXPECT_EQ(Label(bystander), 2);

  ASSERT_TRUE(listener.Mark("after-twhelper"));
  EXPECT_EQ(listener.Count("set-label"), 0);
}

// Without a session bus the label is still written and nothing is printed.
TEST(SetLabelTest, WithoutSessionBusLabelsQuietly) {
  World world;
  ASSERT_TRUE(world.bus());
  std::string item = world.Item("item", 0);
  ASSERT_TRUE(world.Select({item}));
  std::string out, err;
  EXPECT_EQ(tw::test::Run({tw::test::BinPath("twhelper"), "1"}, &out, &err, 60.0,
                          {{"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + world.env().root() + "/none"}}),
            0);
  EXPECT_EQ(out + err, "");
  EXPECT_EQ(Label(item), 1);
}

}  // namespace
}  // namespace agent_test
