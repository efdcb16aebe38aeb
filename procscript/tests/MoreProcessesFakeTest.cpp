// Process lookup against a scripted Process Manager: the list, the answers of
// GetProcessInformation and the front process are rows of a table, and
// every call the lookup makes is recorded. This program links no platform.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "procscript/MoreProcesses.h"

namespace {

struct FakeProcess {
  UInt32 serial;
  OSType creator;
  OSType type;
  UInt32 mode;
  bool quits;  // in the list, but gone by the time its information is asked for
};

struct Call {
  enum Kind { kNext, kInfo, kFront, kSame } kind;
  ProcessSerialNumber psn;
  UInt32 infoLength;
  bool hadName;
  bool hadSpec;
};

std::vector<FakeProcess> gList;
std::vector<Call> gCalls;
OSErr gNextError = noErr;  // returned by GetNextProcess instead of a process
OSErr gFrontError = noErr;
OSErr gSameError = noErr;
UInt32 gFront = 0;
UInt32 gCurrent = 5000;

const FakeProcess* Find(UInt32 serial) {
  for (const FakeProcess& p : gList)
    if (p.serial == serial) return &p;
  return nullptr;
}

UInt32 Resolve(const ProcessSerialNumber* psn) {
  return psn->lowLongOfPSN == kCurrentProcess ? gCurrent : psn->lowLongOfPSN;
}

class MoreProcFake : public ::testing::Test {
 protected:
  void SetUp() override {
    gList.clear();
    gCalls.clear();
    gNextError = gFrontError = gSameError = noErr;
    gFront = 0;
    gCurrent = 5000;
  }
  size_t Count(Call::Kind kind) const {
    size_t n = 0;
    for (const Call& c : gCalls) n += c.kind == kind;
    return n;
  }
};

}  // namespace

// ---------------------------------------------------------------------------
// The scripted Process Manager.

OSErr GetNextProcess(ProcessSerialNumber* psn) {
  gCalls.push_back({Call::kNext, *psn, 0, false, false});
  if (gNextError != noErr) return gNextError;
  for (const FakeProcess& p : gList) {
    if (psn->lowLongOfPSN == kNoProcess || p.serial > psn->lowLongOfPSN) {
      *psn = {0, p.serial};
      return noErr;
    }
  }
  *psn = {0, kNoProcess};
  return procNotFound;
}

OSErr GetProcessInformation(const ProcessSerialNumber* psn, ProcessInfoRec* info) {
  gCalls.push_back({Call::kInfo, *psn, info->processInfoLength, info->processName != nullptr,
                    info->processAppSpec != nullptr});
  const FakeProcess* p = Find(Resolve(psn));
  if (p == nullptr || p->quits) return procNotFound;
  info->processNumber = {0, p->serial};
  info->processType = p->type;
  info->processSignature = p->creator;
  info->processMode = p->mode;
  if (info->processName != nullptr) std::memcpy(info->processName, "\x04Name", 5);
  if (info->processAppSpec != nullptr) info->processAppSpec->parID = static_cast<SInt32>(p->serial);
  return noErr;
}

OSErr GetFrontProcess(ProcessSerialNumber* psn) {
  gCalls.push_back({Call::kFront, {0, 0}, 0, false, false});
  if (gFrontError != noErr) return gFrontError;
  *psn = {0, gFront};
  return noErr;
}

OSErr SameProcess(const ProcessSerialNumber* a, const ProcessSerialNumber* b, Boolean* same) {
  gCalls.push_back({Call::kSame, *a, 0, false, false});
  if (gSameError != noErr) return gSameError;
  *same = Resolve(a) == Resolve(b);
  return noErr;
}

// ---------------------------------------------------------------------------

TEST_F(MoreProcFake, FindBySignatureComparesCreatorThenType) {
  gList = {{5000, 'MACS', 'FNDR', 0, false}};
  ProcessSerialNumber psn = {9, 9};
  EXPECT_EQ(MoreProcFindProcessBySignature('MACS', 'FNDR', &psn), noErr);
  EXPECT_EQ(psn.lowLongOfPSN, 5000u);
  EXPECT_EQ(MoreProcFindProcessBySignature('FNDR', 'MACS', &psn), procNotFound);
  EXPECT_EQ(MoreProcFindProcessBySignature('MACS', 'APPL', &psn), procNotFound);
}

