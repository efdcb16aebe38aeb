// `macctl finder` against a finderd started by the test.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tools/finderd/tests/FinderdTestSupport.h"

namespace {

using finderd_test::AliasDescOfPath;
using finderd_test::Desc;
using finderd_test::RunningFinder;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

int Macctl(std::vector<std::string> args, std::string* out, std::string* err) {
  args.insert(args.begin(), "macctl");
  return tw::test::Run(args, out, err);
}

class MacctlFinder : public ::testing::Test {
 protected:
  void SetUp() override {
    work_ = env_.root() + "/work";
    std::filesystem::create_directories(work_ + "/c");
    tw::test::WriteFile(work_ + "/a", "a");
    tw::test::WriteFile(work_ + "/b", "b");
  }
  std::string Path(const char* name) const { return work_ + "/" + name; }

  tw::test::PrivateEnvironment env_;
  std::string work_;
};

TEST_F(MacctlFinder, SelectThenSelectionKeepsTheOrder) {
  RunningFinder finder;
  ASSERT_TRUE(finder.ok()) << finder.child().Stderr();
  std::string out, err;
  ASSERT_EQ(Macctl({"finder", "select", Path("c"), Path("a"), Path("b")}, &out, &err), 0) << err;
  EXPECT_EQ(out, "");
  ASSERT_EQ(Macctl({"finder", "selection"}, &out, &err), 0) << err;
  EXPECT_EQ(Lines(out), (std::vector<std::string>{Path("c"), Path("a"), Path("b")}));

  // Relative paths are taken from the current folder.
  ASSERT_EQ(tw::test::Run({"/bin/sh", "-c", "cd '" + work_ + "' && \"$0\" finder select b a",
                           tw::test::BinPath("macctl")},
                          &out, &err),
            0)
      << err;
  ASSERT_EQ(Macctl({"finder", "selection"}, &out, &err), 0) << err;
  EXPECT_EQ(Lines(out), (std::vector<std::string>{Path("b"), Path("a")}));

  // No paths: the selection is cleared.
  ASSERT_EQ(Macctl({"finder", "select"}, &out, &err), 0) << err;
  ASSERT_EQ(Macctl({"finder", "selection"}, &out, &err), 0) << err;
  EXPECT_EQ(out, "");
  EXPECT_EQ(finder.Quit(), 0);
}

TEST_F(MacctlFinder, SendShowsTheSelectionAsThreeSpecifiers) {
  RunningFinder finder;
  ASSERT_TRUE(finder.ok());
  std::string out, err;
  ASSERT_EQ(Macctl({"finder", "select", Path("a"), Path("b"), Path("c")}, &out, &err), 0) << err;
  ASSERT_EQ(Macctl({"help"}, &out, &err), 0);
  if (out.find("  send ") == std::string::npos) GTEST_SKIP() << "macctl has no send command in this build";
  ASSERT_EQ(Macctl({"send", "Finder", "core", "getd",
                    "'----':obj {form:prop,want:type(prop),seld:type(sele),from:null()},rtyp:type(alis)"},
                   &out, &err),
            0)
      << err;
  size_t specifiers = 0;
  for (size_t at = out.find("obj {"); at != std::string::npos; at = out.find("obj {", at + 1)) ++specifiers;
  EXPECT_EQ(specifiers, 3u) << out;
  EXPECT_NE(out.find("[obj {"), std::string::npos) << out;
  EXPECT_NE(out.find("Macintosh HD"), std::string::npos) << out;
}

TEST_F(MacctlFinder, RefusedSelectionAndDeletedItems) {
  RunningFinder finder;
  ASSERT_TRUE(finder.ok());
  std::string out, err;
  ASSERT_EQ(Macctl({"finder", "select", Path("a"), Path("b")}, &out, &err), 0) << err;

  // A path that names nothing: nothing is sent, the selection stays.
  EXPECT_EQ(Macctl({"finder", "select", Path("a"), Path("missing")}, &out, &err), 1);
  EXPECT_NE(err.find(Path("missing")), std::string::npos) << err;
  ASSERT_EQ(Macctl({"finder", "selection"}, &out, &err), 0) << err;
  EXPECT_EQ(Lines(out), (std::vector<std::string>{Path("a"), Path("b")}));

  // An item deleted since: the others are printed, the gone one reported.
  ASSERT_EQ(::unlink(Path("a").c_str()), 0);
  EXPECT_EQ(Macctl({"finder", "selection"}, &out, &err), 1);
  EXPECT_EQ(Lines(out), (std::vector<std::string>{Path("b")}));
  EXPECT_NE(err.find("item 1 of the selection: error -43"), std::string::npos) << err;
}

TEST_F(MacctlFinder, UpdatesListsAndClearsTheLog) {
  RunningFinder finder;
  ASSERT_TRUE(finder.ok());
  std::string out, err;
  ASSERT_EQ(Macctl({"finder", "updates"}, &out, &err), 0) << err;
  EXPECT_EQ(out, "");
  for (const char* name : {"b", "a", "b"}) {
    Desc alias;
    ASSERT_EQ(AliasDescOfPath(Path(name), &alias), noErr);
    AppleEvent event = {typeNull, nullptr};
    AEBuildError error;
    ProcessSerialNumber psn = finder.psn();
    ASSERT_EQ(AEBuildAppleEvent('fndr', 'fupd', typeProcessSerialNumber, &psn, sizeof psn, kAutoGenerateReturnID,
                                kAnyTransactionID, &event, &error, "'----':@", alias.get()),
              noErr);
    EXPECT_EQ(AESend(&event, nullptr, kAENoReply, kAENormalPriority, 30 * 60, nullptr, nullptr), noErr);
    AEDisposeDesc(&event);
  }
  ASSERT_EQ(Macctl({"finder", "updates"}, &out, &err), 0) << err;
  EXPECT_EQ(Lines(out), (std::vector<std::string>{Path("b"), Path("a"), Path("b")}));
  ASSERT_EQ(Macctl({"finder", "updates", "--clear"}, &out, &err), 0) << err;
  EXPECT_EQ(out, "");
  ASSERT_EQ(Macctl({"finder", "updates"}, &out, &err), 0) << err;
  EXPECT_EQ(out, "");
}

TEST_F(MacctlFinder, WithoutAFinderOrWithBadArgumentsItFails) {
  const std::vector<std::vector<std::string>> noFinder = {
      {"finder", "select", Path("a")}, {"finder", "select"}, {"finder", "selection"}, {"finder", "updates"},
      {"finder", "updates", "--clear"}};
  for (const auto& args : noFinder) {
    std::string out, err;
    EXPECT_EQ(Macctl(args, &out, &err), 1) << args.back();
    EXPECT_EQ(err, "macctl finder: the Finder is not running\n");
    EXPECT_EQ(out, "");
  }
  const std::vector<std::vector<std::string>> usage = {
      {"finder"}, {"finder", "bogus"}, {"finder", "selection", "x"}, {"finder", "updates", "--all"}};
  for (const auto& args : usage) {
    std::string out, err;
    EXPECT_EQ(Macctl(args, &out, &err), 1) << args.back();
    EXPECT_NE(err.find("usage"), std::string::npos) << err;
  }
}

}  // namespace
