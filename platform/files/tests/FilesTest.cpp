// References, catalog information and Finder information on real files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "platform/core/SysCalls.h"
#include "platform/files/FileRefs.h"
#include "platform/files/Files.h"
#include "testing/TestSupport.h"

using namespace macplatform;
using tw::test::ScratchDir;

namespace {

const char* kAttr = "user.com.apple.FinderInfo";

void Touch(const std::string& path, const std::string& contents = "x") { tw::test::WriteFile(path, contents); }

FSRef RefOf(const std::string& path) {
  FSRef ref;
  EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), &ref, nullptr), noErr) << path;
  return ref;
}

// The attribute's bytes; "absent" when there is none.
std::string Attr(const std::string& path) {
  char buf[256];
  ssize_t n = ::getxattr(path.c_str(), kAttr, buf, sizeof buf);
  if (n < 0) return errno == ENODATA ? "absent" : "error";
  return std::string(buf, n);
}

void SetAttr(const std::string& path, const std::string& bytes) {
  ASSERT_EQ(::setxattr(path.c_str(), kAttr, bytes.data(), bytes.size(), 0), 0);
}

// 32 bytes with a recognisable pattern: 0x10, 0x11, ...
std::string Pattern() {
  std::string s(32, '\0');
  for (int i = 0; i < 32; ++i) s[i] = static_cast<char>(0x10 + i);
  return s;
}

bool SameRef(const FSRef& a, const FSRef& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

// ---------------------------------------------------------------------------
// Finder information.

TEST(FinderInfo, MissingAttributeReadsAsZeros) {
  ScratchDir dir;
  Touch(dir / "f");
  FSRef ref = RefOf(dir / "f");
  FSCatalogInfo info;
  std::memset(&info, 0xAB, sizeof info);
  ASSERT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoFinderInfo | kFSCatInfoFinderXInfo, &info, nullptr, nullptr, nullptr),
            noErr);
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(info.finderInfo[i], 0) << i;
    EXPECT_EQ(info.extFinderInfo[i], 0) << i;
  }
}

TEST(FinderInfo, WriteReplacesTheFirst16BytesAndKeepsTheExtendedOnesOnFileAndFolder) {
  ScratchDir dir;
  Touch(dir / "file");
  ASSERT_EQ(::mkdir((dir / "folder").c_str(), 0755), 0);
  for (std::string path : {dir / "file", dir / "folder"}) {
    SCOPED_TRACE(path);
    SetAttr(path, Pattern());
    FSRef ref = RefOf(path);
    FSCatalogInfo info{};
    ASSERT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoFinderInfo, &info, nullptr, nullptr, nullptr), noErr);
    EXPECT_EQ(std::memcmp(info.finderInfo, Pattern().data(), 16), 0);
    std::memset(info.finderInfo, 0x77, 16);
    std::memset(info.extFinderInfo, 0x55, 16);  // not in the mask: must not be written
    ASSERT_EQ(FSSetCatalogInfo(&ref, kFSCatInfoFinderInfo, &info), noErr);
    EXPECT_EQ(Attr(path), std::string(16, '\x77') + Pattern().substr(16));
  }
}

TEST(FinderInfo, ExtendedInfoAloneKeepsTheFirst16Bytes) {
  ScratchDir dir;
  Touch(dir / "f");
  SetAttr(dir / "f", Pattern());
  FSRef ref = RefOf(dir / "f");
  FSCatalogInfo info{};
  std::memset(info.extFinderInfo, 0x21, 16);
  ASSERT_EQ(FSSetCatalogInfo(&ref, kFSCatInfoFinderXInfo, &info), noErr);
  EXPECT_EQ(Attr(dir / "f"), Pattern().substr(0, 16) + std::string(16, '\x21'));
}

TEST(FinderInfo, AllZerosRemovesTheAttributeAndWritingZerosAgainSucceeds) {
  ScratchDir dir;
  Touch(dir / "f");
  std::string onlyFirst = Pattern().substr(0, 16) + std::string(16, '\0');
  SetAttr(dir / "f", onlyFirst);
  FSRef ref = RefOf(dir / "f");
  FSCatalogInfo info{};
  ASSERT_EQ(FSSetCatalogInfo(&ref, kFSCatInfoFinderInfo, &info), noErr);
  EXPECT_EQ(Attr(dir / "f"), "absent");
  // The write probe writes back what it read: zeros over no attribute.
  ASSERT_EQ(FSSetCatalogInfo(&ref, kFSCatInfoFinderInfo, &info), noErr);
  EXPECT_EQ(Attr(dir / "f"), "absent");
}

