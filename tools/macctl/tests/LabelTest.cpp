// macctl label: reading and writing labels from the command line.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <string>

#include "testing/TestSupport.h"

using tw::test::ScratchDir;

namespace {

const char* kAttr = "user.com.apple.FinderInfo";

std::string Attr(const std::string& path) {
  char buf[64];
  ssize_t n = ::getxattr(path.c_str(), kAttr, buf, sizeof buf);
  return n < 0 ? "absent" : std::string(buf, n);
}

std::string Macctl() { return tw::test::BinPath("macctl"); }

}  // namespace

TEST(MacctlLabel, SetSixThenReadSixKeepingEveryOtherBit) {
  ScratchDir dir;
  std::string f = dir / "F";
  tw::test::WriteFile(f, "x");
  std::string start(32, '\0');
  for (int i = 0; i < 32; ++i) start[i] = static_cast<char>(0x40 + i);
  start[8] = static_cast<char>(0xC5);  // kIsAlias | kIsInvisible | ...
  start[9] = static_cast<char>(0x03);  // kIsOnDesk and label 1
  ASSERT_EQ(::setxattr(f.c_str(), kAttr, start.data(), start.size(), 0), 0);

  std::string out, err;
  ASSERT_EQ(tw::test::Run({Macctl(), "label", "--set", "6", f}, &out, &err), 0) << err;
  EXPECT_EQ(out, "");
  ASSERT_EQ(tw::test::Run({Macctl(), "label", f}, &out, &err), 0) << err;
  EXPECT_EQ(out, "6\t" + f + "\n");

  std::string attr = Attr(f);
  ASSERT_EQ(attr.size(), 32u);
  EXPECT_EQ(static_cast<unsigned char>(attr[8]), 0xC5);
  EXPECT_EQ(static_cast<unsigned char>(attr[9]), 0x0D);  // 0x0C label bits, 0x01 kept
  for (int i = 0; i < 32; ++i) {
    if (i != 9) {
      EXPECT_EQ(attr[i], start[i]) << i;
    }
  }
}

TEST(MacctlLabel, UnreadablePathIsReportedAndTheOthersStillPrinted) {
  ScratchDir dir;
  tw::test::WriteFile(dir / "a", "x");
  ASSERT_EQ(::mkdir((dir / "b\nc:d").c_str(), 0755), 0);
  std::string out, err;
  ASSERT_EQ(tw::test::Run({Macctl(), "label", "--set", "3", dir / "b\nc:d"}, &out, &err), 0) << err;
  EXPECT_EQ(tw::test::Run({Macctl(), "label", dir / "a", dir / "missing", dir / "b\nc:d"}, &out, &err), 1);
  EXPECT_EQ(out, "0\t" + (dir / "a") + "\n3\t" + (dir / "b\nc:d") + "\n");
  EXPECT_NE(err.find(dir / "missing"), std::string::npos) << err;
  // --set goes on past a failure too.
  EXPECT_EQ(tw::test::Run({Macctl(), "label", "--set", "2", dir / "missing", dir / "a"}, &out, &err), 1);
  ASSERT_EQ(tw::test::Run({Macctl(), "label", dir / "a"}, &out, &err), 0);
  EXPECT_EQ(out, "2\t" + (dir / "a") + "\n");
}

TEST(MacctlLabel, BadLabelOrNoPathIsAUsageError) {
  ScratchDir dir;
  tw::test::WriteFile(dir / "a", "x");
  for (const char* bad : {"8", "-1", "x", "", "07", "3x"}) {
    std::string out, err;
    EXPECT_EQ(tw::test::Run({Macctl(), "label", "--set", bad, dir / "a"}, &out, &err), 2) << bad;
    EXPECT_FALSE(err.empty());
  }
  EXPECT_EQ(tw::test::Run({Macctl(), "label"}), 2);
  EXPECT_EQ(tw::test::Run({Macctl(), "label", "--set", "3"}), 2);
  EXPECT_EQ(Attr(dir / "a"), "absent");
}
