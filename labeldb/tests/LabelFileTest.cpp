// Per-file labels: the three bits of finderFlags, the date switch and its
// retry, unreadable items, read-only volumes.
#include <grp.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>

#include "labeldb/LabelDB.h"
#include "platform/core/SysCalls.h"
#include "testing/TestSupport.h"

using namespace macplatform;
using tw::test::ScratchDir;

namespace {

const char* kAttr = "user.com.apple.FinderInfo";

FSRef RefOf(const std::string& path) {
  FSRef ref;
  EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), &ref, nullptr), noErr) << path;
  return ref;
}

std::string Attr(const std::string& path) {
  char buf[64];
  ssize_t n = ::getxattr(path.c_str(), kAttr, buf, sizeof buf);
  return n < 0 ? "absent" : std::string(buf, n);
}

// 32 bytes of Finder information with every bit of finderFlags set except
// the label bits, plus recognisable bytes around them.
std::string BusyInfo(UInt16 flags) {
  std::string s(32, '\0');
  for (int i = 0; i < 32; ++i) s[i] = static_cast<char>(0xA0 + i);
  s[8] = static_cast<char>(flags >> 8);
  s[9] = static_cast<char>(flags);
  return s;
}

UInt16 FlagsOf(const std::string& attr) {
  if (attr == "absent") return 0;
  EXPECT_EQ(attr.size(), 32u);
  if (attr.size() != 32) return 0xFFFF;
  return static_cast<UInt16>((UInt8(attr[8]) << 8) | UInt8(attr[9]));
}

// Everything but bytes 8-9 is as in `expected`.
void ExpectOnlyFlagsDiffer(const std::string& attr, const std::string& expected) {
  ASSERT_EQ(attr.size(), 32u);
  for (size_t i = 0; i < 32; ++i) {
    if (i != 8 && i != 9) {
      EXPECT_EQ(attr[i], expected[i]) << "byte " << i;
    }
  }
}

struct SwitchOn {
  SwitchOn() { gAffectFileModDate = true; }
  ~SwitchOn() { gAffectFileModDate = false; }
};

void Expect(std::string* report, const char* what, long got, long want) {
  if (got != want) *report += std::string(what) + ": got " + std::to_string(got) + ", want " + std::to_string(want) + "; ";
}

}  // namespace

TEST(LabelFile, SetAndGetKeepEveryOtherBitOnFileAndFolder) {
  ScratchDir dir;
  tw::test::WriteFile(dir / "file", "x");
  ASSERT_EQ(::mkdir((dir / "folder").c_str(), 0755), 0);
  TWdb_Initialize();
  for (std::string path : {dir / "file", dir / "folder"}) {
    for (UInt16 others : {UInt16(0xFFF1), UInt16(0x0000), UInt16(kIsAlias | kHasCustomIcon | kIsOnDesk)}) {
      SCOPED_TRACE(path + " flags " + std::to_string(others));
      std::string start = BusyInfo(static_cast<UInt16>(others | 0x0006));  // label 3
      ASSERT_EQ(::setxattr(path.c_str(), kAttr, start.data(), start.size(), 0), 0);
      FSRef ref = RefOf(path);
      EXPECT_EQ(TWdb_GetLabel(&ref), 3);
      for (SInt16 label : {0, 7, 5}) {
        ASSERT_EQ(TWdb_SetLabel(&ref, label), noErr);
        EXPECT_EQ(TWdb_GetLabel(&ref), label);
        std::string attr = Attr(path);
        EXPECT_EQ(FlagsOf(attr), static_cast<UInt16>((others & ~kColor) | (label << 1)));
        ExpectOnlyFlagsDiffer(attr, start);
      }
    }
  }
}

TEST(LabelFile, OnlyTheLowThreeBitsAreStored) {
  ScratchDir dir;
  tw::test::WriteFile(dir / "f", "x");
  FSRef ref = RefOf(dir / "f");
  struct {
    SInt16 given, stored;
  } rows[] = {{9, 1}, {-1, 7}, {8, 0}, {15, 7}, {-8, 0}, {0x7FFF, 7}};
  for (auto row : rows) {
    ASSERT_EQ(TWdb_SetLabel(&ref, row.given), noErr);
    EXPECT_EQ(TWdb_GetLabel(&ref), row.stored) << row.given;
    EXPECT_EQ(FlagsOf(Attr(dir / "f")) & ~kColor, 0);
  }
  // Label 0 on an item with no other information leaves no attribute.
  ASSERT_EQ(TWdb_SetLabel(&ref, 0), noErr);
  EXPECT_EQ(Attr(dir / "f"), "absent");
}