TEST(FinderInfo, AttributeOfAnotherSizeIsAnErrorAndIsNeverOverwritten) {
  ScratchDir dir;
  for (size_t size : {size_t(0), size_t(16), size_t(31), size_t(33), size_t(100)}) {
    SCOPED_TRACE(size);
    std::string path = dir / ("f" + std::to_string(size));
    Touch(path);
    std::string odd(size, '\x5A');
    SetAttr(path, odd);
    FSRef ref = RefOf(path);
    FSCatalogInfo info{};
    EXPECT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoFinderInfo, &info, nullptr, nullptr, nullptr), ioErr);
    EXPECT_EQ(FSSetCatalogInfo(&ref, kFSCatInfoFinderInfo, &info), ioErr);
    EXPECT_EQ(FSSetCatalogInfo(&ref, kFSCatInfoFinderInfo | kFSCatInfoContentMod, &info), ioErr);
    EXPECT_EQ(Attr(path), odd);
    // Fields that do not need the Finder information still read.
    EXPECT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoNodeFlags, &info, nullptr, nullptr, nullptr), noErr);
  }
}

TEST(FinderInfo, FieldsThatCannotBeWrittenAreRefusedAndNothingChanges) {
  ScratchDir dir;
  Touch(dir / "f");
  SetAttr(dir / "f", Pattern());
  FSRef ref = RefOf(dir / "f");
  FSCatalogInfo info{};
  for (FSCatalogInfoBitmap mask : {FSCatalogInfoBitmap(kFSCatInfoNodeFlags), FSCatalogInfoBitmap(kFSCatInfoPermissions),
                                   FSCatalogInfoBitmap(kFSCatInfoCreateDate | kFSCatInfoFinderInfo),
                                   FSCatalogInfoBitmap(kFSCatInfoAccessDate | kFSCatInfoFinderInfo),
                                   FSCatalogInfoBitmap(0x80000000u | kFSCatInfoFinderInfo)}) {
    SCOPED_TRACE(mask);
    EXPECT_EQ(FSSetCatalogInfo(&ref, mask, &info), errFSBadInfoBitmap);
  }
  EXPECT_EQ(Attr(dir / "f"), Pattern());
  EXPECT_EQ(FSSetCatalogInfo(&ref, kFSCatInfoFinderInfo, nullptr), paramErr);
}

TEST(FinderInfo, FileSystemErrorsBecomeTheirCodes) {
  ScratchDir dir;
  Touch(dir / "f");
  FSRef ref = RefOf(dir / "f");
  FSCatalogInfo info{};
  info.finderInfo[9] = 0x02;
  struct Row {
    int error;
    OSErr expected;
  } rows[] = {{ENOTSUP, errFSOperationNotSupported}, {EROFS, wPrErr}, {EACCES, afpAccessDenied},
              {EPERM, afpAccessDenied}, {ENOSPC, dskFulErr}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.error);
    sys::FailCall(sys::Call::Fsetxattr, row.error);
    sys::FailCall(sys::Call::Setxattr, row.error);
    EXPECT_EQ(FSSetCatalogInfo(&ref, kFSCatInfoFinderInfo, &info), row.expected);
    sys::ClearFaults();
    sys::FailCall(sys::Call::Fgetxattr, row.error);
    sys::FailCall(sys::Call::Getxattr, row.error);
    EXPECT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoFinderInfo, &info, nullptr, nullptr, nullptr), row.expected);
    sys::ClearFaults();
  }
  EXPECT_EQ(Attr(dir / "f"), "absent");
}

TEST(FinderInfo, FollowsASymbolicLinkToItsTarget) {
  ScratchDir dir;
  Touch(dir / "target");
  ASSERT_EQ(::symlink((dir / "target").c_str(), (dir / "link").c_str()), 0);
  Boolean isDirectory = true;
  FSRef ref;
  ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>((dir / "link").c_str()), &ref, &isDirectory), noErr);
  EXPECT_FALSE(isDirectory);
  FSCatalogInfo info{};
  info.finderInfo[0] = 'T';
  ASSERT_EQ(FSSetCatalogInfo(&ref, kFSCatInfoFinderInfo, &info), noErr);
  EXPECT_EQ(Attr(dir / "target").substr(0, 1), "T");
}

// ---------------------------------------------------------------------------
// Dates.

