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
#include "platform/core/TextEncodings.h"
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

TEST(TextEncodings, EveryMacRomanByteRoundTrips) {
  for (int b = 0; b < 256; ++b) {
    UInt8 back = 0;
    ASSERT_TRUE(text::UnicodeToMacRoman(text::MacRomanToUnicode(UInt8(b)), &back)) << b;
    EXPECT_EQ(back, b);
  }
  EXPECT_EQ(text::MacRomanToUnicode(0xDB), u'\u20AC');  // the euro sign
  UInt8 byte;
  EXPECT_FALSE(text::UnicodeToMacRoman(U'\u4E00', &byte));
}

TEST(TextEncodings, InvalidUTF8AndLoneSurrogatesAreRefused) {
  struct Case {
    std::string bytes;
    bool valid;
  } cases[] = {
      {"plain", true},          {"\xC3\xA9", true},         {"\xF0\x9F\x98\x80", true},
      {"\xC3", false},          {"\xC0\xAF", false},        {"\xED\xA0\x80", false},
      {"\xF4\x90\x80\x80", false}, {"\xFF", false},
  };
  for (const Case& c : cases) {
    std::u16string units;
    EXPECT_EQ(text::UTF8ToUTF16(reinterpret_cast<const UInt8*>(c.bytes.data()), c.bytes.size(), &units),
              c.valid)
        << c.bytes;
    if (!c.valid) continue;
    std::string back;
    ASSERT_TRUE(text::UTF16ToUTF8(units.data(), units.size(), &back));
    EXPECT_EQ(back, c.bytes);
  }
  std::string out;
  const char16_t lone[] = {u'a', 0xD800, u'b'};
  EXPECT_FALSE(text::UTF16ToUTF8(lone, 3, &out));
  const char16_t trailing[] = {0xDC00};
  EXPECT_FALSE(text::UTF16ToUTF8(trailing, 1, &out));
}

TEST(RuntimeDir, AFolderChangedAfterItsCheckIsCheckedAgain) {
  tw::test::PrivateEnvironment env;
  std::string path;
  ASSERT_EQ(RuntimeDir(&path), noErr);
  ASSERT_EQ(::chmod(path.c_str(), 0777), 0);
  ASSERT_EQ(RuntimeDir(&path), noErr);
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  // Replaced by a link to a folder elsewhere: refused, although the path
  // was fine a moment ago.
  tw::test::ScratchDir elsewhere;
  ASSERT_EQ(::rmdir(path.c_str()), 0);
  ASSERT_EQ(::symlink(elsewhere.path().c_str(), path.c_str()), 0);
  EXPECT_NE(RuntimeDir(&path), noErr);
}