TEST(LabelFile, VanishedItemReadsZeroAndIsNotWritten) {
  ScratchDir dir;
  tw::test::WriteFile(dir / "f", "x");
  FSRef ref = RefOf(dir / "f");
  ASSERT_EQ(TWdb_SetLabel(&ref, 4), noErr);
  ASSERT_EQ(::unlink((dir / "f").c_str()), 0);
  EXPECT_EQ(TWdb_GetLabel(&ref), 0);
  EXPECT_EQ(TWdb_SetLabel(&ref, 2), fnfErr);
  tw::test::WriteFile(dir / "f", "x");  // another file of the same name
  EXPECT_EQ(TWdb_SetLabel(&ref, 2), fnfErr);
  EXPECT_EQ(Attr(dir / "f"), "absent");
  FSRef garbage{};
  EXPECT_EQ(TWdb_GetLabel(&garbage), 0);
  EXPECT_NE(TWdb_SetLabel(&garbage, 2), noErr);
}

TEST(LabelFile, SwitchOffWritesOnceWithTheFinderInfoAlone) {
  ScratchDir dir;
  tw::test::WriteFile(dir / "f", "x");
  struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "f").c_str(), old, 0), 0);
  FSRef ref = RefOf(dir / "f");
  ASSERT_FALSE(gAffectFileModDate);
  unsigned long dates = sys::CallCount(sys::Call::Futimens) + sys::CallCount(sys::Call::Utimensat);
  unsigned long writes = sys::CallCount(sys::Call::Fsetxattr) + sys::CallCount(sys::Call::Setxattr);
  ASSERT_EQ(TWdb_SetLabel(&ref, 6), noErr);
  EXPECT_EQ(sys::CallCount(sys::Call::Futimens) + sys::CallCount(sys::Call::Utimensat), dates);
  EXPECT_EQ(sys::CallCount(sys::Call::Fsetxattr) + sys::CallCount(sys::Call::Setxattr), writes + 1);
  struct stat st;
  ASSERT_EQ(::stat((dir / "f").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
}

TEST(LabelFile, SwitchOnStampsTheModificationDate) {
  ScratchDir dir;
  tw::test::WriteFile(dir / "f", "x");
  struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "f").c_str(), old, 0), 0);
  FSRef ref = RefOf(dir / "f");
  SwitchOn on;
  ASSERT_EQ(TWdb_SetLabel(&ref, 2), noErr);
  EXPECT_EQ(TWdb_GetLabel(&ref), 2);
  struct stat st;
  ASSERT_EQ(::stat((dir / "f").c_str(), &st), 0);
  EXPECT_LE(std::abs(st.st_mtim.tv_sec - ::time(nullptr)), 5);
}

TEST(LabelFile, SwitchOnRetriesWithoutTheDateOnlyAfterAccessDenied) {
  ScratchDir dir;
  tw::test::WriteFile(dir / "f", "x");
  FSRef ref = RefOf(dir / "f");
  SwitchOn on;
  // A date refused with -5000: the label still gets written, result 0.
  sys::FailCall(sys::Call::Futimens, EPERM);
  sys::FailCall(sys::Call::Utimensat, EPERM);
  EXPECT_EQ(TWdb_SetLabel(&ref, 5), noErr);
  sys::ClearFaults();
  EXPECT_EQ(TWdb_GetLabel(&ref), 5);
  // Any other error of the first write is returned without a retry.
  unsigned long writes = sys::CallCount(sys::Call::Fsetxattr) + sys::CallCount(sys::Call::Setxattr);
  sys::FailCall(sys::Call::Futimens, EIO);
  sys::FailCall(sys::Call::Utimensat, EIO);
  EXPECT_EQ(TWdb_SetLabel(&ref, 1), ioErr);
  sys::ClearFaults();
  EXPECT_EQ(sys::CallCount(sys::Call::Fsetxattr) + sys::CallCount(sys::Call::Setxattr), writes);
  EXPECT_EQ(TWdb_GetLabel(&ref), 5);
}

