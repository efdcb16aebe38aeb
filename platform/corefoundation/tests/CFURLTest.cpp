// File URLs: POSIX and HFS paths both ways, FSRefs, text forms.
#include <gtest/gtest.h>

#include <string>

#include "platform/corefoundation/CoreFoundation.h"
#include "platform/corefoundation/HFSPaths.h"
#include "platform/files/Files.h"
#include "testing/TestSupport.h"

namespace {

std::string UTF8(CFStringRef s) {
  if (s == nullptr) return "<null>";
  char buffer[1024];
  if (!CFStringGetCString(s, buffer, sizeof buffer, kCFStringEncodingUTF8)) return "<no utf-8>";
  return buffer;
}

CFStringRef NewString(const std::string& utf8) {
  return CFStringCreateWithCString(nullptr, utf8.c_str(), kCFStringEncodingUTF8);
}

std::string FileRep(CFURLRef url) {
  UInt8 buffer[1024];
  if (!CFURLGetFileSystemRepresentation(url, true, buffer, sizeof buffer)) return "<refused>";
  return reinterpret_cast<char*>(buffer);
}

TEST(HFSPaths, POSIXToHFSAndBack) {
  struct Row {
    const char* posix;
    const char* hfs;
    const char* back;  // the POSIX path the HFS path leads to
  } rows[] = {
      {"/", "Macintosh HD:", "/"},
      {"/a/b/c", "Macintosh HD:a:b:c", "/a/b/c"},
      {"/Users/me/", "Macintosh HD:Users:me", "/Users/me"},
      {"/tmp/12:30 notes", "Macintosh HD:tmp:12/30 notes", "/tmp/12:30 notes"},
      {"//a/./b/../c", "Macintosh HD:a:c", "/a/c"},
      {"/..", "Macintosh HD:", "/"},
      {"/caf\xC3\xA9", "Macintosh HD:caf\xC3\xA9", "/caf\xC3\xA9"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.posix);
    std::string hfs;
    ASSERT_EQ(macplatform::HFSPathFromPOSIXPath(std::string(row.posix), &hfs), noErr);
    EXPECT_EQ(hfs, row.hfs);
    std::string posix;
    ASSERT_EQ(macplatform::POSIXPathFromHFSPath(hfs, &posix), noErr);
    EXPECT_EQ(posix, row.back);
  }
}

TEST(HFSPaths, RefusedPaths) {
  struct Row {
    const char* hfs;
    OSErr expected;
  } rows[] = {
      {"Other Disk:a", nsvErr},
      {"Macintosh HDX:a", nsvErr},
      {":a:b", bdNamErr},
      {"", bdNamErr},
      {"Macintosh HD:a::b", bdNamErr},
      {"Macintosh HD:..", bdNamErr},
      {"Macintosh HD:a:.", bdNamErr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.hfs);
    std::string posix = "untouched";
    EXPECT_EQ(macplatform::POSIXPathFromHFSPath(std::string(row.hfs), &posix), row.expected);
    EXPECT_EQ(posix, "untouched");
  }
  std::string posix;
  bool folder = false;
  EXPECT_EQ(macplatform::POSIXPathFromHFSPath(std::string("macintosh hd:Docs:"), &posix, &folder), noErr);
  EXPECT_EQ(posix, "/Docs");
  EXPECT_TRUE(folder);
  EXPECT_EQ(macplatform::POSIXPathFromHFSPath(std::string("Macintosh HD"), &posix, &folder), noErr);
  EXPECT_EQ(posix, "/");
  std::string hfs;
  EXPECT_EQ(macplatform::HFSPathFromPOSIXPath(std::string("relative/path"), &hfs), paramErr);
}

TEST(HFSPaths, NonUTF8NamesSurviveTheRoundTrip) {
  const std::string latin1 = "/tmp/caf\xE9:x";
  std::u16string hfs;
  ASSERT_EQ(macplatform::HFSPathFromPOSIXPath(latin1, &hfs), noErr);
  EXPECT_EQ(hfs, u"Macintosh HD:tmp:caf\xDCE9/x");
  std::string back;
  ASSERT_EQ(macplatform::POSIXPathFromHFSPath(hfs, &back), noErr);
  EXPECT_EQ(back, latin1);
  // No UTF-8 form exists for such a name.
  std::string utf8;
  EXPECT_EQ(macplatform::HFSPathFromPOSIXPath(latin1, &utf8), bdNamErr);
  // A lone surrogate that is no escaped byte is refused.
  EXPECT_EQ(macplatform::POSIXPathFromHFSPath(std::u16string(u"Macintosh HD:\xD800"), &back), bdNamErr);
}

TEST(CFURL, FileSystemPathsInBothStyles) {
  struct Row {
    const char* path;
    CFURLPathStyle style;
    bool isDirectory;
    const char* posix;
    const char* hfs;
    const char* text;
    bool hasDirectoryPath;
  } rows[] = {
      {"/a/b.txt", kCFURLPOSIXPathStyle, false, "/a/b.txt", "Macintosh HD:a:b.txt", "file:///a/b.txt", false},
      {"/a/folder", kCFURLPOSIXPathStyle, true, "/a/folder", "Macintosh HD:a:folder", "file:///a/folder/", true},
      {"/a/folder/", kCFURLPOSIXPathStyle, false, "/a/folder", "Macintosh HD:a:folder", "file:///a/folder/", true},
      {"/", kCFURLPOSIXPathStyle, false, "/", "Macintosh HD:", "file:///", true},
      {"/x/my file #1%", kCFURLPOSIXPathStyle, false, "/x/my file #1%", "Macintosh HD:x:my file #1%",
       "file:///x/my%20file%20%231%25", false},
      {"/x/12:00", kCFURLPOSIXPathStyle, false, "/x/12:00", "Macintosh HD:x:12/00", "file:///x/12:00", false},
      {"/caf\xC3\xA9", kCFURLPOSIXPathStyle, false, "/caf\xC3\xA9", "Macintosh HD:caf\xC3\xA9", "file:///caf%C3%A9", false},
      {"Macintosh HD:a:b.txt", kCFURLHFSPathStyle, false, "/a/b.txt", "Macintosh HD:a:b.txt", "file:///a/b.txt", false},
      {"Macintosh HD:a:folder:", kCFURLHFSPathStyle, false, "/a/folder", "Macintosh HD:a:folder", "file:///a/folder/", true},
      {"Macintosh HD:x:12/00", kCFURLHFSPathStyle, false, "/x/12:00", "Macintosh HD:x:12/00", "file:///x/12:00", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    CFStringRef path = NewString(row.path);
    CFURLRef url = CFURLCreateWithFileSystemPath(nullptr, path, row.style, row.isDirectory);
    CFRelease(path);
    ASSERT_NE(url, nullptr);
    CFStringRef posix = CFURLCopyFileSystemPath(url, kCFURLPOSIXPathStyle);
    CFStringRef hfs = CFURLCopyFileSystemPath(url, kCFURLHFSPathStyle);
    EXPECT_EQ(UTF8(posix), row.posix);
    EXPECT_EQ(UTF8(hfs), row.hfs);
    EXPECT_EQ(UTF8(CFURLGetString(url)), row.text);
    EXPECT_EQ(bool(CFURLHasDirectoryPath(url)), row.hasDirectoryPath);
    EXPECT_EQ(FileRep(url), row.posix);
    // The text form leads back to an equal URL.
    CFURLRef again = CFURLCreateWithString(nullptr, CFURLGetString(url), nullptr);
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(CFEqual(url, again));
    EXPECT_EQ(CFHash(url), CFHash(again));
    CFRelease(again);
    CFRelease(posix);
    CFRelease(hfs);
    CFRelease(url);
  }
}

TEST(CFURL, RefusedInputs) {
  const char* hfsPaths[] = {"Other:a", ":relative", "Macintosh HD:a::b"};
  for (const char* p : hfsPaths) {
    CFStringRef s = NewString(p);
    EXPECT_EQ(CFURLCreateWithFileSystemPath(nullptr, s, kCFURLHFSPathStyle, false), nullptr) << p;
    CFRelease(s);
  }
  const char* texts[] = {"http://example.com/a", "file://otherhost/a", "file:///a%2", "file:///a%zz",
                         "file:///a%00b", "file://", "relative/without/base"};
  for (const char* t : texts) {
    CFStringRef s = NewString(t);
    EXPECT_EQ(CFURLCreateWithString(nullptr, s, nullptr), nullptr) << t;
    CFRelease(s);
  }
  CFStringRef empty = NewString("");
  EXPECT_EQ(CFURLCreateWithFileSystemPath(nullptr, empty, kCFURLPOSIXPathStyle, false), nullptr);
  CFRelease(empty);

  // Too small a buffer for the path.
  CFStringRef p = NewString("/a/long/path");
  CFURLRef url = CFURLCreateWithFileSystemPath(nullptr, p, kCFURLPOSIXPathStyle, false);
  UInt8 small[12];
  EXPECT_FALSE(CFURLGetFileSystemRepresentation(url, true, small, sizeof small));
  CFRelease(url);
  CFRelease(p);
}

TEST(CFURL, StringsWithHostsBasesAndEscapes) {
  struct Row {
    const char* text;
    const char* posix;
  } rows[] = {
      {"file://localhost/tmp/a%20b", "/tmp/a b"},
      {"FILE:/tmp/x", "/tmp/x"},
      {"file:///tmp/x?query#frag", "/tmp/x"},
      {"file:///tmp/caf%E9", "/tmp/caf\xE9"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    CFStringRef s = NewString(row.text);
    CFURLRef url = CFURLCreateWithString(nullptr, s, nullptr);
    CFRelease(s);
    ASSERT_NE(url, nullptr);
    EXPECT_EQ(FileRep(url), row.posix);
    CFRelease(url);
  }
  CFStringRef basePath = NewString("/base/folder/");
  CFURLRef base = CFURLCreateWithFileSystemPath(nullptr, basePath, kCFURLPOSIXPathStyle, true);
  CFStringRef rel = NewString("sub/file%201");
  CFURLRef url = CFURLCreateWithString(nullptr, rel, base);
  ASSERT_NE(url, nullptr);
  EXPECT_EQ(FileRep(url), "/base/folder/sub/file 1");
  CFRelease(url);
  CFRelease(rel);
  CFRelease(base);
  CFRelease(basePath);
}

TEST(CFURL, FSRefRoundTrip) {
  tw::test::ScratchDir dir;
  tw::test::WriteFile(dir / "file.txt", "x");
  FSRef ref;
  Boolean isDirectory = false;
  ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(dir.path().c_str()), &ref, &isDirectory), noErr);
  CFURLRef folder = CFURLCreateFromFSRef(nullptr, &ref);
  ASSERT_NE(folder, nullptr);
  EXPECT_TRUE(CFURLHasDirectoryPath(folder));
  EXPECT_EQ(FileRep(folder), dir.path());

  std::string filePath = dir / "file.txt";
  ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(filePath.c_str()), &ref, nullptr), noErr);
  CFURLRef file = CFURLCreateFromFSRef(nullptr, &ref);
  ASSERT_NE(file, nullptr);
  EXPECT_FALSE(CFURLHasDirectoryPath(file));
  FSRef back;
  ASSERT_TRUE(CFURLGetFSRef(file, &back));
  UInt8 path[1024];
  ASSERT_EQ(FSRefMakePath(&back, path, sizeof path), noErr);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(path)), filePath);

  CFStringRef missingPath = NewString(dir / "missing");
  CFURLRef missing = CFURLCreateWithFileSystemPath(nullptr, missingPath, kCFURLPOSIXPathStyle, false);
  EXPECT_FALSE(CFURLGetFSRef(missing, &back));
  EXPECT_EQ(CFURLCreateFromFSRef(nullptr, nullptr), nullptr);
  CFRelease(missing);
  CFRelease(missingPath);
  CFRelease(file);
  CFRelease(folder);
}

}  // namespace