TEST(Dates, GetUTCDateTimeCountsFrom1904) {
  UTCDateTime now{};
  ASSERT_EQ(GetUTCDateTime(&now, kUTCDefaultOptions), noErr);
  SInt64 seconds = (SInt64(now.highSeconds) << 32) | now.lowSeconds;
  SInt64 expected = SInt64(std::time(nullptr)) + 2082844800;
  EXPECT_LE(std::llabs(seconds - expected), 2);
  EXPECT_EQ(GetUTCDateTime(nullptr, kUTCDefaultOptions), paramErr);
}

TEST(Dates, ContentModDateIsTheModificationTime) {
  ScratchDir dir;
  Touch(dir / "f");
  FSRef ref = RefOf(dir / "f");
  FSCatalogInfo info{};
  // 1 January 2001 00:00:00 UTC and a half second.
  SInt64 macSeconds = SInt64(978307200) + 2082844800;
  info.contentModDate.highSeconds = static_cast<UInt16>(macSeconds >> 32);
  info.contentModDate.lowSeconds = static_cast<UInt32>(macSeconds);
  info.contentModDate.fraction = 0x8000;
  ASSERT_EQ(FSSetCatalogInfo(&ref, kFSCatInfoContentMod, &info), noErr);
  struct stat st;
  ASSERT_EQ(::stat((dir / "f").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 978307200);
  EXPECT_EQ(st.st_mtim.tv_nsec, 500000000);
  FSCatalogInfo back{};
  ASSERT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoContentMod, &back, nullptr, nullptr, nullptr), noErr);
  EXPECT_EQ(back.contentModDate.lowSeconds, info.contentModDate.lowSeconds);
  EXPECT_EQ(back.contentModDate.fraction, 0x8000);
  EXPECT_EQ(Attr(dir / "f"), "absent");  // the date alone writes no Finder information
}

TEST(Dates, RefusedDateWritesNothingAndAFailedFinderWriteRestoresTheDate) {
  ScratchDir dir;
  Touch(dir / "f");
  SetAttr(dir / "f", Pattern());
  struct stat before;
  ASSERT_EQ(::stat((dir / "f").c_str(), &before), 0);
  FSRef ref = RefOf(dir / "f");
  FSCatalogInfo info{};
  ASSERT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoFinderInfo, &info, nullptr, nullptr, nullptr), noErr);
  info.finderInfo[9] ^= 0x0E;
  ASSERT_EQ(GetUTCDateTime(&info.contentModDate, kUTCDefaultOptions), noErr);
  info.contentModDate.lowSeconds += 1000;

  sys::FailCall(sys::Call::Futimens, EPERM);
  sys::FailCall(sys::Call::Utimensat, EPERM);
  EXPECT_EQ(FSSetCatalogInfo(&ref, kFSCatInfoFinderInfo | kFSCatInfoContentMod, &info), afpAccessDenied);
  sys::ClearFaults();
  EXPECT_EQ(Attr(dir / "f"), Pattern());

  sys::FailCall(sys::Call::Fsetxattr, EIO);
  sys::FailCall(sys::Call::Setxattr, EIO);
  EXPECT_EQ(FSSetCatalogInfo(&ref, kFSCatInfoFinderInfo | kFSCatInfoContentMod, &info), ioErr);
  sys::ClearFaults();
  struct stat after;
  ASSERT_EQ(::stat((dir / "f").c_str(), &after), 0);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  EXPECT_EQ(Attr(dir / "f"), Pattern());
}

// ---------------------------------------------------------------------------
// FSRef.

TEST(FSRef, PathsWithNewlinesColonsAndNonUtf8BytesWork) {
  ScratchDir dir;
  const std::string names[] = {"line\nbreak", "a:b:c", std::string("caf\xE9\xFF"), "sp ace", "\xF0\x9F\x8E\xA8"};
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    std::string path = dir / name;
    Touch(path);
    FSRef ref = RefOf(path);
    char back[4096];
    ASSERT_EQ(FSRefMakePath(&ref, reinterpret_cast<UInt8*>(back), sizeof back), noErr);
    EXPECT_EQ(std::string(back), path);
    FSCatalogInfo info{};
    info.finderInfo[9] = 0x0A;
    ASSERT_EQ(FSSetCatalogInfo(&ref, kFSCatInfoFinderInfo, &info), noErr);
    EXPECT_EQ(Attr(path).substr(8, 2), std::string("\x00\x0A", 2));
  }
}

