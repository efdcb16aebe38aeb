// macctl defaults: writes land in the right file, reads and exports show
// them, and errors end with status 1 and a message.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/preferences/CFPreferences.h"
#include "testing/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using tw::test::PrivateEnvironment;
using tw::test::Run;

int Defaults(std::vector<std::string> args, std::string* out = nullptr, std::string* err = nullptr) {
  args.insert(args.begin(), {tw::test::BinPath("macctl"), "defaults"});
  return Run(args, out, err);
}

TEST(Defaults, WriteThenReadEachType) {
  PrivateEnvironment env;
  struct Row {
    std::vector<std::string> write;
    std::string shown;
  } rows[] = {
      {{"Name", "hello world"}, "\"hello world\"\n"},
      {{"Plain", "-string", "abc"}, "abc\n"},
      {{"Count", "-int", "-42"}, "-42\n"},
      {{"Ratio", "-float", "0.5"}, "0.5\n"},
      {{"Flag", "-bool", "YES"}, "1\n"},
      {{"List", "-array", "a", "b c"}, "(\n    a,\n    \"b c\"\n)\n"},
  };
  for (const Row& row : rows) {
    std::vector<std::string> args = {"write", "com.example.cli"};
    args.insert(args.end(), row.write.begin(), row.write.end());
    ASSERT_EQ(Defaults(args), 0) << row.write[0];
    std::string out;
    ASSERT_EQ(Defaults({"read", "com.example.cli", row.write[0]}, &out), 0);
    EXPECT_EQ(out, row.shown) << row.write[0];
  }
  std::string out;
  ASSERT_EQ(Defaults({"read", "com.example.cli"}, &out), 0);
  EXPECT_NE(out.find("    Count = -42;\n"), std::string::npos) << out;
  EXPECT_TRUE(fs::exists(env.config() + "/macplatform/Preferences/com.example.cli.plist"));
}

TEST(Defaults, ExportPrintsAnXMLPropertyList) {
  PrivateEnvironment env;
  ASSERT_EQ(Defaults({"write", "com.example.export", "Version", "-int", "16809984"}), 0);
  std::string out;
  ASSERT_EQ(Defaults({"export", "com.example.export", "-"}, &out), 0);
  EXPECT_NE(out.find("<key>Version</key>"), std::string::npos) << out;
  EXPECT_NE(out.find("<integer>16809984</integer>"), std::string::npos) << out;
  // What is exported parses back.
  CFDataRef data = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(out.data()),
                                static_cast<CFIndex>(out.size()));
  CFPropertyListRef plist = CFPropertyListCreateFromXMLData(nullptr, data, 0, nullptr);
  EXPECT_NE(plist, nullptr);
  if (plist != nullptr) CFRelease(plist);
  CFRelease(data);
  // To a file as well.
  ASSERT_EQ(Defaults({"export", "com.example.export", env.root() + "/out.plist"}), 0);
  EXPECT_EQ(tw::test::ReadFile(env.root() + "/out.plist"), out);
}

TEST(Defaults, ScopesChooseTheFile) {
  PrivateEnvironment env;
  ASSERT_EQ(Defaults({"write", "--any-user", "com.example.scope", "K", "v"}), 0);
  EXPECT_TRUE(fs::exists(env.system() + "/Preferences/com.example.scope.plist"));
  ASSERT_EQ(Defaults({"write", "--current-host", "com.example.scope", "K", "w"}), 0);
  EXPECT_TRUE(fs::exists(env.config() + "/macplatform/Preferences/ByHost"));
  std::string out;
  EXPECT_EQ(Defaults({"read", "com.example.scope", "K"}, &out), 1);
  ASSERT_EQ(Defaults({"read", "--any-user", "com.example.scope", "K"}, &out), 0);
  EXPECT_EQ(out, "v\n");
  ASSERT_EQ(Defaults({"read", "--current-host", "com.example.scope", "K"}, &out), 0);
  EXPECT_EQ(out, "w\n");
}

TEST(Defaults, DeleteKeyAndDomain) {
  PrivateEnvironment env;
  ASSERT_EQ(Defaults({"write", "com.example.del", "A", "1"}), 0);
  ASSERT_EQ(Defaults({"write", "com.example.del", "B", "2"}), 0);
  ASSERT_EQ(Defaults({"delete", "com.example.del", "A"}), 0);
  std::string out;
  EXPECT_EQ(Defaults({"read", "com.example.del", "A"}), 1);
  ASSERT_EQ(Defaults({"read", "com.example.del", "B"}, &out), 0);
  ASSERT_EQ(Defaults({"delete", "com.example.del"}), 0);
  EXPECT_EQ(Defaults({"read", "com.example.del"}), 1);
  EXPECT_EQ(Defaults({"delete", "com.example.del"}), 1);
}

TEST(Defaults, ErrorsExitOneWithAMessage) {
  PrivateEnvironment env;
  std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate", "com.example.x"},
      {"read"},
      {"read", "--bogus", "com.example.x"},
      {"read", "com.example.missing", "Nope"},
      {"write", "com.example.x", "K"},
      {"write", "com.example.x", "K", "-int", "12abc"},
      {"write", "com.example.x", "K", "-bool", "perhaps"},
      {"write", "../escape", "K", "v"},
      {"read", "a/b"},
      {"export", "com.example.x"},
  };
  for (const auto& args : cases) {
    std::string err;
    EXPECT_EQ(Defaults(args, nullptr, &err), 1) << (args.empty() ? "" : args[0]);
    EXPECT_NE(err.find("macctl defaults:"), std::string::npos) << err;
  }
  // Nothing escaped the preferences folder.
  EXPECT_FALSE(fs::exists(env.config() + "/macplatform/escape.plist"));
}

}  // namespace