TEST_F(MoreProcFake, FirstOfSeveralMatchesWinsOnEveryCall) {
  gList = {{5000, 'ttxt', 'APPL', 0, false}, {5001, 'MACS', 'FNDR', 0, false}, {5002, 'MACS', 'FNDR', 0, false}};
  for (int i = 0; i < 3; ++i) {
    ProcessSerialNumber psn = {0, 0};
    ASSERT_EQ(MoreProcFindProcessBySignature('MACS', 'FNDR', &psn), noErr);
    EXPECT_EQ(psn.lowLongOfPSN, 5001u);
  }
  // Every call walks from the head of the list.
  EXPECT_EQ(gCalls.front().psn.lowLongOfPSN, UInt32{kNoProcess});
}

TEST_F(MoreProcFake, ProcessThatQuitsDuringTheSearchIsPassedOver) {
  gList = {{5000, 'MACS', 'FNDR', 0, true}, {5001, 'MACS', 'FNDR', 0, false}};
  ProcessSerialNumber psn = {0, 0};
  ASSERT_EQ(MoreProcFindProcessBySignature('MACS', 'FNDR', &psn), noErr);
  EXPECT_EQ(psn.lowLongOfPSN, 5001u);
  // Only a quitter in the list: the end of the list, not the information error.
  gList = {{5000, 'MACS', 'FNDR', 0, true}};
  EXPECT_EQ(MoreProcFindProcessBySignature('MACS', 'FNDR', &psn), procNotFound);
}

TEST_F(MoreProcFake, SearchPassesTheListErrorOnUnchanged) {
  ProcessSerialNumber psn = {0, 0};
  EXPECT_EQ(MoreProcFindProcessBySignature('MACS', 'FNDR', &psn), procNotFound);
  gNextError = afpAccessDenied;
  gList = {{5000, 'MACS', 'FNDR', 0, false}};
  EXPECT_EQ(MoreProcFindProcessBySignature('MACS', 'FNDR', &psn), afpAccessDenied);
  EXPECT_EQ(MoreProcFindProcessByCreator('MACS', &psn), afpAccessDenied);
}

TEST_F(MoreProcFake, FindByCreatorIgnoresTheType) {
  gList = {{5000, 'ttxt', 'APPL', 0, false}, {5001, 'MACS', 'APPL', 0, false}, {5002, 'MACS', 'FNDR', 0, false}};
  ProcessSerialNumber psn = {0, 0};
  ASSERT_EQ(MoreProcFindProcessByCreator('MACS', &psn), noErr);
  EXPECT_EQ(psn.lowLongOfPSN, 5001u);
  EXPECT_EQ(MoreProcFindProcessByCreator('none', &psn), procNotFound);
}

TEST_F(MoreProcFake, InformationRecordIsSetUpAndNullMeansTheCaller) {
  gList = {{5000, 'MACS', 'FNDR', 0, false}};
  ProcessInfoRec info;
  std::memset(&info, 0xAB, sizeof info);
  ASSERT_EQ(MoreProcGetProcessInformation(nullptr, &info), noErr);
  ASSERT_EQ(gCalls.size(), 1u);
  EXPECT_EQ(gCalls[0].psn.lowLongOfPSN, UInt32{kCurrentProcess});
  EXPECT_EQ(gCalls[0].infoLength, 60u);
  EXPECT_FALSE(gCalls[0].hadName);
  EXPECT_FALSE(gCalls[0].hadSpec);
  EXPECT_EQ(info.processInfoLength, 60u);
  EXPECT_EQ(info.processName, nullptr);
  EXPECT_EQ(info.processAppSpec, nullptr);
  EXPECT_EQ(info.processSignature, OSType('MACS'));
}

TEST_F(MoreProcFake, NameTypeAndCreatorOfAProcess) {
  gList = {{5000, 'MACS', 'FNDR', 0, false}};
  Str31 name = {};
  ASSERT_EQ(MoreProcGetProcessName(nullptr, name), noErr);
  EXPECT_TRUE(gCalls.back().hadName);
  EXPECT_EQ(std::memcmp(name, "\x04Name", 5), 0);

  OSType type = 'xxxx', creator = 'yyyy';
  ASSERT_EQ(MoreProcGetProcessTypeSignature(nullptr, &type, &creator), noErr);
  EXPECT_EQ(type, OSType('FNDR'));
  EXPECT_EQ(creator, OSType('MACS'));

  // A process that has quit: outputs keep what they held.
  ProcessSerialNumber gone = {0, 6000};
  type = 'xxxx';
  creator = 'yyyy';
  EXPECT_EQ(MoreProcGetProcessTypeSignature(&gone, &type, &creator), procNotFound);
  EXPECT_EQ(type, OSType('xxxx'));
  EXPECT_EQ(creator, OSType('yyyy'));
}