TEST(FSRef, NameOfNonUtf8BytesBecomesReplacementCharacters) {
  ScratchDir dir;
  std::string path = dir / std::string("a\xFF\xC3\xA9\xF0\x9F\x8E\xA8");  // a, bad byte, é, 🎨
  Touch(path);
  FSRef ref = RefOf(path);
  HFSUniStr255 name{};
  ASSERT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoNone, nullptr, &name, nullptr, nullptr), noErr);
  std::vector<UniChar> expected = {'a', 0xFFFD, 0xE9, 0xD83C, 0xDFA8};
  EXPECT_EQ(std::vector<UniChar>(name.unicode, name.unicode + name.length), expected);
}

TEST(FSRef, RelativeAndUntidyPathsGiveTheSameReference) {
  ScratchDir dir;
  ASSERT_EQ(::mkdir((dir / "sub").c_str(), 0755), 0);
  Touch(dir / "sub/f");
  FSRef plain = RefOf(dir / "sub/f");
  EXPECT_TRUE(SameRef(plain, RefOf(dir.path() + "//sub/./f")));
  EXPECT_TRUE(SameRef(plain, RefOf(dir.path() + "/sub/../sub/f")));
  char cwd[4096];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(::chdir(dir.path().c_str()), 0);
  FSRef relative = RefOf("sub/f");
  ASSERT_EQ(::chdir(cwd), 0);
  EXPECT_TRUE(SameRef(plain, relative));  // and it still works after the chdir:
  EXPECT_EQ(FSGetCatalogInfo(&relative, kFSCatInfoNone, nullptr, nullptr, nullptr, nullptr), noErr);
}

TEST(FSRef, VanishedItemAnswersFnfErr) {
  ScratchDir dir;
  Touch(dir / "f");
  FSRef ref = RefOf(dir / "f");
  ASSERT_EQ(::unlink((dir / "f").c_str()), 0);
  FSCatalogInfo info{};
  UInt8 path[4096];
  EXPECT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoFinderInfo, &info, nullptr, nullptr, nullptr), fnfErr);
  EXPECT_EQ(FSSetCatalogInfo(&ref, kFSCatInfoFinderInfo, &info), fnfErr);
  EXPECT_EQ(FSRefMakePath(&ref, path, sizeof path), fnfErr);
  FSRef missing;
  EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>((dir / "f").c_str()), &missing, nullptr), fnfErr);
  // A folder vanishing from under the item is the same.
  ASSERT_EQ(::mkdir((dir / "d").c_str(), 0755), 0);
  Touch(dir / "d/g");
  FSRef inside = RefOf(dir / "d/g");
  ASSERT_EQ(::unlink((dir / "d/g").c_str()), 0);
  ASSERT_EQ(::rmdir((dir / "d").c_str()), 0);
  Touch(dir / "d");  // now a file where the folder was
  EXPECT_EQ(FSGetCatalogInfo(&inside, kFSCatInfoNone, nullptr, nullptr, nullptr, nullptr), fnfErr);
}

TEST(FSRef, ItemReplacedByAnotherFileOfTheSameNameAnswersFnfErrAndIsNotTouched) {
  ScratchDir dir;
  std::string path = dir / "doc";
  // Replaced by rename (how editors save), and deleted then created anew
  // (which may reuse the inode number).
  for (bool byRename : {true, false}) {
    SCOPED_TRACE(byRename);
    Touch(path, "old");
    FSRef ref = RefOf(path);
    if (byRename) {
      Touch(dir / "doc.new", "new");
      ASSERT_EQ(::rename((dir / "doc.new").c_str(), path.c_str()), 0);
    } else {
      ASSERT_EQ(::unlink(path.c_str()), 0);
      Touch(path, "new");
    }
    FSCatalogInfo info{};
    info.finderInfo[9] = 0x0E;
    EXPECT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoFinderInfo, &info, nullptr, nullptr, nullptr), fnfErr);
    EXPECT_EQ(FSSetCatalogInfo(&ref, kFSCatInfoFinderInfo, &info), fnfErr);
    EXPECT_EQ(Attr(path), "absent");
    ASSERT_EQ(::unlink(path.c_str()), 0);
  }
}

TEST(FSRef, SameItemGivesTheSameBytesSoTheTableDoesNotGrow) {
  ScratchDir dir;
  Touch(dir / "f");
  FSRef first = RefOf(dir / "f");
  for (int i = 0; i < 1000; ++i) {
    FSRef again = RefOf(dir / "f");
    ASSERT_TRUE(SameRef(first, again));
  }
}

