// The process list's files: the entry parser, damaged and stale entries,
// files and folders of other owners, the counter and front files, and
// failing system calls during registration.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/core/RuntimeDir.h"
#include "platform/core/SysCalls.h"
#include "platform/processes/ProcessRegistry.h"
#include "platform/processes/Processes.h"
#include "platform/processes/tests/ProcessDouble.h"
#include "testing/TestSupport.h"

namespace {

namespace mp = macplatform::processes;
using tw::test::ProcessDouble;

mp::Entry SampleEntry() {
  mp::Entry e;
  e.serial = 5000;
  e.pid = 1234;
  e.startTime = 987654;
  e.launcher = 4096;
  e.type = 'FNDR';
  e.creator = 'MACS';
  e.mode = modeOnlyBackground;
  e.name = "Finder";
  e.exe = "/usr/bin/finderd";
  return e;
}

bool Parses(const std::string& text) {
  mp::Entry e;
  return mp::ParseEntry(text.data(), text.size(), &e);
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

TEST(EntryFormat, FormatThenParseGivesTheEntryBack) {
  mp::Entry in = SampleEntry();
  std::string text = mp::FormatEntry(in);
  mp::Entry out;
  ASSERT_TRUE(mp::ParseEntry(text.data(), text.size(), &out)) << text;
  EXPECT_EQ(out.serial, in.serial);
  EXPECT_EQ(out.pid, in.pid);
  EXPECT_EQ(out.startTime, in.startTime);
  EXPECT_EQ(out.launcher, in.launcher);
  EXPECT_EQ(out.type, in.type);
  EXPECT_EQ(out.creator, in.creator);
  EXPECT_EQ(out.mode, in.mode);
  EXPECT_EQ(out.name, in.name);
  EXPECT_EQ(out.exe, in.exe);
  EXPECT_FALSE(out.alive);
}

TEST(EntryFormat, DamagedTextIsRefused) {
  const std::string good = mp::FormatEntry(SampleEntry());
  struct Row {
    const char* why;
    std::string text;
    bool ok;
  } rows[] = {
      {"as written", good, true},
      {"a later version's extra field", good + "colour=blue\n", true},
      {"empty", "", false},
      {"cut short", good.substr(0, good.size() - 3), false},
      {"no final newline", good.substr(0, good.size() - 1), false},
      {"header only", "macplatform-process 1\n", false},
      {"other header", Replace(good, "macplatform-process 1", "macplatform-process 2"), false},
      {"pid not a number", Replace(good, "pid=1234", "pid=12a4"), false},
      {"pid zero", Replace(good, "pid=1234", "pid=0"), false},
      {"pid negative", Replace(good, "pid=1234", "pid=-5"), false},
      {"pid too large", Replace(good, "pid=1234", "pid=99999999999"), false},
      {"serial kCurrentProcess", Replace(good, "serial=5000", "serial=2"), false},
      {"serial above 32 bits", Replace(good, "serial=5000", "serial=4294967296"), false},
      {"start overflows", Replace(good, "start=987654", "start=99999999999999999999"), false},
      {"empty start", Replace(good, "start=987654", "start="), false},
      {"short type", Replace(good, "type=464E4452", "type=464E44"), false},
      {"type not hex", Replace(good, "type=464E4452", "type=FNDRFNDR"), false},
      {"field twice", good + "pid=1234\n", false},
      {"field missing", Replace(good, "mode=00000400\n", ""), false},
      {"line without =", Replace(good, "name=Finder", "nameFinder"), false},
      {"name too long", Replace(good, "name=Finder", "name=" + std::string(32, 'x')), false},
      {"control character in name", Replace(good, "name=Finder", "name=Fin\tder"), false},
      {"relative exe", Replace(good, "exe=/usr/bin/finderd", "exe=finderd"), false},
      {"NUL byte", Replace(good, "Finder", std::string("Fin\0er", 6)), false},
      {"huge", good + std::string(9000, 'x') + "\n", false},
  };
  for (const Row& row : rows) EXPECT_EQ(Parses(row.text), row.ok) << row.why;
  mp::Entry e;
  EXPECT_FALSE(mp::ParseEntry(nullptr, 10, &e));
  EXPECT_FALSE(mp::ParseEntry(good.data(), good.size(), nullptr));
}

TEST(EntryFormat, ProcStatFieldsAfterTheLastParenthesis) {
  // Fields from STATE on: utime is the 12th, stime the 13th, starttime the 20th.
  std::string stat = "42 (a (b) c) S 1 2 3 4 5 6 7 8 9 10 11 22 0 0 20 0 1 0 777 1000 10\n";
  UInt64 start = 0, cpu = 0;
  ASSERT_TRUE(mp::ParseProcStat(stat, &start, &cpu));
  EXPECT_EQ(start, 777u);
  EXPECT_EQ(cpu, 33u);
  for (const char* bad : {"", "42 (x", "42 (x)", "42 (x) S 1 2", "42 (x)S 1 2 3 4 5 6 7 8 9 11 22 0 0 20 0 1 0 777",
                          "42 (x) S 1 2 3 4 5 6 7 8 9 10 1x 22 0 0 20 0 1 0 777 1"}) {
    EXPECT_FALSE(mp::ParseProcStat(bad, &start, &cpu)) << bad;
  }
}

class Registry : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(macplatform::RuntimeSubdir("processes", &dir_), noErr); }
  void TearDown() override { macplatform::sys::ClearFaults(); }
  std::string Path(UInt32 serial) const { return dir_ + "/" + std::to_string(serial); }
  bool Exists(const std::string& path) const {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
  }
  void Write(UInt32 serial, const std::string& text) {
    tw::test::WriteFile(Path(serial), text);
    ::chmod(Path(serial).c_str(), 0600);
  }
  std::vector<UInt32> Listed() {
    std::vector<mp::Entry> entries;
    EXPECT_EQ(mp::List(&entries), noErr);
    std::vector<UInt32> serials;
    for (auto& e : entries) serials.push_back(e.serial);
    return serials;
  }
  // An entry that looks right in every field for this very process.
  mp::Entry Mine(UInt32 serial) {
    mp::Entry e;
    e.serial = serial;
    e.pid = ::getpid();
    EXPECT_TRUE(mp::ReadProcStat(e.pid, &e.startTime, nullptr));
    e.type = 'APPL';
    e.creator = 'fake';
    e.name = "Fake";
    return e;
  }