TEST(LabelFile, DamagedFinderInfoReadsZeroAndIsNotOverwritten) {
  ScratchDir dir;
  tw::test::WriteFile(dir / "f", "x");
  std::string odd(20, '\x0E');
  ASSERT_EQ(::setxattr((dir / "f").c_str(), kAttr, odd.data(), odd.size(), 0), 0);
  FSRef ref = RefOf(dir / "f");
  EXPECT_EQ(TWdb_GetLabel(&ref), 0);
  EXPECT_EQ(TWdb_SetLabel(&ref, 3), ioErr);
  EXPECT_EQ(Attr(dir / "f"), odd);
}

// Root only: a group member who may write the attributes of another user's
// file, but not set its date.
TEST(LabelFile, DateRefusedByOwnershipStillWritesTheLabel) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  ScratchDir dir;
  std::string path = dir / "shared";
  tw::test::WriteFile(path, "x");
  std::string start = BusyInfo(0xFFF1);
  ASSERT_EQ(::setxattr(path.c_str(), kAttr, start.data(), start.size(), 0), 0);
  ASSERT_EQ(::chown(path.c_str(), 4242, 4343), 0);
  ASSERT_EQ(::chmod(path.c_str(), 0664), 0);
  struct stat before;
  ASSERT_EQ(::stat(path.c_str(), &before), 0);
  std::string report = tw::test::InChild([&] {
    gid_t groups[] = {4343};
    if (::setgroups(1, groups) != 0 || ::setresgid(4343, 4343, 4343) != 0 || ::setresuid(5555, 5555, 5555) != 0)
      return std::string("cannot change user");
    std::string r;
    gAffectFileModDate = true;
    FSRef ref = RefOf(path);
    Expect(&r, "set", TWdb_SetLabel(&ref, 6), noErr);
    Expect(&r, "get", TWdb_GetLabel(&ref), 6);
    return r;
  });
  EXPECT_EQ(report, "");
  std::string attr = Attr(path);
  EXPECT_EQ(FlagsOf(attr), 0xFFF1 | 0x000C);
  ExpectOnlyFlagsDiffer(attr, start);
  struct stat after;
  ASSERT_EQ(::stat(path.c_str(), &after), 0);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
}

// Root only: a folder bind-mounted read-only in a private mount namespace.
TEST(LabelFile, ReadOnlyVolumeReadsButRefusesWrites) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to mount";
  ScratchDir dir;
  ASSERT_EQ(::mkdir((dir / "vol").c_str(), 0755), 0);
  std::string path = dir / "vol/f";
  tw::test::WriteFile(path, "x");
  std::string start = BusyInfo(0x0008);  // label 4
  ASSERT_EQ(::setxattr(path.c_str(), kAttr, start.data(), start.size(), 0), 0);
  std::string report = tw::test::InChild([&] {
    std::string vol = dir / "vol";
    if (::unshare(CLONE_NEWNS) != 0) return std::string("SKIP unshare: ") + std::strerror(errno);
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount(vol.c_str(), vol.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
        ::mount(nullptr, vol.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0)
      return std::string("SKIP mount: ") + std::strerror(errno);
    std::string r;
    FSRef ref = RefOf(path);
    FSCatalogInfo info{};
    Expect(&r, "catalog read", FSGetCatalogInfo(&ref, kFSCatInfoFinderInfo, &info, nullptr, nullptr, nullptr), noErr);
    Expect(&r, "catalog write", FSSetCatalogInfo(&ref, kFSCatInfoFinderInfo, &info), wPrErr);
    Expect(&r, "get", TWdb_GetLabel(&ref), 4);
    Expect(&r, "set", TWdb_SetLabel(&ref, 1), wPrErr);
    gAffectFileModDate = true;
    Expect(&r, "set with date", TWdb_SetLabel(&ref, 1), wPrErr);
    return r;
  });
  if (report.rfind("SKIP", 0) == 0) GTEST_SKIP() << report;
  EXPECT_EQ(report, "");
  EXPECT_EQ(Attr(path), start);
}
