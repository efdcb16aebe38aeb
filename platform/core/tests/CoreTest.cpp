// Four-character codes, the errno table and the system-call seam.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "platform/core/Errno.h"
#include "platform/core/MacTypes.h"
#include "platform/core/RuntimeDir.h"
#include "platform/core/SysCalls.h"
#include "testing/TestSupport.h"

using namespace macplatform;

TEST(FourCharCode, MultiCharacterLiteralIsBigEndianText) {
  EXPECT_EQ(static_cast<OSType>('core'), 0x636F7265u);
  EXPECT_EQ(static_cast<OSType>('xyu!'), 0x78797521u);
  EXPECT_EQ(MacFourCC("MACS"), static_cast<OSType>('MACS'));
}

TEST(ErrnoTable, EveryRowMapsAsListedAndNothingMapsToSuccess) {
  size_t count = 0;
  const ErrnoRow* rows = ErrnoTable(&count);
  ASSERT_GT(count, 0u);
  for (size_t i = 0; i < count; ++i) {
    SCOPED_TRACE(rows[i].why);
    EXPECT_EQ(OSErrFromErrno(rows[i].error), rows[i].result);
    EXPECT_NE(rows[i].result, noErr);
  }
  EXPECT_EQ(OSErrFromErrno(0), noErr);
  EXPECT_EQ(OSErrFromErrno(ENOENT), fnfErr);
  EXPECT_EQ(OSErrFromErrno(EACCES), afpAccessDenied);
  EXPECT_EQ(OSErrFromErrno(EROFS), wPrErr);
  EXPECT_EQ(OSErrFromErrno(EHOSTDOWN), ioErr);  // no row: an error all the same
}

TEST(SysCalls, InjectedFaultFiresAfterTheGivenCountOnce) {
  tw::test::ScratchDir dir;
  std::string path = dir / "f";
  sys::FailCall(sys::Call::Open, EACCES, 1);
  int fd = sys::Open(path.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  sys::Close(fd);
  errno = 0;
  EXPECT_EQ(sys::Open(path.c_str(), O_RDONLY), -1);
  EXPECT_EQ(errno, EACCES);
  fd = sys::Open(path.c_str(), O_RDONLY);
  EXPECT_GE(fd, 0);
  sys::Close(fd);
  sys::ClearFaults();
}

TEST(SysCalls, PersistentFaultKeepsFailingUntilCleared) {
  sys::FailCall(sys::Call::Stat, EIO, 0, true);
  struct stat st;
  EXPECT_EQ(sys::Stat("/", &st), -1);
  EXPECT_EQ(sys::Stat("/", &st), -1);
  sys::ClearFaults();
  EXPECT_EQ(sys::Stat("/", &st), 0);
}

TEST(SysCalls, AtomicWriteLeavesOldContentsWhenTheRenameFails) {
  tw::test::ScratchDir dir;
  std::string path = dir / "state";
  ASSERT_EQ(sys::WriteFileAtomically(path.c_str(), "old", 3, 0600), 0);
  sys::FailCall(sys::Call::Rename, EIO);
  EXPECT_EQ(sys::WriteFileAtomically(path.c_str(), "new!", 4, 0600), -1);
  sys::ClearFaults();
  EXPECT_EQ(tw::test::ReadFile(path), "old");
  // No temporary file is left behind.
  int entries = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.path())) (void)e, ++entries;
  EXPECT_EQ(entries, 1);
}

TEST(RuntimeDir, IsCreatedPrivateUnderXdgRuntimeDir) {
  tw::test::PrivateEnvironment env;
  std::string path;
  ASSERT_EQ(RuntimeDir(&path), noErr);
  EXPECT_EQ(path, env.runtime() + "/macplatform");
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(RuntimeDir, RefusesAFolderOwnedByAnotherUser) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to make a folder of another owner";
  tw::test::PrivateEnvironment env;
  std::string planted = env.runtime() + "/macplatform";
  ASSERT_EQ(::mkdir(planted.c_str(), 0700), 0);
  ASSERT_EQ(::chown(planted.c_str(), 12345, 12345), 0);
  std::string path;
  EXPECT_EQ(RuntimeDir(&path), afpAccessDenied);
}

TEST(RuntimeDir, RefusesALinkPlantedInItsPlace) {
  tw::test::PrivateEnvironment env;
  tw::test::ScratchDir elsewhere;
  ASSERT_EQ(::symlink(elsewhere.path().c_str(), (env.runtime() + "/macplatform").c_str()), 0);
  std::string path;
  EXPECT_NE(RuntimeDir(&path), noErr);
}