  tw::test::PrivateEnvironment env_;
  std::string dir_;
};

TEST_F(Registry, GarbageEntriesAreSkippedAndKeptAside) {
  ProcessDouble live("Live", 'APPL', 'live');
  ASSERT_TRUE(live.ok());
  const std::string good = mp::FormatEntry(Mine(5000));
  const std::string garbage[] = {
      "",
      good.substr(0, good.size() / 2),
      Replace(good, "pid=", "pid=x"),
      Replace(good, "serial=5000", "serial=5999"),  // not the file's own number
      std::string("\xff\xfe\0\x01 binary", 12),
  };
  UInt32 serial = 5000;
  for (const std::string& text : garbage) Write(serial++, text);
  EXPECT_EQ(Listed(), std::vector<UInt32>{live.psn().lowLongOfPSN});
  for (UInt32 s = 5000; s < serial; ++s) {
    EXPECT_FALSE(Exists(Path(s))) << s;
    EXPECT_TRUE(Exists(Path(s) + ".corrupt")) << s;
  }
  // A file too big to be an entry is left where it is.
  Write(6000, std::string(20000, 'x'));
  EXPECT_EQ(Listed(), std::vector<UInt32>{live.psn().lowLongOfPSN});
  EXPECT_TRUE(Exists(Path(6000)));
}

TEST_F(Registry, StaleEntriesAreSkippedAndRemoved) {
  // A well-formed entry of a process that has ended.
  pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  int status = 0;
  ::waitpid(child, &status, 0);
  mp::Entry dead = Mine(5000);
  dead.pid = child;
  Write(5000, mp::FormatEntry(dead));
  // This very process, but nobody holds the file: its owner has gone and the
  // pid is only a coincidence.
  Write(5001, mp::FormatEntry(Mine(5001)));
  // This process's pid with another start time: the pid was reused.
  mp::Entry reused = Mine(5002);
  reused.startTime += 1;
  Write(5002, mp::FormatEntry(reused));

  EXPECT_TRUE(Listed().empty());
  for (UInt32 s : {5000u, 5001u, 5002u}) EXPECT_FALSE(Exists(Path(s))) << s;
  ProcessSerialNumber psn = {0, 5001};
  ProcessInfoRec info;
  std::memset(&info, 0, sizeof info);
  info.processInfoLength = 60;
  EXPECT_EQ(GetProcessInformation(&psn, &info), procNotFound);
}

TEST_F(Registry, LinksFoldersAndFilesOfAnotherOwnerAreLeftAlone) {
  ProcessDouble live("Live", 'APPL', 'live');
  ASSERT_TRUE(live.ok());
  std::string target = Path(live.psn().lowLongOfPSN);
  ASSERT_EQ(::symlink(target.c_str(), Path(7000).c_str()), 0);
  ASSERT_EQ(::mkdir(Path(7001).c_str(), 0700), 0);
  ASSERT_EQ(::mkfifo(Path(7002).c_str(), 0600), 0);
  Write(7003, mp::FormatEntry(Mine(7003)));
  ::chmod(Path(7003).c_str(), 0666);  // others may write it
  if (::geteuid() == 0) {
    Write(7004, mp::FormatEntry(Mine(7004)));
    ASSERT_EQ(::chown(Path(7004).c_str(), 65534, 65534), 0);
  }
  EXPECT_EQ(Listed(), std::vector<UInt32>{live.psn().lowLongOfPSN});
  for (UInt32 s : {7000u, 7001u, 7002u, 7003u}) EXPECT_TRUE(Exists(Path(s))) << s;
  if (::geteuid() == 0) {
    EXPECT_TRUE(Exists(Path(7004)));
  }
}

