// What other users and read-only volumes may and may not do. These run as
// root: a forked child becomes another user, or mounts a folder read-only in
// a private mount namespace. Without root they are skipped.
#include <fcntl.h>
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

#include "platform/files/Files.h"
#include "testing/TestSupport.h"

using tw::test::ScratchDir;

namespace {

const char* kAttr = "user.com.apple.FinderInfo";
constexpr uid_t kOwner = 4242;
constexpr gid_t kGroup = 4343;
constexpr uid_t kMember = 5555;  // another user in kGroup

std::string BecomeGroupMember() {
  gid_t groups[] = {kGroup};
  if (::setgroups(1, groups) != 0 || ::setresgid(kGroup, kGroup, kGroup) != 0 ||
      ::setresuid(kMember, kMember, kMember) != 0)
    return std::string("cannot change user: ") + std::strerror(errno);
  return "";
}

FSRef RefOf(const std::string& path, std::string* report) {
  FSRef ref{};
  OSStatus err = FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), &ref, nullptr);
  if (err != noErr) *report += "FSPathMakeRef " + std::to_string(err) + "; ";
  return ref;
}

std::string Attr(const std::string& path) {
  char buf[64];
  ssize_t n = ::getxattr(path.c_str(), kAttr, buf, sizeof buf);
  return n < 0 ? "absent" : std::string(buf, n);
}

void Expect(std::string* report, const char* what, long got, long want) {
  if (got != want) *report += std::string(what) + ": got " + std::to_string(got) + ", want " + std::to_string(want) + "; ";
}

// A file of kOwner:kGroup with the given mode and a Finder information
// attribute holding label 2 at bytes 8-9.
std::string MakeForeignFile(const ScratchDir& dir, const std::string& name, mode_t mode) {
  std::string path = dir / name;
  tw::test::WriteFile(path, "data");
  std::string info(32, '\0');
  info[9] = 0x04;
  info[20] = 0x33;
  EXPECT_EQ(::setxattr(path.c_str(), kAttr, info.data(), info.size(), 0), 0);
  EXPECT_EQ(::chown(path.c_str(), kOwner, kGroup), 0);
  EXPECT_EQ(::chmod(path.c_str(), mode), 0);
  return path;
}

}  // namespace

TEST(Privileges, GroupMemberMayWriteTheFinderInfoButNotTheDateOfAnotherOwnersFile) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as other users";
  ScratchDir dir;
  std::string path = MakeForeignFile(dir, "shared", 0664);
  struct stat before;
  ASSERT_EQ(::stat(path.c_str(), &before), 0);
  std::string report = tw::test::InChild([&] {
    std::string r = BecomeGroupMember();
    if (!r.empty()) return r;
    FSRef ref = RefOf(path, &r);
    FSCatalogInfo info{};
    Expect(&r, "read", FSGetCatalogInfo(&ref, kFSCatInfoFinderInfo, &info, nullptr, nullptr, nullptr), noErr);
    info.finderInfo[9] = 0x0C;
    GetUTCDateTime(&info.contentModDate, kUTCDefaultOptions);
    Expect(&r, "write with date", FSSetCatalogInfo(&ref, kFSCatInfoFinderInfo | kFSCatInfoContentMod, &info),
           afpAccessDenied);
    Expect(&r, "label after refused date", static_cast<UInt8>(Attr(path)[9]), 0x04);
    Expect(&r, "write alone", FSSetCatalogInfo(&ref, kFSCatInfoFinderInfo, &info), noErr);
    return r;
  });
  EXPECT_EQ(report, "");
  std::string attr = Attr(path);
  ASSERT_EQ(attr.size(), 32u);
  EXPECT_EQ(attr[9], 0x0C);
  EXPECT_EQ(attr[20], 0x33);
  struct stat after;
  ASSERT_EQ(::stat(path.c_str(), &after), 0);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
}

TEST(Privileges, UserWithoutWritePermissionIsRefusedEvenForZeros) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as other users";
  ScratchDir dir;
  std::string path = MakeForeignFile(dir, "private", 0644);
  std::string bare = dir / "bare";
  tw::test::WriteFile(bare, "x");
  ASSERT_EQ(::chown(bare.c_str(), kOwner, kGroup), 0);
  ASSERT_EQ(::chmod(bare.c_str(), 0644), 0);
  std::string report = tw::test::InChild([&] {
    std::string r = BecomeGroupMember();
    if (!r.empty()) return r;
    FSRef ref = RefOf(path, &r);
    FSCatalogInfo info{};
    Expect(&r, "read", FSGetCatalogInfo(&ref, kFSCatInfoFinderInfo, &info, nullptr, nullptr, nullptr), noErr);
    Expect(&r, "write back", FSSetCatalogInfo(&ref, kFSCatInfoFinderInfo, &info), afpAccessDenied);
    // No attribute and zeros written back: still a write, still refused.
    FSRef bareRef = RefOf(bare, &r);
    FSCatalogInfo zeros{};
    Expect(&r, "zeros", FSSetCatalogInfo(&bareRef, kFSCatInfoFinderInfo, &zeros), afpAccessDenied);
    return r;
  });
  EXPECT_EQ(report, "");
}

TEST(Privileges, ReadOnlyVolumeGivesTheWriteProtectionCode) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to mount";
  ScratchDir dir;
  ASSERT_EQ(::mkdir((dir / "vol").c_str(), 0755), 0);
  std::string path = dir / "vol/f";
  tw::test::WriteFile(path, "x");
  std::string info(32, '\0');
  info[9] = 0x06;
  ASSERT_EQ(::setxattr(path.c_str(), kAttr, info.data(), info.size(), 0), 0);
  std::string report = tw::test::InChild([&] {
    std::string vol = dir / "vol";
    if (::unshare(CLONE_NEWNS) != 0) return std::string("SKIP unshare: ") + std::strerror(errno);
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount(vol.c_str(), vol.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
        ::mount(nullptr, vol.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0)
      return std::string("SKIP mount: ") + std::strerror(errno);
    std::string r;
    FSRef ref = RefOf(path, &r);
    FSCatalogInfo ci{};
    Expect(&r, "read", FSGetCatalogInfo(&ref, kFSCatInfoFinderInfo, &ci, nullptr, nullptr, nullptr), noErr);
    Expect(&r, "label bits", ci.finderInfo[9], 0x06);
    Expect(&r, "write", FSSetCatalogInfo(&ref, kFSCatInfoFinderInfo, &ci), wPrErr);
    Expect(&r, "write with date", FSSetCatalogInfo(&ref, kFSCatInfoFinderInfo | kFSCatInfoContentMod, &ci), wPrErr);
    FSCatalogInfo zeros{};
    Expect(&r, "zeros", FSSetCatalogInfo(&ref, kFSCatInfoFinderInfo, &zeros), wPrErr);
    return r;
  });
  if (report.rfind("SKIP", 0) == 0) GTEST_SKIP() << report;
  EXPECT_EQ(report, "");
  EXPECT_EQ(Attr(path), info);
}