TEST(FSRef, GarbageBytesAreRefused) {
  ScratchDir dir;
  Touch(dir / "f");
  FSRef good = RefOf(dir / "f");
  std::vector<FSRef> bad;
  bad.push_back(FSRef{});  // all zero
  FSRef ones;
  std::memset(&ones, 0xFF, sizeof ones);
  bad.push_back(ones);
  for (size_t i = 0; i < sizeof good.hidden; i += 5) {
    FSRef flipped = good;
    flipped.hidden[i] ^= 0x40;
    bad.push_back(flipped);
  }
  FSCatalogInfo info{};
  for (const FSRef& ref : bad) {
    EXPECT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoFinderInfo, &info, nullptr, nullptr, nullptr), errFSBadFSRef);
    EXPECT_EQ(FSSetCatalogInfo(&ref, kFSCatInfoFinderInfo, &info), errFSBadFSRef);
  }
  EXPECT_EQ(FSGetCatalogInfo(nullptr, kFSCatInfoFinderInfo, &info, nullptr, nullptr, nullptr), paramErr);
  EXPECT_EQ(FSGetCatalogInfo(&good, kFSCatInfoFinderInfo, nullptr, nullptr, nullptr, nullptr), paramErr);
  EXPECT_EQ(FSPathMakeRef(nullptr, &good, nullptr), paramErr);
}

// Helper run as a separate program by the next test: writes the bytes of an
// FSRef made in that process.
TEST(FSRefHelper, WriteRefOfAnotherProcess) {
  const char* item = std::getenv("TW_FILES_REF_OF");
  const char* out = std::getenv("TW_FILES_REF_TO");
  if (item == nullptr || out == nullptr) GTEST_SKIP() << "only run by FSRef.ReferenceOfAnotherProcessIsRefused";
  FSRef ref = RefOf(item);
  tw::test::WriteFile(out, std::string(reinterpret_cast<const char*>(ref.hidden), sizeof ref.hidden));
}

TEST(FSRef, ReferenceOfAnotherProcessIsRefused) {
  ScratchDir dir;
  Touch(dir / "f");
  int status = tw::test::Run({"/proc/self/exe", "--gtest_filter=FSRefHelper.WriteRefOfAnotherProcess"}, nullptr,
                             nullptr, 60, {{"TW_FILES_REF_OF", dir / "f"}, {"TW_FILES_REF_TO", dir / "ref"}});
  ASSERT_EQ(status, 0);
  std::string bytes = tw::test::ReadFile(dir / "ref");
  ASSERT_EQ(bytes.size(), sizeof(FSRef));
  FSRef foreign;
  std::memcpy(foreign.hidden, bytes.data(), sizeof foreign.hidden);
  FSCatalogInfo info{};
  EXPECT_EQ(FSGetCatalogInfo(&foreign, kFSCatInfoFinderInfo, &info, nullptr, nullptr, nullptr), errFSBadFSRef);
}

TEST(FSRef, MakePathNeedsRoomForTheWholePath) {
  ScratchDir dir;
  Touch(dir / "f");
  FSRef ref = RefOf(dir / "f");
  std::string path = dir / "f";
  std::vector<UInt8> buf(path.size() + 1);
  EXPECT_EQ(FSRefMakePath(&ref, buf.data(), static_cast<UInt32>(path.size())), errFSNameTooLong);
  EXPECT_EQ(FSRefMakePath(&ref, buf.data(), static_cast<UInt32>(buf.size())), noErr);
}

// ---------------------------------------------------------------------------
// Catalog information.

