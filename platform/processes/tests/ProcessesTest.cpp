// The Process Manager with real processes: registration, the list and its
// order, serial numbers, quitting and crashing processes, the front process.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <cstring>
#include <dirent.h>
#include <thread>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/core/RuntimeDir.h"
#include "platform/core/SysCalls.h"
#include "platform/processes/ProcessRegistry.h"
#include "platform/processes/Processes.h"
#include "platform/processes/tests/ProcessDouble.h"
#include "testing/TestSupport.h"

namespace {

using tw::test::ProcessDouble;

// Serial numbers of the list, walked with GetNextProcess.
std::vector<UInt32> Walk() {
  std::vector<UInt32> serials;
  ProcessSerialNumber psn = {0, kNoProcess};
  while (GetNextProcess(&psn) == noErr) serials.push_back(psn.lowLongOfPSN);
  return serials;
}

bool Listed(const ProcessSerialNumber& psn) {
  for (UInt32 s : Walk())
    if (s == psn.lowLongOfPSN) return true;
  return false;
}

ProcessInfoRec EmptyInfo() {
  ProcessInfoRec info;
  std::memset(&info, 0, sizeof info);
  info.processInfoLength = 60;
  return info;
}

// Processor time as 1/60 s ticks.
UInt32 ToTicks(std::clock_t cpu) { return static_cast<UInt32>(cpu * 60 / CLOCKS_PER_SEC); }

std::string PascalToString(const unsigned char* p) { return std::string(reinterpret_cast<const char*>(p + 1), p[0]); }

std::string Comm() {
  std::ifstream in("/proc/self/comm");
  std::string name;
  std::getline(in, name);
  return name;
}

// How many descriptors this process has open.
int OpenDescriptors() {
  int n = 0;
  if (DIR* d = ::opendir("/proc/self/fd")) {
    while (::readdir(d) != nullptr) ++n;
    ::closedir(d);
  }
  return n;
}

// Entries are kept once their files have not changed for a while (the
// kernel stamps files with a coarse clock); tests of the kept entries let
// that time pass first. This only sets the stage; nothing is asserted on it.
void LetTheListSettle() { std::this_thread::sleep_for(std::chrono::milliseconds(250)); }

class Processes : public ::testing::Test {
 protected:
  tw::test::PrivateEnvironment env_;
};

TEST_F(Processes, CallerRegistersLazilyWithItsDefaultIdentity) {
  // Looking at the list does not register the caller.
  ProcessSerialNumber psn = {0, kNoProcess};
  EXPECT_EQ(GetNextProcess(&psn), procNotFound);
  EXPECT_EQ(psn.lowLongOfPSN, UInt32{kNoProcess});

  ProcessSerialNumber me = {0, 0};
  ASSERT_EQ(GetCurrentProcess(&me), noErr);
  EXPECT_EQ(me.highLongOfPSN, 0u);
  EXPECT_GE(me.lowLongOfPSN, macplatform::processes::kFirstSerial);
  ProcessSerialNumber again = {0, 0};
  ASSERT_EQ(GetCurrentProcess(&again), noErr);
  EXPECT_EQ(again.lowLongOfPSN, me.lowLongOfPSN);
  EXPECT_EQ(Walk(), std::vector<UInt32>{me.lowLongOfPSN});

  Str255 name = {};
  ProcessInfoRec info = EmptyInfo();
  info.processName = name;
  ProcessSerialNumber current = {0, kCurrentProcess};
  ASSERT_EQ(GetProcessInformation(&current, &info), noErr);
  EXPECT_EQ(info.processNumber.lowLongOfPSN, me.lowLongOfPSN);
  EXPECT_EQ(info.processType, OSType('APPL'));
  EXPECT_EQ(info.processSignature, OSType('\?\?\?\?'));
  EXPECT_EQ(info.processMode & modeOnlyBackground, 0u);
  EXPECT_EQ(PascalToString(name), Comm());
  EXPECT_EQ(info.processLauncher.lowLongOfPSN, UInt32{kNoProcess});

  pid_t pid = 0;
  ASSERT_EQ(GetProcessPID(&me, &pid), noErr);
  EXPECT_EQ(pid, ::getpid());
  ProcessSerialNumber byPid = {0, 0};
  ASSERT_EQ(GetProcessForPID(::getpid(), &byPid), noErr);
  EXPECT_EQ(byPid.lowLongOfPSN, me.lowLongOfPSN);
}

TEST_F(Processes, DeclaredIdentityAndApplicationFile) {
  tw::test::Child helper({"processes_helper", "declared"});
  ASSERT_TRUE(tw::test::WaitFor([&] { return helper.Stdout().find('\n') != std::string::npos; }, 60.0))
      << helper.Stderr();
  ProcessSerialNumber psn = {0, static_cast<UInt32>(std::stoul(helper.Stdout()))};

  Str255 name = {};
  FSSpec spec;
  std::memset(&spec, 0, sizeof spec);
  ProcessInfoRec info = EmptyInfo();
  info.processName = name;
  info.processAppSpec = &spec;
  ASSERT_EQ(GetProcessInformation(&psn, &info), noErr);
  EXPECT_EQ(PascalToString(name), "Process Helper");
  EXPECT_EQ(info.processType, OSType('APPL'));
  EXPECT_EQ(info.processSignature, OSType('TWph'));
  EXPECT_EQ(info.processMode, UInt32{modeOnlyBackground});
  EXPECT_EQ(info.processLocation, nullptr);

  FSSpec expected;
  std::string path = tw::test::BinPath("processes_helper");
  char real[4096];
  ASSERT_NE(::realpath(path.c_str(), real), nullptr);
  Str255 pathName;
  pathName[0] = static_cast<unsigned char>(std::strlen(real));
  std::memcpy(pathName + 1, real, pathName[0]);
  ASSERT_EQ(FSMakeFSSpec(0, 0, pathName, &expected), noErr);
  EXPECT_EQ(spec.vRefNum, expected.vRefNum);
  EXPECT_EQ(spec.parID, expected.parID);
  EXPECT_EQ(PascalToString(spec.name), "processes_helper");

  pid_t pid = 0;
  ASSERT_EQ(GetProcessPID(&psn, &pid), noErr);
  EXPECT_EQ(pid, helper.pid());
}

TEST_F(Processes, ListIsInRegistrationOrderAndSerialsAreNeverReused) {
  UInt32 first = 0;
  {
    ProcessDouble a("A", 'APPL', 'aaaa');
    ASSERT_TRUE(a.ok());
    first = a.psn().lowLongOfPSN;
    a.Quit();
  }
  ProcessDouble b("B", 'APPL', 'bbbb');
  ProcessDouble c("C", 'APPL', 'cccc');
  ASSERT_TRUE(b.ok());
  ASSERT_TRUE(c.ok());
  EXPECT_GT(b.psn().lowLongOfPSN, first);
  EXPECT_GT(c.psn().lowLongOfPSN, b.psn().lowLongOfPSN);
  EXPECT_EQ(Walk(), (std::vector<UInt32>{b.psn().lowLongOfPSN, c.psn().lowLongOfPSN}));

  // The one that registered last quits; the next one still gets a higher number.
  UInt32 last = c.psn().lowLongOfPSN;
  c.Quit();
  ProcessDouble d("D", 'APPL', 'dddd');
  ASSERT_TRUE(d.ok());
  EXPECT_GT(d.psn().lowLongOfPSN, last);
  EXPECT_EQ(Walk(), (std::vector<UInt32>{b.psn().lowLongOfPSN, d.psn().lowLongOfPSN}));
}

TEST_F(Processes, ProcessesRegisteringTogetherGetDistinctSerials) {
  // Started all at once, so that their registrations overlap.
  std::vector<std::unique_ptr<tw::test::Child>> helpers;
  for (int i = 0; i < 8; ++i)
    helpers.push_back(std::make_unique<tw::test::Child>(std::vector<std::string>{"processes_helper", "declared"}));
  std::set<UInt32> serials;
  for (auto& helper : helpers) {
    ASSERT_TRUE(tw::test::WaitFor([&] { return helper->Stdout().find('\n') != std::string::npos; }, 60.0))
        << helper->Stderr();
    serials.insert(static_cast<UInt32>(std::stoul(helper->Stdout())));
  }
  EXPECT_EQ(serials.size(), helpers.size());
  std::vector<UInt32> walked = Walk();
  EXPECT_EQ(walked, std::vector<UInt32>(serials.begin(), serials.end()));
}

TEST_F(Processes, CrashedProcessDropsOutAndItsEntryIsRemoved) {
  ProcessDouble crasher("Crasher", 'APPL', 'crsh');
  ASSERT_TRUE(crasher.ok());
  ProcessSerialNumber psn = crasher.psn();
  EXPECT_TRUE(Listed(psn));
  crasher.Crash();
  EXPECT_FALSE(Listed(psn));
  ProcessInfoRec info = EmptyInfo();
  EXPECT_EQ(GetProcessInformation(&psn, &info), procNotFound);
  pid_t pid = 0;
  EXPECT_EQ(GetProcessPID(&psn, &pid), procNotFound);
  std::string dir;
  ASSERT_EQ(macplatform::RuntimeSubdir("processes", &dir), noErr);
  EXPECT_NE(::access((dir + "/" + std::to_string(psn.lowLongOfPSN)).c_str(), F_OK), 0);
}

TEST_F(Processes, ProcessQuittingDuringAWalkIsPassedOver) {
  ProcessDouble first("First", 'APPL', 'frst');
  ProcessDouble second("Second", 'APPL', 'scnd');
  ASSERT_TRUE(first.ok());
  ASSERT_TRUE(second.ok());
  ProcessSerialNumber psn = {0, kNoProcess};
  ASSERT_EQ(GetNextProcess(&psn), noErr);
  ASSERT_EQ(psn.lowLongOfPSN, first.psn().lowLongOfPSN);
  first.Quit();
  ProcessInfoRec info = EmptyInfo();
  EXPECT_EQ(GetProcessInformation(&psn, &info), procNotFound);
  // The walk goes on from the process that quit.
  ASSERT_EQ(GetNextProcess(&psn), noErr);
  EXPECT_EQ(psn.lowLongOfPSN, second.psn().lowLongOfPSN);
  EXPECT_EQ(GetNextProcess(&psn), procNotFound);
  EXPECT_EQ(psn.lowLongOfPSN, UInt32{kNoProcess});
}

TEST_F(Processes, EntryHeldOnlyByAForkedChildIsDead) {
  // The helper registers, leaves a child holding its locked entry file, and
  // exits: the lock alone must not keep the entry alive.
  tw::test::Child helper({"processes_helper", "forkhold"});
  ASSERT_EQ(helper.Wait(60.0), 0) << helper.Stderr();
  std::istringstream out(helper.Stdout());
  unsigned serial = 0;
  int grandchild = 0;
  ASSERT_TRUE(out >> serial >> grandchild);
  ProcessSerialNumber psn = {0, serial};
  ProcessInfoRec info = EmptyInfo();
  EXPECT_EQ(GetProcessInformation(&psn, &info), procNotFound);
  EXPECT_FALSE(Listed(psn));
  ::kill(grandchild, SIGKILL);
}

TEST_F(Processes, KeptEntriesAreProvedAliveWithoutReadingThemAgain) {
  Walk();  // the list's watch is made once per process and stays
  const int descriptors = OpenDescriptors();
  auto first = std::make_unique<ProcessDouble>("First", 'APPL', 'frst');
  auto second = std::make_unique<ProcessDouble>("Second", 'APPL', 'scnd');
  ASSERT_TRUE(first->ok());
  ASSERT_TRUE(second->ok());
  LetTheListSettle();
  ProcessSerialNumber psn = first->psn();
  ASSERT_TRUE(Listed(psn));
  using macplatform::sys::Call;
  const unsigned long opens = macplatform::sys::CallCount(Call::Open);
  ASSERT_EQ(Walk(), (std::vector<UInt32>{first->psn().lowLongOfPSN, second->psn().lowLongOfPSN}));
  EXPECT_EQ(macplatform::sys::CallCount(Call::Open), opens);  // no entry file, no /proc file

  // A file changed in place is read again (here into something no longer
  // an entry of its serial number, which its owner still holds).
  std::string dir;
  ASSERT_EQ(macplatform::RuntimeSubdir("processes", &dir), noErr);
  const std::string path = dir + "/" + std::to_string(psn.lowLongOfPSN);
  std::string text = tw::test::ReadFile(path);
  const size_t at = text.find("name=First");
  ASSERT_NE(at, std::string::npos);
  text.replace(at, 10, "name=Fir\x01t");
  {
    std::ofstream out(path, std::ios::in | std::ios::out | std::ios::binary);
    out << text;
  }
  EXPECT_FALSE(Listed(psn));

  // A kept process that crashes drops out, and what was kept for it goes.
  ProcessSerialNumber gone = second->psn();
  ASSERT_TRUE(Listed(gone));
  second->Crash();
  EXPECT_FALSE(Listed(gone));
  ProcessInfoRec info = EmptyInfo();
  EXPECT_EQ(GetProcessInformation(&gone, &info), procNotFound);
  first.reset();
  second.reset();
  EXPECT_TRUE(Walk().empty());
  EXPECT_EQ(OpenDescriptors(), descriptors);
}

TEST_F(Processes, ActiveTimeIsTheProcessorTimeOfTheProcess) {
  ProcessSerialNumber me = {0, 0};
  ASSERT_EQ(GetCurrentProcess(&me), noErr);
  LetTheListSettle();
  ASSERT_TRUE(Listed(me));  // kept now, with its /proc file read through a kept descriptor
  ProcessInfoRec before = EmptyInfo();
  ASSERT_EQ(GetProcessInformation(&me, &before), noErr);
  // Burn half a second of processor time, then ask again: 30 ticks more.
  const std::clock_t start = std::clock();
  volatile unsigned long spin = 0;
  while (std::clock() - start < CLOCKS_PER_SEC / 2) spin = spin + 1;
  ProcessInfoRec after = EmptyInfo();
  ASSERT_EQ(GetProcessInformation(&me, &after), noErr);
  EXPECT_GE(after.processActiveTime, before.processActiveTime + 24);  // the kernel's tick rounds
  EXPECT_LE(after.processActiveTime, ToTicks(std::clock()) + 6);
}

TEST_F(Processes, KeptEntryWhoseOwnerExitsIsDeadThoughAForkedChildHoldsIt) {
  // The helper registers, leaves a child holding its locked entry file, and
  // stays; it is seen alive and kept, then it is killed: the lock that lives
  // on in the child must not keep the entry alive.
  tw::test::Child helper({"processes_helper", "forkstay"});
  ASSERT_TRUE(tw::test::WaitFor([&] { return helper.Stdout().find('\n') != std::string::npos; }))
      << helper.Stderr();
  std::istringstream out(helper.Stdout());
  unsigned serial = 0;
  int grandchild = 0;
  ASSERT_TRUE(out >> serial >> grandchild);
  ProcessSerialNumber psn = {0, serial};
  LetTheListSettle();
  ASSERT_TRUE(Listed(psn));
  ProcessInfoRec info = EmptyInfo();
  ASSERT_EQ(GetProcessInformation(&psn, &info), noErr);
  helper.Signal(SIGKILL);
  helper.Wait(60.0);
  EXPECT_EQ(GetProcessInformation(&psn, &info), procNotFound);
  EXPECT_FALSE(Listed(psn));
  ::kill(grandchild, SIGKILL);
}

TEST_F(Processes, ForkedChildRegistersAsANewProcess) {
  ProcessSerialNumber parent = {0, 0};
  ASSERT_EQ(GetCurrentProcess(&parent), noErr);
  int pipefd[2];
  ASSERT_EQ(::pipe(pipefd), 0);
  pid_t child = ::fork();
  if (child == 0) {
    ProcessSerialNumber mine = {0, 0};
    UInt32 serial = GetCurrentProcess(&mine) == noErr ? mine.lowLongOfPSN : 0;
    if (::write(pipefd[1], &serial, sizeof serial) != sizeof serial) ::_exit(1);
    ::_exit(0);
  }
  ::close(pipefd[1]);
  UInt32 childSerial = 0;
  ASSERT_EQ(::read(pipefd[0], &childSerial, sizeof childSerial), static_cast<ssize_t>(sizeof childSerial));
  ::close(pipefd[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_GT(childSerial, parent.lowLongOfPSN);
  // The child's exit took only its own entry away.
  EXPECT_EQ(Walk(), std::vector<UInt32>{parent.lowLongOfPSN});
  ProcessSerialNumber again = {0, 0};
  ASSERT_EQ(GetCurrentProcess(&again), noErr);
  EXPECT_EQ(again.lowLongOfPSN, parent.lowLongOfPSN);
}

TEST_F(Processes, TakingAnIdentityRegistersAgainUnderANewSerial) {
  ProcessSerialNumber before = {0, 0};
  ASSERT_EQ(GetCurrentProcess(&before), noErr);
  ASSERT_EQ(SetFrontProcess(&before), noErr);
  int pipefd[2];
  ASSERT_EQ(::pipe(pipefd), 0);
  pid_t child = ::fork();
  if (child == 0) {
    // The child is a registered process (it inherited the parent's) and
    // becomes the Finder.
    UInt32 result[3] = {0, 0, 0};
    ProcessSerialNumber mine = {0, 0};
    if (GetCurrentProcess(&mine) == noErr) result[0] = mine.lowLongOfPSN;
    SetFrontProcess(&mine);
    MacProcessIdentity finder = {"Finder", 'FNDR', 'MACS', 0};
    if (MacProcessTakeIdentity(&finder) == noErr && GetCurrentProcess(&mine) == noErr) result[1] = mine.lowLongOfPSN;
    ProcessSerialNumber front = {0, 0};
    result[2] = GetFrontProcess(&front) == procNotFound ? 1 : 0;
    if (::write(pipefd[1], result, sizeof result) != sizeof result) ::_exit(1);
    for (;;) ::pause();
  }
  ::close(pipefd[1]);
  UInt32 result[3] = {0, 0, 0};
  ASSERT_EQ(::read(pipefd[0], result, sizeof result), static_cast<ssize_t>(sizeof result));
  ::close(pipefd[0]);
  EXPECT_GT(result[1], result[0]);
  EXPECT_EQ(result[2], 1u) << "the old serial was front and has left the list";
  ProcessSerialNumber old = {0, result[0]}, now = {0, result[1]};
  EXPECT_FALSE(Listed(old));
  ProcessInfoRec info = EmptyInfo();
  ASSERT_EQ(GetProcessInformation(&now, &info), noErr);
  EXPECT_EQ(info.processType, OSType('FNDR'));
  EXPECT_EQ(info.processSignature, OSType('MACS'));
  EXPECT_EQ(info.processLauncher.lowLongOfPSN, before.lowLongOfPSN);
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
}

TEST_F(Processes, FrontProcessIsTheLastOneMadeFrontWhileItLives) {
  ProcessSerialNumber front = {0, 0};
  EXPECT_EQ(GetFrontProcess(&front), procNotFound);

  ProcessDouble finder("Finder", 'FNDR', 'MACS', 0, /*front=*/true);
  ASSERT_TRUE(finder.ok());
  ASSERT_EQ(GetFrontProcess(&front), noErr);
  EXPECT_EQ(front.lowLongOfPSN, finder.psn().lowLongOfPSN);

  ProcessSerialNumber current = {0, kCurrentProcess}, me = {0, 0};
  ASSERT_EQ(SetFrontProcess(&current), noErr);
  ASSERT_EQ(GetCurrentProcess(&me), noErr);
  ASSERT_EQ(GetFrontProcess(&front), noErr);
  EXPECT_EQ(front.lowLongOfPSN, me.lowLongOfPSN);

  // On behalf of another process, as macctl does.
  ASSERT_EQ(SetFrontProcess(&finder.psn()), noErr);
  ASSERT_EQ(GetFrontProcess(&front), noErr);
  EXPECT_EQ(front.lowLongOfPSN, finder.psn().lowLongOfPSN);

  ProcessSerialNumber gone = finder.psn();
  finder.Crash();
  EXPECT_EQ(GetFrontProcess(&front), procNotFound);
  EXPECT_EQ(SetFrontProcess(&gone), procNotFound);
  EXPECT_EQ(GetFrontProcess(&front), procNotFound);
}

TEST_F(Processes, SameProcessComparesNumbersWithCurrentAsTheCaller) {
  ProcessSerialNumber me = {0, 0};
  ASSERT_EQ(GetCurrentProcess(&me), noErr);
  const ProcessSerialNumber current = {0, kCurrentProcess}, other = {0, me.lowLongOfPSN + 1000};
  struct Row {
    ProcessSerialNumber a, b;
    Boolean same;
  } rows[] = {
      {current, me, true}, {me, current, true}, {current, current, true},
      {me, me, true},      {me, other, false},  {current, other, false},
  };
  for (const Row& row : rows) {
    Boolean same = 0x55;
    ASSERT_EQ(SameProcess(&row.a, &row.b, &same), noErr);
    EXPECT_EQ(same, row.same) << row.a.lowLongOfPSN << " vs " << row.b.lowLongOfPSN;
  }
  Boolean same = 0;
  EXPECT_EQ(SameProcess(nullptr, &me, &same), paramErr);
  EXPECT_EQ(SameProcess(&me, nullptr, &same), paramErr);
  EXPECT_EQ(SameProcess(&me, &me, nullptr), paramErr);
}

TEST_F(Processes, BadArgumentsAndSerialsThatNameNoProcess) {
  ProcessSerialNumber me = {0, 0};
  ASSERT_EQ(GetCurrentProcess(&me), noErr);
  for (UInt32 length : {0u, 59u, 61u, 128u}) {
    ProcessInfoRec info = EmptyInfo();
    info.processInfoLength = length;
    EXPECT_EQ(GetProcessInformation(&me, &info), paramErr) << length;
  }
  ProcessInfoRec info = EmptyInfo();
  EXPECT_EQ(GetProcessInformation(nullptr, &info), paramErr);
  EXPECT_EQ(GetProcessInformation(&me, nullptr), paramErr);

  struct Row {
    ProcessSerialNumber psn;
    OSErr info;
  } rows[] = {
      {{0, kNoProcess}, procNotFound},
      {{0, kSystemProcess}, procNotFound},
      {{1, me.lowLongOfPSN}, procNotFound},
      {{0, me.lowLongOfPSN + 1000}, procNotFound},
  };
  for (const Row& row : rows) {
    ProcessInfoRec i = EmptyInfo();
    EXPECT_EQ(GetProcessInformation(&row.psn, &i), row.info) << row.psn.lowLongOfPSN;
    pid_t pid = 0;
    EXPECT_EQ(GetProcessPID(&row.psn, &pid), row.info);
    EXPECT_EQ(SetFrontProcess(&row.psn), row.info);
  }

  EXPECT_EQ(GetNextProcess(nullptr), paramErr);
  ProcessSerialNumber system = {0, kSystemProcess}, high = {7, 0};
  EXPECT_EQ(GetNextProcess(&system), paramErr);
  EXPECT_EQ(GetNextProcess(&high), paramErr);
  EXPECT_EQ(GetCurrentProcess(nullptr), paramErr);
  EXPECT_EQ(GetFrontProcess(nullptr), paramErr);
  EXPECT_EQ(SetFrontProcess(nullptr), paramErr);
  pid_t pid = 0;
  EXPECT_EQ(GetProcessPID(nullptr, &pid), paramErr);
  EXPECT_EQ(GetProcessPID(&me, nullptr), paramErr);
  ProcessSerialNumber psn = {0, 0};
  EXPECT_EQ(GetProcessForPID(::getpid(), nullptr), paramErr);
  EXPECT_EQ(GetProcessForPID(0, &psn), paramErr);
  EXPECT_EQ(GetProcessForPID(-1, &psn), paramErr);
  EXPECT_EQ(MacProcessTakeIdentity(nullptr), paramErr);
}

TEST_F(Processes, PidLookupFindsOtherProcessesWithoutRegisteringTheCaller) {
  ProcessDouble other("Other", 'APPL', 'othr');
  ASSERT_TRUE(other.ok());
  ProcessSerialNumber psn = {0, 0};
  ASSERT_EQ(GetProcessForPID(other.pid(), &psn), noErr);
  EXPECT_EQ(psn.lowLongOfPSN, other.psn().lowLongOfPSN);
  EXPECT_EQ(GetProcessForPID(other.pid() + 100000, &psn), procNotFound);
  EXPECT_EQ(Walk(), std::vector<UInt32>{other.psn().lowLongOfPSN});

  macplatform::processes::Entry entry;
  ASSERT_EQ(macplatform::processes::FindByName("Other", &entry), noErr);
  EXPECT_EQ(entry.pid, other.pid());
  ASSERT_EQ(macplatform::processes::FindByCreator('othr', &entry), noErr);
  EXPECT_EQ(entry.serial, other.psn().lowLongOfPSN);
  EXPECT_TRUE(macplatform::processes::IsAlive(entry));
  EXPECT_EQ(macplatform::processes::FindByName("Nobody", &entry), procNotFound);
  EXPECT_EQ(Walk(), std::vector<UInt32>{other.psn().lowLongOfPSN});
  other.Crash();
  EXPECT_FALSE(macplatform::processes::IsAlive(entry));
}

}  // namespace
