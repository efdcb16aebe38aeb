// Tilde expansion with a private HOME, and the existence test.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>

#include "platform/foundation/Foundation.h"
#include "testing/TestSupport.h"

namespace {

TEST(Foundation, TildeExpansion) {
  tw::test::PrivateEnvironment env;
  const std::string home = env.home();
  struct passwd* root = getpwnam("root");
  ASSERT_NE(root, nullptr);
  const std::string rootHome = root->pw_dir;

  struct Row {
    std::string in;
    std::string out;
  } rows[] = {
      {"~", home},
      {"~/", home},
      {"~/Library/PreferencePanes/Tintwell.prefPane", home + "/Library/PreferencePanes/Tintwell.prefPane"},
      {"~root", rootHome},
      {"~root/Library", rootHome + "/Library"},
      {"~no-such-user-tintwell/x", "~no-such-user-tintwell/x"},
      {"/Library/PreferencePanes", "/Library/PreferencePanes"},
      {"relative/~", "relative/~"},
      {"", ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.in);
    EXPECT_EQ(NSStringByExpandingTildeInPath(row.in), row.out);
  }
}

TEST(Foundation, TildeFallsBackToThePasswordDatabase) {
  tw::test::PrivateEnvironment env;
  std::string saved = std::getenv("HOME");
  unsetenv("HOME");
  struct passwd* me = getpwuid(getuid());
  std::string expected = me ? me->pw_dir : "~";
  std::string got = NSStringByExpandingTildeInPath("~");
  setenv("HOME", saved.c_str(), 1);
  EXPECT_EQ(got, expected);
}

TEST(Foundation, FileExists) {
  tw::test::ScratchDir dir;
  tw::test::WriteFile(dir / "file", "x");
  mkdir((dir / "Tintwell.prefPane").c_str(), 0755);
  symlink("file", (dir / "link").c_str());
  symlink("missing", (dir / "dangling").c_str());
  EXPECT_TRUE(NSFileManagerFileExistsAtPath(dir / "file"));
  EXPECT_TRUE(NSFileManagerFileExistsAtPath(dir / "Tintwell.prefPane"));
  EXPECT_TRUE(NSFileManagerFileExistsAtPath(dir / "link"));
  EXPECT_FALSE(NSFileManagerFileExistsAtPath(dir / "dangling"));
  EXPECT_FALSE(NSFileManagerFileExistsAtPath(dir / "missing"));
  EXPECT_FALSE(NSFileManagerFileExistsAtPath(""));
}

}  // namespace
