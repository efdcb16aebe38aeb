// Process lookup against real processes: Finder doubles forked from the test.
#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/processes/tests/ProcessDouble.h"
#include "procscript/MoreProcesses.h"
#include "testing/TestSupport.h"

namespace {

using tw::test::ProcessDouble;

class MoreProc : public ::testing::Test {
 protected:
  tw::test::PrivateEnvironment env_;
};

TEST_F(MoreProc, FindsTheFinderByCreatorThenTypeOnly) {
  ProcessSerialNumber psn = {0, 0};
  EXPECT_EQ(MoreProcFindProcessBySignature('MACS', 'FNDR', &psn), procNotFound);

  ProcessDouble other("TextEdit", 'APPL', 'ttxt');
  ProcessDouble finder("Finder", 'FNDR', 'MACS');
  ASSERT_TRUE(other.ok());
  ASSERT_TRUE(finder.ok());
  ASSERT_EQ(MoreProcFindProcessBySignature('MACS', 'FNDR', &psn), noErr);
  EXPECT_EQ(psn.lowLongOfPSN, finder.psn().lowLongOfPSN);
  EXPECT_EQ(MoreProcFindProcessBySignature('FNDR', 'MACS', &psn), procNotFound);

  ASSERT_EQ(MoreProcFindProcessByCreator('MACS', &psn), noErr);
  EXPECT_EQ(psn.lowLongOfPSN, finder.psn().lowLongOfPSN);

  Str31 name = {};
  ASSERT_EQ(MoreProcGetProcessName(&finder.psn(), name), noErr);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(name + 1), name[0]), "Finder");
  OSType type = 0, creator = 0;
  ASSERT_EQ(MoreProcGetProcessTypeSignature(&finder.psn(), &type, &creator), noErr);
  EXPECT_EQ(type, OSType('FNDR'));
  EXPECT_EQ(creator, OSType('MACS'));
}

TEST_F(MoreProc, EarlierOfTwoMatchingProcessesIsFoundEveryTime) {
  ProcessDouble first("Finder", 'FNDR', 'MACS');
  ProcessDouble second("Finder", 'FNDR', 'MACS');
  ASSERT_TRUE(first.ok());
  ASSERT_TRUE(second.ok());
  for (int i = 0; i < 3; ++i) {
    ProcessSerialNumber psn = {0, 0};
    ASSERT_EQ(MoreProcFindProcessBySignature('MACS', 'FNDR', &psn), noErr);
    EXPECT_EQ(psn.lowLongOfPSN, first.psn().lowLongOfPSN);
  }
  // When the first one goes, the second one is found.
  first.Crash();
  ProcessSerialNumber psn = {0, 0};
  ASSERT_EQ(MoreProcFindProcessBySignature('MACS', 'FNDR', &psn), noErr);
  EXPECT_EQ(psn.lowLongOfPSN, second.psn().lowLongOfPSN);
}

TEST_F(MoreProc, BackgroundOnlyAndTheCallersOwnApplicationFile) {
  ProcessDouble agent("Agent", 'APPL', 'agnt', modeOnlyBackground | modeCanBackground);
  ASSERT_TRUE(agent.ok());
  Boolean background = 0x77;
  ASSERT_EQ(MoreProcIsProcessBackgroundOnly(&agent.psn(), &background), noErr);
  EXPECT_EQ(background, 1);
  ASSERT_EQ(MoreProcIsProcessBackgroundOnly(nullptr, &background), noErr);
  EXPECT_EQ(background, 0);

  FSSpec spec, expected;
  ASSERT_EQ(MoreProcGetCurrentProcessFSSpec(&spec), noErr);
  char self[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(n, 0);
  Str255 path;
  path[0] = static_cast<unsigned char>(n);
  std::memcpy(path + 1, self, static_cast<size_t>(n));
  ASSERT_EQ(FSMakeFSSpec(0, 0, path, &expected), noErr);
  EXPECT_EQ(spec.vRefNum, expected.vRefNum);
  EXPECT_EQ(spec.parID, expected.parID);
  EXPECT_EQ(std::memcmp(spec.name, expected.name, expected.name[0] + 1u), 0);

  EXPECT_EQ(MoreProcGetProcessAppFile(&agent.psn(), nullptr), paramErr);
}

TEST_F(MoreProc, AtFrontFollowsTheFrontProcessAndIsFalseOnceItQuits) {
  ProcessDouble finder("Finder", 'FNDR', 'MACS', 0, /*front=*/true);
  ASSERT_TRUE(finder.ok());
  EXPECT_TRUE(MoreProcIsProcessAtFront(&finder.psn()));
  EXPECT_FALSE(MoreProcIsProcessAtFront(nullptr));

  ProcessSerialNumber current = {0, kCurrentProcess};
  ASSERT_EQ(SetFrontProcess(&current), noErr);
  EXPECT_TRUE(MoreProcIsProcessAtFront(nullptr));
  EXPECT_FALSE(MoreProcIsProcessAtFront(&finder.psn()));

  ASSERT_EQ(SetFrontProcess(&finder.psn()), noErr);
  ProcessSerialNumber gone = finder.psn();
  finder.Quit();
  EXPECT_FALSE(MoreProcIsProcessAtFront(&gone));
  EXPECT_FALSE(MoreProcIsProcessAtFront(nullptr));
  ProcessInfoRec info;
  EXPECT_EQ(MoreProcGetProcessInformation(&gone, &info), procNotFound);
}

}  // namespace
