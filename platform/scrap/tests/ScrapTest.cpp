// Named scraps through the Scrap Manager's calls: clearing, putting,
// reading, bad arguments, broken files, other users and a writer in another
// process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "platform/core/SysCalls.h"
#include "platform/scrap/ScrapFile.h"
#include "testing/TestSupport.h"

namespace fs = std::filesystem;
using namespace macplatform;

namespace {

class ScrapTest : public ::testing::Test {
 protected:
  tw::test::PrivateEnvironment env;
  std::string ScrapsDir() const { return env.runtime() + "/macplatform/scraps"; }

  // The names of the files in the scraps folder, without the lock file.
  std::set<std::string> Files() const {
    std::set<std::string> names;
    for (auto& e : fs::directory_iterator(ScrapsDir()))
      if (e.path().filename() != ".lock") names.insert(e.path().filename());
    return names;
  }
};

const UInt8 kSnapshot[36] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0,
                             0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};

}  // namespace

TEST_F(ScrapTest, ClearThenPutPublishesOneFlavorThatAnotherReferenceReads) {
  ScrapRef scrap = nullptr;
  ASSERT_EQ(GetScrapByName(CFSTR("com.tolvane.tintwell"), kScrapClearNamedScrap, &scrap), noErr);
  ASSERT_NE(scrap, nullptr);
  ASSERT_EQ(PutScrapFlavor(scrap, 'xyu!', kScrapFlavorMaskNone, 36, kSnapshot), noErr);

  ScrapRef again = nullptr;
  ASSERT_EQ(GetScrapByName(CFSTR("com.tolvane.tintwell"), kScrapGetNamedScrap, &again), noErr);
  EXPECT_EQ(again, scrap);  // one reference per name, reused
  UInt32 count = 0;
  ASSERT_EQ(GetScrapFlavorCount(again, &count), noErr);
  EXPECT_EQ(count, 1u);
  ScrapFlavorInfo info[4] = {};
  count = 4;
  ASSERT_EQ(GetScrapFlavorInfoList(again, &count, info), noErr);
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(info[0].flavorType, static_cast<ScrapFlavorType>('xyu!'));
  EXPECT_EQ(info[0].flavorFlags, 0u);
  Size size = 0;
  ASSERT_EQ(GetScrapFlavorSize(again, 'xyu!', &size), noErr);
  EXPECT_EQ(size, 36);
  UInt8 out[40] = {};
  size = sizeof out;
  ASSERT_EQ(GetScrapFlavorData(again, 'xyu!', &size, out), noErr);
  EXPECT_EQ(size, 36);
  EXPECT_EQ(std::memcmp(out, kSnapshot, 36), 0);

  // The file is the user's alone, in the user's private folder.
  struct stat st;
  ASSERT_EQ(::stat((ScrapsDir() + "/com.tolvane.tintwell.scrap").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_EQ(::stat(ScrapsDir().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(ScrapTest, ClearOnAccessEmptiesAndGetLeavesAlone) {
  ScrapRef scrap = nullptr;
  ASSERT_EQ(GetScrapByName(CFSTR("s"), kScrapClearNamedScrap, &scrap), noErr);
  ASSERT_EQ(PutScrapFlavor(scrap, 'xyu!', 0, 36, kSnapshot), noErr);
  ASSERT_EQ(GetScrapByName(CFSTR("s"), kScrapGetNamedScrap, &scrap), noErr);
  UInt32 count = 0;
  ASSERT_EQ(GetScrapFlavorCount(scrap, &count), noErr);
  EXPECT_EQ(count, 1u);

  ASSERT_EQ(GetScrapByName(CFSTR("s"), kScrapClearNamedScrap, &scrap), noErr);
  ASSERT_EQ(GetScrapFlavorCount(scrap, &count), noErr);
  EXPECT_EQ(count, 0u);
  Size size = 99;
  EXPECT_EQ(GetScrapFlavorSize(scrap, 'xyu!', &size), scrapFlavorNotFoundErr);
  EXPECT_EQ(size, 99);
  EXPECT_TRUE(Files().empty());  // an empty scrap has no file

  // Put after a clear works again; ClearScrap empties it and keeps the ref.
  ASSERT_EQ(PutScrapFlavor(scrap, 'xyu!', 0, 36, kSnapshot), noErr);
  ScrapRef same = scrap;
  ASSERT_EQ(ClearScrap(&same), noErr);
  EXPECT_EQ(same, scrap);
  ASSERT_EQ(GetScrapFlavorCount(scrap, &count), noErr);
  EXPECT_EQ(count, 0u);
}

TEST_F(ScrapTest, FlavorsKeepTheirOrderFlagsAndZeroByteData) {
  ScrapRef scrap = nullptr;
  ASSERT_EQ(GetScrapByName(CFSTR("flavors"), kScrapClearNamedScrap, &scrap), noErr);
  ASSERT_EQ(PutScrapFlavor(scrap, 'TEXT', kScrapFlavorMaskTranslated, 5, "hello"), noErr);
  ASSERT_EQ(PutScrapFlavor(scrap, 'zero', 0, 0, ""), noErr);
  ASSERT_EQ(PutScrapFlavor(scrap, 'null', kScrapFlavorMaskSenderOnly, 0, nullptr), noErr);
  // A type already there is refused and changes nothing.
  EXPECT_EQ(PutScrapFlavor(scrap, 'TEXT', 0, 3, "bye"), duplicateScrapFlavorErr);

  ScrapFlavorInfo info[3] = {};
  UInt32 count = 2;  // room for two only
  ASSERT_EQ(GetScrapFlavorInfoList(scrap, &count, info), noErr);
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(info[0].flavorType, static_cast<ScrapFlavorType>('TEXT'));
  EXPECT_EQ(info[0].flavorFlags, static_cast<ScrapFlavorFlags>(kScrapFlavorMaskTranslated));
  EXPECT_EQ(info[1].flavorType, static_cast<ScrapFlavorType>('zero'));
  count = 0;
  ASSERT_EQ(GetScrapFlavorInfoList(scrap, &count, nullptr), noErr);
  EXPECT_EQ(count, 0u);

  Size size = -1;
  ASSERT_EQ(GetScrapFlavorSize(scrap, 'zero', &size), noErr);
  EXPECT_EQ(size, 0);
  char buf[8] = "xxxxxxx";
  size = sizeof buf;
  ASSERT_EQ(GetScrapFlavorData(scrap, 'zero', &size, buf), noErr);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(buf[0], 'x');
  ScrapFlavorFlags flags = 0;
  ASSERT_EQ(GetScrapFlavorFlags(scrap, 'null', &flags), noErr);
  EXPECT_EQ(flags, static_cast<ScrapFlavorFlags>(kScrapFlavorMaskSenderOnly));

  // A short buffer gets the first bytes and the count copied.
  size = 3;
  ASSERT_EQ(GetScrapFlavorData(scrap, 'TEXT', &size, buf), noErr);
  EXPECT_EQ(size, 3);
  EXPECT_EQ(std::string(buf, 3), "hel");
}

TEST_F(ScrapTest, BadArgumentsAreRefusedBeforeAnythingIsTouched) {
  ScrapRef scrap = nullptr;
  ASSERT_EQ(GetScrapByName(CFSTR("args"), kScrapClearNamedScrap, &scrap), noErr);
  OpaqueScrapRef* bogus = reinterpret_cast<OpaqueScrapRef*>(&scrap);  // never dereferenced
  UInt32 count = 0;
  Size size = 4;
  char buf[4];
  ScrapFlavorFlags flags;
  struct Row {
    const char* what;
    OSStatus got;
    OSStatus want;
  } rows[] = {
      {"null name", GetScrapByName(nullptr, 0, &scrap), paramErr},
      {"empty name", GetScrapByName(CFSTR(""), 0, &scrap), paramErr},
      {"null out", GetScrapByName(CFSTR("args"), 0, nullptr), paramErr},
      {"unknown option", GetScrapByName(CFSTR("args"), 2, &scrap), paramErr},
      {"name too long", GetScrapByName(CFSTR("////////////////////////////////////////////////////////////////////////"),
                                       0, &scrap),
       bdNamErr},
      {"put to null ref", PutScrapFlavor(nullptr, 'TEXT', 0, 1, "a"), badScrapRefErr},
      {"put to unknown ref", PutScrapFlavor(bogus, 'TEXT', 0, 1, "a"), badScrapRefErr},
      {"negative size", PutScrapFlavor(scrap, 'TEXT', 0, -1, "a"), illegalScrapFlavorSizeErr},
      {"size over the bound", PutScrapFlavor(scrap, 'TEXT', 0, (16 << 20) + 1, "a"), illegalScrapFlavorSizeErr},
      {"null data", PutScrapFlavor(scrap, 'TEXT', 0, 1, nullptr), paramErr},
      {"unknown flags", PutScrapFlavor(scrap, 'TEXT', 0x100, 1, "a"), illegalScrapFlavorFlagsErr},
      {"count of unknown ref", GetScrapFlavorCount(bogus, &count), badScrapRefErr},
      {"count to null", GetScrapFlavorCount(scrap, nullptr), paramErr},
      {"list to null count", GetScrapFlavorInfoList(scrap, nullptr, nullptr), paramErr},
      {"size of unknown ref", GetScrapFlavorSize(bogus, 'TEXT', &size), badScrapRefErr},
      {"data to null count", GetScrapFlavorData(scrap, 'TEXT', nullptr, buf), paramErr},
      {"data to null buffer", GetScrapFlavorData(scrap, 'TEXT', &size, nullptr), paramErr},
      {"flags to null", GetScrapFlavorFlags(scrap, 'TEXT', nullptr), paramErr},
      {"flags of missing type", GetScrapFlavorFlags(scrap, 'TEXT', &flags), scrapFlavorNotFoundErr},
      {"clear null", ClearScrap(nullptr), paramErr},
      {"clear unknown ref", ClearScrap(reinterpret_cast<ScrapRef*>(&bogus)), badScrapRefErr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(row.got, row.want);
  }
  ASSERT_EQ(GetScrapFlavorCount(scrap, &count), noErr);
  EXPECT_EQ(count, 0u);
}

TEST_F(ScrapTest, OddNamesStayInsideTheScrapsFolder) {
  const UniChar odd[] = {0x0000, '/', 0xFFFF, 0xD83D, 0xDE00, '.', '.'};
  CFStringRef oddName = CFStringCreateWithCharacters(nullptr, odd, 7);
  CFStringRef names[] = {CFSTR("a/b"), CFSTR(".."), CFSTR("../../escape"), CFSTR("."), CFSTR("/abs"),
                         oddName};
  for (CFStringRef name : names) {
    ScrapRef scrap = nullptr;
    ASSERT_EQ(GetScrapByName(name, kScrapClearNamedScrap, &scrap), noErr);
    ASSERT_EQ(PutScrapFlavor(scrap, 'TEXT', 0, 2, "ok"), noErr);
  }
  EXPECT_EQ(Files(), (std::set<std::string>{"a%2Fb.scrap", "...scrap", "..%2F..%2Fescape.scrap",
                                            "..scrap", "%2Fabs.scrap",
                                            "%00%2F%EF%BF%BF%F0%9F%98%80...scrap"}));
  // Nothing appeared beside the scraps folder or above the runtime folder.
  std::set<std::string> runtime;
  for (auto& e : fs::directory_iterator(env.runtime() + "/macplatform")) runtime.insert(e.path().filename());
  EXPECT_EQ(runtime.count("escape.scrap"), 0u);
  EXPECT_FALSE(fs::exists(env.runtime() + "/escape.scrap"));
  EXPECT_FALSE(fs::exists(env.root() + "/escape.scrap"));
  CFRelease(oddName);

  // A lone surrogate has no UTF-8 form: refused, not mangled into another name.
  const UniChar lone[] = {'a', 0xD800};
  CFStringRef loneName = CFStringCreateWithCharacters(nullptr, lone, 2);
  ScrapRef scrap = nullptr;
  EXPECT_EQ(GetScrapByName(loneName, 0, &scrap), paramErr);
  CFRelease(loneName);
}

TEST_F(ScrapTest, BrokenFilesGiveAnErrorAndAreKeptAsideOnWrite) {
  ScrapRef scrap = nullptr;
  ASSERT_EQ(GetScrapByName(CFSTR("broken"), kScrapClearNamedScrap, &scrap), noErr);
  std::string path = ScrapsDir() + "/broken.scrap";
  std::vector<UInt8> good = scrap::Encode({scrap::Flavor{'TEXT', 0, {'a', 'b'}}});

  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"garbage", "not a scrap at all"},
      {"truncated", std::string(good.begin(), good.end() - 1)},
      {"empty file", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    tw::test::WriteFile(path, c.bytes);
    UInt32 count = 7;
    EXPECT_EQ(GetScrapFlavorCount(scrap, &count), internalScrapErr);
    EXPECT_EQ(count, 7u);
    Size size = 0;
    EXPECT_EQ(GetScrapFlavorSize(scrap, 'TEXT', &size), internalScrapErr);
    // A write keeps the broken file aside and starts the scrap again.
    ASSERT_EQ(PutScrapFlavor(scrap, 'xyu!', 0, 36, kSnapshot), noErr);
    EXPECT_EQ(tw::test::ReadFile(ScrapsDir() + "/broken.corrupt"), c.bytes);
    ASSERT_EQ(GetScrapFlavorCount(scrap, &count), noErr);
    EXPECT_EQ(count, 1u);
  }

  // Clearing a broken file keeps it aside too.
  tw::test::WriteFile(path, "junk");
  ASSERT_EQ(GetScrapByName(CFSTR("broken"), kScrapClearNamedScrap, &scrap), noErr);
  EXPECT_FALSE(fs::exists(path));
  EXPECT_EQ(tw::test::ReadFile(ScrapsDir() + "/broken.corrupt"), "junk");

  // A file far larger than any scrap is refused without being read.
  { tw::test::WriteFile(path, ""); }
  ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(scrap::kMaxFileSize) + 1), 0);
  UInt32 count = 0;
  EXPECT_EQ(GetScrapFlavorCount(scrap, &count), internalScrapErr);
}

TEST_F(ScrapTest, AFailedReplaceLeavesTheOldContents) {
  ScrapRef scrap = nullptr;
  ASSERT_EQ(GetScrapByName(CFSTR("atomic"), kScrapClearNamedScrap, &scrap), noErr);
  ASSERT_EQ(PutScrapFlavor(scrap, 'TEXT', 0, 3, "old"), noErr);
  sys::FailCall(sys::Call::Rename, ENOSPC);
  EXPECT_EQ(PutScrapFlavor(scrap, 'more', 0, 3, "new"), dskFulErr);
  sys::ClearFaults();
  UInt32 count = 0;
  ASSERT_EQ(GetScrapFlavorCount(scrap, &count), noErr);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(Files(), (std::set<std::string>{"atomic.scrap"}));  // no temporary file left
}

TEST_F(ScrapTest, AnotherUserCannotReadTheScrap) {
  ScrapRef scrap = nullptr;
  ASSERT_EQ(GetScrapByName(CFSTR("private"), kScrapClearNamedScrap, &scrap), noErr);
  ASSERT_EQ(PutScrapFlavor(scrap, 'xyu!', 0, 36, kSnapshot), noErr);
  std::string path = ScrapsDir() + "/private.scrap";
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to become another user";

  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(10);
    // The file itself, opened directly, and the scrap through the platform.
    int fd = ::open(path.c_str(), O_RDONLY);
    if (fd >= 0 || errno != EACCES) ::_exit(11);
    ScrapRef theirs = nullptr;
    UInt32 count = 0;
    OSStatus err = GetScrapByName(CFSTR("private"), kScrapGetNamedScrap, &theirs);
    if (err == noErr) err = GetScrapFlavorCount(theirs, &count);
    if (err == noErr && count > 0) ::_exit(12);
    ::_exit(err != noErr ? 0 : 13);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "10: could not switch user, 11: file opened, 12: scrap read, "
                                       "13: no error";
}

// A writer process replaces the scrap over and over with one of two
// versions whose flavors have different sizes and bytes; every read sees one
// whole version (or the empty scrap between a clear and a put), never a mix.
TEST_F(ScrapTest, AReaderNeverSeesAMixWhileAnotherProcessReplacesTheScrap) {
  ScrapRef scrap = nullptr;
  ASSERT_EQ(GetScrapByName(CFSTR("busy"), kScrapClearNamedScrap, &scrap), noErr);
  const std::vector<char> versionA(5000, 'A'), versionB(70000, 'B');

  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    for (int i = 0; i < 400; ++i) {
      const std::vector<char>& v = i % 2 ? versionB : versionA;
      ScrapRef s = nullptr;
      if (GetScrapByName(CFSTR("busy"), kScrapClearNamedScrap, &s) != noErr) ::_exit(1);
      if (PutScrapFlavor(s, 'big ', 0, static_cast<Size>(v.size()), v.data()) != noErr) ::_exit(2);
      if (PutScrapFlavor(s, 'tag ', 0, 1, v.data()) != noErr) ::_exit(3);
    }
    ::_exit(0);
  }

  std::string path = ScrapsDir() + "/busy.scrap";
  int reads = 0, whole = 0;
  auto consistent = [&](const scrap::Contents& c) {
    for (const scrap::Flavor& f : c) {
      if (f.data.empty()) return false;
      char byte = static_cast<char>(f.data[0]);
      size_t want = byte == 'A' ? versionA.size() : byte == 'B' ? versionB.size() : 0;
      if (f.type == 'tag ') want = 1;
      if (f.data.size() != want) return false;
      for (UInt8 b : f.data)
        if (static_cast<char>(b) != byte) return false;
    }
    if (c.size() == 2 && c[0].data[0] != c[1].data[0]) return false;
    return true;
  };
  std::vector<char> buf(versionB.size() + 10);
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    scrap::Contents c;
    ASSERT_EQ(scrap::ReadFile(path, &c), noErr);
    ASSERT_TRUE(consistent(c)) << "read " << reads;
    if (c.size() == 2) ++whole;
    Size size = static_cast<Size>(buf.size());
    OSStatus err = GetScrapFlavorData(scrap, 'big ', &size, buf.data());
    if (err == noErr) {
      ASSERT_TRUE(size == 5000 || size == 70000);
      ASSERT_EQ(std::count(buf.begin(), buf.begin() + size, buf[0]), size);
    } else {
      ASSERT_EQ(err, scrapFlavorNotFoundErr);
    }
    ++reads;
  }
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  scrap::Contents last;
  ASSERT_EQ(scrap::ReadFile(path, &last), noErr);
  ASSERT_EQ(last.size(), 2u);
  EXPECT_EQ(last[0].data.size(), versionB.size());
  std::printf("%d reads, %d of a whole two-flavor version\n", reads, whole);
}