TEST_F(MoreProcFake, MissingOutputsAreParamErrWithoutCallingThePlatform) {
  gList = {{5000, 'MACS', 'FNDR', 0, false}};
  OSType type = 0;
  Boolean flag = 0;
  EXPECT_EQ(MoreProcGetProcessAppFile(nullptr, nullptr), paramErr);
  EXPECT_EQ(MoreProcGetCurrentProcessFSSpec(nullptr), paramErr);
  EXPECT_EQ(MoreProcFindProcessBySignature('MACS', 'FNDR', nullptr), paramErr);
  EXPECT_EQ(MoreProcFindProcessByCreator('MACS', nullptr), paramErr);
  EXPECT_EQ(MoreProcGetProcessInformation(nullptr, nullptr), paramErr);
  EXPECT_EQ(MoreProcGetProcessName(nullptr, nullptr), paramErr);
  EXPECT_EQ(MoreProcGetProcessTypeSignature(nullptr, nullptr, &type), paramErr);
  EXPECT_EQ(MoreProcGetProcessTypeSignature(nullptr, &type, nullptr), paramErr);
  EXPECT_EQ(MoreProcIsProcessBackgroundOnly(nullptr, nullptr), paramErr);
  (void)flag;
  EXPECT_TRUE(gCalls.empty());
}

TEST_F(MoreProcFake, AppFileGoesIntoTheCallersRecord) {
  gList = {{5000, 'MACS', 'FNDR', 0, false}};
  FSSpec spec;
  std::memset(&spec, 0, sizeof spec);
  ASSERT_EQ(MoreProcGetCurrentProcessFSSpec(&spec), noErr);
  EXPECT_EQ(spec.parID, 5000);
  EXPECT_TRUE(gCalls.back().hadSpec);
  EXPECT_FALSE(gCalls.back().hadName);
  EXPECT_EQ(gCalls.back().psn.lowLongOfPSN, UInt32{kCurrentProcess});
}

TEST_F(MoreProcFake, BackgroundOnlyIsExactlyZeroOrOne) {
  struct Row {
    UInt32 mode;
    Boolean expected;
  } rows[] = {{0, 0}, {modeOnlyBackground, 1}, {0xFFFFFFFFu, 1}, {0xFFFFFFFFu & ~UInt32{modeOnlyBackground}, 0}};
  for (const Row& row : rows) {
    gList = {{5000, 'APPL', 'APPL', row.mode, false}};
    Boolean flag = 0x77;
    ASSERT_EQ(MoreProcIsProcessBackgroundOnly(nullptr, &flag), noErr);
    EXPECT_EQ(flag, row.expected) << std::hex << row.mode;
  }
  ProcessSerialNumber gone = {0, 6000};
  Boolean flag = 0x77;
  EXPECT_EQ(MoreProcIsProcessBackgroundOnly(&gone, &flag), procNotFound);
  EXPECT_EQ(flag, 0x77);
}

TEST_F(MoreProcFake, AtFrontIsTrueOnlyWhenBothCallsSucceedAndAgree) {
  gList = {{5000, 'APPL', 'APPL', 0, false}, {5001, 'MACS', 'FNDR', 0, false}};
  const ProcessSerialNumber finder = {0, 5001};
  gFront = 5000;
  EXPECT_TRUE(MoreProcIsProcessAtFront(nullptr));
  EXPECT_FALSE(MoreProcIsProcessAtFront(&finder));
  // SameProcess gets the given process first and the front one second.
  EXPECT_EQ(gCalls.back().kind, Call::kSame);
  EXPECT_EQ(gCalls.back().psn.lowLongOfPSN, 5001u);
  gFront = 5001;
  EXPECT_TRUE(MoreProcIsProcessAtFront(&finder));
  EXPECT_FALSE(MoreProcIsProcessAtFront(nullptr));
  gFrontError = procNotFound;
  EXPECT_FALSE(MoreProcIsProcessAtFront(&finder));
  gFrontError = noErr;
  gSameError = paramErr;
  EXPECT_FALSE(MoreProcIsProcessAtFront(&finder));
}