TEST_F(Registry, RuntimeFolderOfAnotherOwnerIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a folder away";
  ProcessDouble live("Live", 'APPL', 'live');
  ASSERT_TRUE(live.ok());
  ASSERT_EQ(Listed(), std::vector<UInt32>{live.psn().lowLongOfPSN});  // kept and watched from here on
  ASSERT_EQ(::chown(dir_.c_str(), 65534, 65534), 0);
  ProcessSerialNumber psn = {0, kNoProcess};
  EXPECT_EQ(GetNextProcess(&psn), afpAccessDenied);
  EXPECT_EQ(GetCurrentProcess(&psn), afpAccessDenied);
  EXPECT_EQ(GetFrontProcess(&psn), afpAccessDenied);
  ASSERT_EQ(::chown(dir_.c_str(), 0, 0), 0);

  std::string base = env_.runtime() + "/macplatform";
  ASSERT_EQ(::chown(base.c_str(), 65534, 65534), 0);
  EXPECT_EQ(GetCurrentProcess(&psn), afpAccessDenied);
  ASSERT_EQ(::chown(base.c_str(), 0, 0), 0);
  EXPECT_EQ(GetCurrentProcess(&psn), noErr);
}

TEST_F(Registry, DamagedOrLostCounterNeverHandsOutAVisibleSerialAgain) {
  ProcessDouble first("First", 'APPL', 'frst');
  ASSERT_TRUE(first.ok());
  tw::test::WriteFile(dir_ + "/counter", "not a number\n");
  ProcessDouble second("Second", 'APPL', 'scnd');
  ASSERT_TRUE(second.ok());
  EXPECT_GT(second.psn().lowLongOfPSN, first.psn().lowLongOfPSN);
  EXPECT_EQ(tw::test::ReadFile(dir_ + "/counter.corrupt"), "not a number\n");

  ASSERT_EQ(::unlink((dir_ + "/counter").c_str()), 0);
  ProcessDouble third("Third", 'APPL', 'thrd');
  ASSERT_TRUE(third.ok());
  EXPECT_GT(third.psn().lowLongOfPSN, second.psn().lowLongOfPSN);
}

TEST_F(Registry, DamagedFrontFileMeansNoFrontAndIsKeptAside) {
  ProcessDouble live("Live", 'APPL', 'live');
  ASSERT_TRUE(live.ok());
  for (const char* text : {"", "abc\n", "5000", "99999999999\n", "2\n"}) {
    tw::test::WriteFile(dir_ + "/front", text);
    ProcessSerialNumber front = {0, 0};
    EXPECT_EQ(GetFrontProcess(&front), procNotFound) << text;
  }
  ASSERT_EQ(SetFrontProcess(&live.psn()), noErr);
  EXPECT_EQ(tw::test::ReadFile(dir_ + "/front.corrupt"), "2\n");
  ProcessSerialNumber front = {0, 0};
  ASSERT_EQ(GetFrontProcess(&front), noErr);
  EXPECT_EQ(front.lowLongOfPSN, live.psn().lowLongOfPSN);
}

TEST_F(Registry, FailedRegistrationLeavesNothingBehindAndCanBeRetried) {
  using macplatform::sys::Call;
  struct Row {
    Call call;
    int error;
    OSErr expected;
  } rows[] = {
      {Call::Rename, EIO, ioErr},
      {Call::Fsync, ENOSPC, dskFulErr},
      {Call::Flock, ENOLCK, ioErr},
      {Call::Open, EMFILE, ioErr},  // /proc/self/stat cannot be read
  };
  for (const Row& row : rows) {
    // Past the runtime folder's own calls: the first matching call of the
    // registration itself fails.
    macplatform::sys::FailCall(row.call, row.error, 0, /*persistent=*/true);
    ProcessSerialNumber psn = {0, 0};
    EXPECT_EQ(GetCurrentProcess(&psn), row.expected) << static_cast<int>(row.call);
    macplatform::sys::ClearFaults();
    EXPECT_TRUE(Listed().empty());
    std::vector<std::string> leftovers;
    for (const char* name : {".new-", ".tmp."}) {
      std::string out;
      tw::test::Run({"/bin/sh", "-c", std::string("ls -a '") + dir_ + "' | grep -F -- '" + name + "'"}, &out);
      if (!out.empty()) leftovers.push_back(out);
    }
    EXPECT_TRUE(leftovers.empty()) << leftovers.front();
  }
  ProcessSerialNumber psn = {0, 0};
  ASSERT_EQ(GetCurrentProcess(&psn), noErr);
  EXPECT_EQ(Listed(), std::vector<UInt32>{psn.lowLongOfPSN});
}

}  // namespace
