// macctl notify: one macctl posts, another listens on its event loop.
#include <gtest/gtest.h>

#include <string>

#include "testing/TestSupport.h"

namespace {

std::string Macctl() { return tw::test::BinPath("macctl"); }

int Post(const std::string& name, const std::string& object) {
  std::string out, err;
  int status = tw::test::Run({Macctl(), "notify", "post", name, object}, &out, &err);
  EXPECT_EQ(out, "");
  EXPECT_EQ(err, "");
  return status;
}

}  // namespace

TEST(MacctlNotify, ListenPrintsWhatPostSendsForItsNameOnly) {
  tw::test::PrivateEnvironment env;
  if (!env.StartSessionBus()) GTEST_SKIP() << "dbus-daemon is not installed";
  tw::test::Child listen({Macctl(), "notify", "listen", "com.tolvane.tintwell"});
  // Post until the listener shows it is listening.
  ASSERT_TRUE(tw::test::WaitFor([&] {
    EXPECT_EQ(Post("com.tolvane.tintwell", "set-label"), 0);
    return listen.Stdout().find("com.tolvane.tintwell\tset-label\n") != std::string::npos;
  }));
  EXPECT_EQ(Post("OTHER", "set-label"), 0);
  std::string out, err;
  ASSERT_EQ(tw::test::Run({Macctl(), "notify", "post", "com.tolvane.tintwell"}, &out, &err), 0);
  EXPECT_EQ(Post("com.tolvane.tintwell", "reload-label-data"), 0);
  ASSERT_TRUE(tw::test::WaitFor(
      [&] { return listen.Stdout().find("\treload-label-data\n") != std::string::npos; }));
  std::string heard = listen.Stdout();
  EXPECT_EQ(heard.find("OTHER"), std::string::npos) << heard;
  EXPECT_NE(heard.find("com.tolvane.tintwell\t\ncom.tolvane.tintwell\treload-label-data\n"),
            std::string::npos)
      << heard;
  EXPECT_TRUE(listen.running());
}

TEST(MacctlNotify, PostWithoutABusSucceedsQuietlyAndBadUsageFails) {
  tw::test::PrivateEnvironment env;  // its bus address leads nowhere
  EXPECT_EQ(Post("com.tolvane.tintwell", "set-label"), 0);
  std::string out, err;
  EXPECT_EQ(tw::test::Run({Macctl(), "notify"}, &out, &err), 2);
  EXPECT_EQ(tw::test::Run({Macctl(), "notify", "shout", "x"}, &out, &err), 2);
  EXPECT_EQ(tw::test::Run({Macctl(), "notify", "listen", "a", "b"}, &out, &err), 2);
}
