// Item information: plain files, folders, the package rule, links, Finder
// information and missing items.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <sys/stat.h>

#include "platform/files/Files.h"
#include "platform/launchservices/LaunchServices.h"
#include "testing/TestSupport.h"

namespace {

CFURLRef URLFor(const std::string& path) {
  CFStringRef s = CFStringCreateWithCString(nullptr, path.c_str(), kCFStringEncodingUTF8);
  CFURLRef url = CFURLCreateWithFileSystemPath(nullptr, s, kCFURLPOSIXPathStyle, false);
  CFRelease(s);
  return url;
}

OSStatus InfoFor(const std::string& path, LSRequestedInfo which, LSItemInfoRecord* info) {
  CFURLRef url = URLFor(path);
  OSStatus err = LSCopyItemInfoForURL(url, which, info);
  CFRelease(url);
  return err;
}

TEST(LaunchServices, FlagsFollowThePackageRule) {
  tw::test::ScratchDir dir;
  tw::test::WriteFile(dir / "notes.txt", "x");
  mkdir((dir / "Plain Folder").c_str(), 0755);
  mkdir((dir / "Tintwell.prefPane").c_str(), 0755);
  mkdir((dir / "Tool.APP").c_str(), 0755);
  mkdir((dir / "Story.rtfd").c_str(), 0755);
  mkdir((dir / "Odd").c_str(), 0755);
  mkdir((dir / "Odd/Contents").c_str(), 0755);
  tw::test::WriteFile(dir / "Odd/Contents/Info.plist", "<plist/>");
  mkdir((dir / "app").c_str(), 0755);  // the extension needs a dot
  mkdir((dir / ".hidden").c_str(), 0755);
  tw::test::WriteFile(dir / "fake.app", "a file, not a folder");
  symlink("notes.txt", (dir / "link").c_str());

  struct Row {
    const char* name;
    LSItemInfoFlags expected;
  } rows[] = {
      {"notes.txt", kLSItemInfoIsPlainFile},
      {"Plain Folder", kLSItemInfoIsContainer},
      {"Tintwell.prefPane", kLSItemInfoIsContainer | kLSItemInfoIsPackage},
      {"Tool.APP", kLSItemInfoIsContainer | kLSItemInfoIsPackage | kLSItemInfoIsApplication |
                       kLSItemInfoIsNativeApp},
      {"Story.rtfd", kLSItemInfoIsContainer | kLSItemInfoIsPackage},
      {"Odd", kLSItemInfoIsContainer | kLSItemInfoIsPackage},
      {"app", kLSItemInfoIsContainer},
      {".hidden", kLSItemInfoIsContainer | kLSItemInfoIsInvisible},
      {"fake.app", kLSItemInfoIsPlainFile},
      {"link", kLSItemInfoIsSymlink | kLSItemInfoIsAliasFile},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    LSItemInfoRecord info;
    std::memset(&info, 0xAB, sizeof info);
    ASSERT_EQ(InfoFor(dir / row.name, kLSRequestBasicFlagsOnly, &info), noErr);
    EXPECT_EQ(info.flags, row.expected);
    EXPECT_EQ(info.extension, nullptr);
    EXPECT_EQ(info.iconFileName, nullptr);
  }
  LSItemInfoRecord root;
  ASSERT_EQ(InfoFor("/", kLSRequestBasicFlagsOnly, &root), noErr);
  EXPECT_EQ(root.flags, kLSItemInfoIsContainer | kLSItemInfoIsVolume);
}

TEST(LaunchServices, ExtensionTypeAndCreatorFromFinderInfo) {
  tw::test::ScratchDir dir;
  std::string path = dir / "Doc.Text";
  tw::test::WriteFile(path, "x");
  FSRef ref;
  ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), &ref, nullptr), noErr);
  FSCatalogInfo catalog{};
  const UInt8 finderInfo[16] = {'T', 'E', 'X', 'T', 't', 't', 'x', 't', 0x40, 0x00};
  std::memcpy(catalog.finderInfo, finderInfo, 16);
  OSErr set = FSSetCatalogInfo(&ref, kFSCatInfoFinderInfo, &catalog);
  if (set == errFSOperationNotSupported) GTEST_SKIP() << "no extended attributes here";
  ASSERT_EQ(set, noErr);

  LSItemInfoRecord info{};
  ASSERT_EQ(InfoFor(path, kLSRequestAllInfo, &info), noErr);
  EXPECT_EQ(info.flags, kLSItemInfoIsPlainFile | kLSItemInfoIsInvisible);
  EXPECT_EQ(info.filetype, OSType('TEXT'));
  EXPECT_EQ(info.creator, OSType('ttxt'));
  ASSERT_NE(info.extension, nullptr);
  EXPECT_TRUE(CFEqual(info.extension, CFSTR("Text")));
  CFRelease(info.extension);

  // Type and creator only when asked for.
  ASSERT_EQ(InfoFor(path, kLSRequestBasicFlagsOnly, &info), noErr);
  EXPECT_EQ(info.filetype, 0u);
}

TEST(LaunchServices, MissingItemsAndBadArguments) {
  tw::test::ScratchDir dir;
  LSItemInfoRecord info{};
  info.flags = 0x1234;
  EXPECT_EQ(InfoFor(dir / "missing", kLSRequestAllInfo, &info), fnfErr);
  EXPECT_EQ(info.flags, 0x1234u);
  CFURLRef url = URLFor(dir.path());
  EXPECT_EQ(LSCopyItemInfoForURL(nullptr, kLSRequestAllInfo, &info), paramErr);
  EXPECT_EQ(LSCopyItemInfoForURL(url, kLSRequestAllInfo, nullptr), paramErr);
  EXPECT_EQ(LSCopyItemInfoForURL(url, 0, &info), paramErr);
  CFRelease(url);
}

}  // namespace
