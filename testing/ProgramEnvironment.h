// ProgramEnvironment.h — one private environment (runtime folder, home,
// configuration) for a whole GoogleTest program, made before its first test
// and removed after its last: for tests of code that registers the process
// once and keeps what it learnt for the life of the process.
//
//   [[maybe_unused]] ::testing::Environment* const gEnvironment =
//       ::testing::AddGlobalTestEnvironment(new tw::test::ProgramEnvironment);
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "testing/TestSupport.h"

namespace tw::test {

class ProgramEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { env_ = std::make_unique<PrivateEnvironment>(); }
  void TearDown() override { env_.reset(); }

 private:
  std::unique_ptr<PrivateEnvironment> env_;
};

}  // namespace tw::test