TEST(Catalog, NodeFlagsSizesParentAndSpec) {
  ScratchDir dir;
  ASSERT_EQ(::mkdir((dir / "folder").c_str(), 0755), 0);
  Touch(dir / "folder/file", "12345");
  FSRef file = RefOf(dir / "folder/file");
  FSRef folder = RefOf(dir / "folder");
  FSCatalogInfo info{};
  FSRef parent;
  FSSpec spec;
  ASSERT_EQ(FSGetCatalogInfo(&file, kFSCatInfoNodeFlags | kFSCatInfoDataSizes | kFSCatInfoParentDirID, &info,
                             nullptr, &spec, &parent),
            noErr);
  EXPECT_EQ(info.nodeFlags & kFSNodeIsDirectoryMask, 0);
  EXPECT_EQ(info.dataLogicalSize, 5u);
  EXPECT_TRUE(SameRef(parent, folder));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(spec.name + 1), spec.name[0]), "file");
  EXPECT_EQ(static_cast<UInt32>(spec.parID), info.parentDirID);
  FSRef fromSpec;
  ASSERT_EQ(FSpMakeFSRef(&spec, &fromSpec), noErr);
  EXPECT_TRUE(SameRef(fromSpec, file));

  FSCatalogInfo folderInfo{};
  ASSERT_EQ(FSGetCatalogInfo(&folder, kFSCatInfoNodeFlags | kFSCatInfoValence | kFSCatInfoNodeID, &folderInfo,
                             nullptr, nullptr, nullptr),
            noErr);
  EXPECT_NE(folderInfo.nodeFlags & kFSNodeIsDirectoryMask, 0);
  EXPECT_EQ(folderInfo.valence, 1u);
  EXPECT_EQ(folderInfo.nodeID, info.parentDirID);  // a folder's ID is its children's parent ID
}

// ---------------------------------------------------------------------------
// FSSpec.

TEST(FSSpec, MissingLeafInAnExistingFolderIsFnfErrWithTheSpecFilled) {
  ScratchDir dir;
  FSRef folder = RefOf(dir.path());
  FSCatalogInfo info{};
  ASSERT_EQ(FSGetCatalogInfo(&folder, kFSCatInfoNodeID | kFSCatInfoVolume, &info, nullptr, nullptr, nullptr),
            noErr);
  FSSpec spec{};
  const unsigned char name[] = "\x07new:one";
  ASSERT_EQ(FSMakeFSSpec(info.volume, static_cast<SInt32>(info.nodeID), name, &spec), fnfErr);
  EXPECT_EQ(spec.parID, static_cast<SInt32>(info.nodeID));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(spec.name + 1), spec.name[0]), "new:one");
  FSRef ref;
  EXPECT_EQ(FSpMakeFSRef(&spec, &ref), fnfErr);
  Touch(dir / "new:one");
  ASSERT_EQ(FSpMakeFSRef(&spec, &ref), noErr);
  EXPECT_TRUE(SameRef(ref, RefOf(dir / "new:one")));
}

TEST(FSSpec, NamesAndFoldersThatCannotBeUsedAreRefused) {
  ScratchDir dir;
  FSRef folder = RefOf(dir.path());
  FSCatalogInfo info{};
  ASSERT_EQ(FSGetCatalogInfo(&folder, kFSCatInfoNodeID, &info, nullptr, nullptr, nullptr), noErr);
  SInt32 id = static_cast<SInt32>(info.nodeID);
  auto pascal = [](const std::string& s) {
    std::vector<unsigned char> p(1, static_cast<unsigned char>(s.size()));
    p.insert(p.end(), s.begin(), s.end());
    return p;
  };
  struct Row {
    std::string name;
    SInt32 dirID;
    OSErr expected;
  } rows[] = {{std::string(63, 'n'), id, fnfErr},   {std::string(64, 'n'), id, bdNamErr},
              {"a/b", id, bdNamErr},                {"..", id, bdNamErr},
              {"x", 999999, dirNFErr},              {"x", -5, dirNFErr}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FSSpec spec{};
    EXPECT_EQ(FSMakeFSSpec(0, row.dirID, pascal(row.name).data(), &spec), row.expected);
  }
  // An item whose name is longer than 63 bytes has no FSSpec.
  std::string longName(100, 'L');
  Touch(dir / longName);
  FSRef ref = RefOf(dir / longName);
  FSSpec spec;
  EXPECT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoNone, nullptr, nullptr, &spec, nullptr), bdNamErr);
  EXPECT_EQ(FSMakeFSSpec(0, 0, pascal(dir / longName).data(), &spec), bdNamErr);
  EXPECT_EQ(FSMakeFSSpec(0, 0, pascal(dir / "f").data(), nullptr), paramErr);
}

TEST(FSSpec, FullPathWithVolumeAndFolderZero) {
  ScratchDir dir;
  Touch(dir / "f");
  std::string path = dir / "f";
  std::string name = std::string(1, static_cast<char>(path.size())) + path;
  FSSpec spec{};
  ASSERT_EQ(FSMakeFSSpec(0, 0, reinterpret_cast<const unsigned char*>(name.data()), &spec), noErr);
  FSRef ref;
  ASSERT_EQ(FSpMakeFSRef(&spec, &ref), noErr);
  EXPECT_TRUE(SameRef(ref, RefOf(path)));
}
