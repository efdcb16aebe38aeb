// `macctl send` and `macctl quit` against an ae_peer process.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "testing/TestSupport.h"

namespace {

using tw::test::Child;
using tw::test::WaitFor;

class MacctlSend : public ::testing::Test {
 protected:
  void SetUp() override {
    peer_ = std::make_unique<Child>(std::vector<std::string>{"ae_peer", "--name", "Echoer", "--creator", "TWe1"});
    ASSERT_TRUE(WaitFor([&] { return peer_->Stdout().find("ready ") != std::string::npos; }))
        << peer_->Stderr();
    serial_ = peer_->Stdout().substr(6, peer_->Stdout().find('\n') - 6);
  }
  void TearDown() override {
    if (peer_->running()) peer_->Signal(SIGKILL);
  }
  int Macctl(std::vector<std::string> args, std::string* out, std::string* err) {
    args.insert(args.begin(), "macctl");
    return tw::test::Run(args, out, err);
  }

  tw::test::PrivateEnvironment env_;
  std::unique_ptr<Child> peer_;
  std::string serial_;
};

TEST_F(MacctlSend, EveryTargetSyntaxReachesThePeerAndPrintsTheReply) {
  const std::vector<std::string> targets = {"Echoer", "psn:" + serial_, serial_,
                                            "pid:" + std::to_string(peer_->pid()), "sign:TWe1"};
  for (const std::string& target : targets) {
    std::string out, err;
    EXPECT_EQ(0, Macctl({"send", target, "test", "echo", "'----':\"hi\",", "xtra:[1, 2]"}, &out, &err))
        << target << ": " << err;
    EXPECT_NE(std::string::npos, out.find("'----':\"hi\"")) << target << ": " << out;
    EXPECT_EQ("", err) << target;
  }
}

TEST_F(MacctlSend, FailuresExitOneWithTheCodeOnStandardError) {
  struct Case {
    std::vector<std::string> args;
    const char* error;  // expected in standard error
  } cases[] = {
      {{"send", "Echoer", "test", "fail"}, "-1728"},        // the handler's 'errn'
      {{"send", "Nobody Here", "test", "echo"}, "-600"},
      {{"send", "psn:999999", "test", "echo"}, "-600"},
      {{"send", "pid:1", "test", "echo"}, "-600"},
      {{"send", "Echoer", "test", "echo", "'----':["}, "syntax error"},
      {{"send", "Echoer", "test", "echo", "'----':@"}, "'@'"},
      {{"send", "Echoer", "toolong", "echo"}, "1 to 4"},
      {{"send", "Echoer", "test"}, "usage"},
      {{"quit"}, "usage"},
  };
  for (const Case& c : cases) {
    std::string out, err;
    EXPECT_EQ(1, Macctl(c.args, &out, &err)) << c.args[1];
    EXPECT_NE(std::string::npos, err.find(c.error)) << err;
  }
  // The handler's failure still prints the reply.
  std::string out, err;
  Macctl({"send", "Echoer", "test", "fail"}, &out, &err);
  EXPECT_NE(std::string::npos, out.find("errn")) << out;
}

TEST_F(MacctlSend, NoReplyThenQuit) {
  std::string out, err;
  ASSERT_EQ(0, Macctl({"send", "--no-reply", "Echoer", "test", "echo"}, &out, &err)) << err;
  EXPECT_EQ("", out);
  // The no-reply event arrives (on its own connection, so perhaps after a
  // later event from another macctl).
  EXPECT_TRUE(WaitFor([&] {
    return Macctl({"send", "Echoer", "test", "cnt"}, &out, &err) == 0 &&
           out.find("'----':'long'(1)") != std::string::npos;
  })) << out;

  ASSERT_EQ(0, Macctl({"quit", "Echoer"}, &out, &err)) << err;
  EXPECT_EQ(0, peer_->Wait());
  EXPECT_EQ(1, Macctl({"quit", "Echoer"}, &out, &err));
}

}  // namespace
