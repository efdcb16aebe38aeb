// Object specifiers and alias descriptors.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <functional>
#include <string>

#include "aekit/MoreAEObjects.h"
#include "aekit/MoreAppleEvents.h"
#include "testing/TestSupport.h"

namespace {

struct Spec {
  DescType want = 0, form = 0, keyType = 0, fromType = 0;
  std::string key;
};

// Reads {want, form, seld, from} of an object specifier.
Spec Read(const AEDesc* obj) {
  Spec s;
  EXPECT_EQ(obj->descriptorType, DescType(typeObjectSpecifier));
  DescType type;
  Size size;
  EXPECT_EQ(AEGetKeyPtr(obj, keyAEDesiredClass, typeWildCard, &type, &s.want, 4, &size), noErr);
  EXPECT_EQ(AEGetKeyPtr(obj, keyAEKeyForm, typeWildCard, &type, &s.form, 4, &size), noErr);
  AEDesc part;
  MoreAENullDesc(&part);
  EXPECT_EQ(AEGetKeyDesc(obj, keyAEKeyData, typeWildCard, &part), noErr);
  s.keyType = part.descriptorType;
  s.key.assign(size_t(AEGetDescDataSize(&part)), '\0');
  if (!s.key.empty()) AEGetDescData(&part, s.key.data(), Size(s.key.size()));
  MoreAEDisposeDesc(&part);
  EXPECT_EQ(AEGetKeyDesc(obj, keyAEContainer, typeWildCard, &part), noErr);
  s.fromType = part.descriptorType;
  MoreAEDisposeDesc(&part);
  return s;
}

template <typename T>
std::string Bytes(const T& value) {
  return std::string(reinterpret_cast<const char*>(&value), sizeof(value));
}

std::string Units(const std::string& ascii) {
  std::string out;
  for (char c : ascii) {
    const UniChar u = UInt8(c);
    out += Bytes(u);
  }
  return out;
}

std::string HandleBytes(Handle h) { return std::string(*h, size_t(GetHandleSize(h))); }

class Objects : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = scratch_ / "item.txt";
    tw::test::WriteFile(file_, "x");
    ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(file_.c_str()), &ref_, nullptr), noErr);
    ASSERT_EQ(FSNewAlias(nullptr, &ref_, &alias_), noErr);
    MoreAENullDesc(&null_);
    MoreAENullDesc(&out_);
  }
  void TearDown() override {
    MoreAEDisposeDesc(&out_);
    DisposeHandle(reinterpret_cast<Handle>(alias_));
  }
  tw::test::ScratchDir scratch_;
  std::string file_;
  FSRef ref_;
  AliasHandle alias_ = nullptr;
  AEDesc null_;
  AEDesc out_;
};

}  // namespace

// ---------------------------------------------------------------------------
// Builders: one row per builder with the specifier it must make.

TEST_F(Objects, BuilderTable) {
  FSSpec spec;
  ASSERT_EQ(FSGetCatalogInfo(&ref_, kFSCatInfoNone, nullptr, nullptr, &spec, nullptr), noErr);
  const std::string aliasBytes = HandleBytes(reinterpret_cast<Handle>(alias_));
  const ProcessSerialNumber psn = {0, 42};
  const Str255 name = {5, 'H', 'e', 'l', 'l', 'o'};
  const Str255 empty = {0};
  struct Row {
    const char* what;
    std::function<OSStatus(AEDesc* container, AEDesc* out)> build;
    DescType want, form, keyType;
    std::string key;  // empty: only the type is checked (alias records differ per call)
  };
  const Row rows[] = {
      {"property sele", [](AEDesc* c, AEDesc* o) { return MoreAEOCreatePropertyObject(pSelection, c, o); },
       cProperty, formPropertyID, typeType, Bytes(DescType('sele'))},
      {"process", [&](AEDesc* c, AEDesc* o) { return MoreAEOCreateProcessObject(&psn, c, o); },
       'prcs', formUniqueID, typeProcessSerialNumber, Bytes(psn)},
      {"every object", [](AEDesc* c, AEDesc* o) { return MoreAEOCreateSelectionObject(kAEAll, c, o); },
       cObject, formAbsolutePosition, typeAbsoluteOrdinal, Bytes(DescType(kAEAll))},
      {"alias", [&](AEDesc* c, AEDesc* o) { return MoreAEOCreateAliasObject(alias_, c, o); },
       typeAlias, formAbsolutePosition, typeAlias, aliasBytes},
      {"alias of FSRef", [&](AEDesc* c, AEDesc* o) { return MoreAEOCreateAliasObjectFromFSRef(&ref_, c, o); },
       typeAlias, formAbsolutePosition, typeAlias, ""},
      {"alias of FSSpec", [&](AEDesc* c, AEDesc* o) { return MoreAEOCreateAliasObjectFromFSSpec(&spec, c, o); },
       typeAlias, formAbsolutePosition, typeAlias, ""},
      {"unique ID", [](AEDesc* c, AEDesc* o) { return MoreAEOCreateObjSpecifierFormUniqueID('cwin', c, -7, false, o); },
       'cwin', formUniqueID, typeSInt32, Bytes(SInt32(-7))},
      {"index", [](AEDesc* c, AEDesc* o) { return MoreAEOCreateObjSpecifierFormAbsPos('docu', c, 3, false, o); },
       'docu', formAbsolutePosition, typeSInt32, Bytes(SInt32(3))},
      {"name", [&](AEDesc* c, AEDesc* o) { return MoreAEOCreateObjSpecifierFormName('cwin', c, name, false, o); },
       'cwin', formName, typeChar, "Hello"},
      {"empty name", [&](AEDesc* c, AEDesc* o) { return MoreAEOCreateObjSpecifierFormName('cwin', c, empty, false, o); },
       'cwin', formName, typeChar, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    AEDesc container, out;
    MoreAENullDesc(&container);
    MoreAENullDesc(&out);
    ASSERT_EQ(row.build(&container, &out), noErr);
    Spec s = Read(&out);
    EXPECT_EQ(s.want, row.want);
    EXPECT_EQ(s.form, row.form);
    EXPECT_EQ(s.keyType, row.keyType);
    if (!row.key.empty() || row.keyType == typeChar) {
      EXPECT_EQ(s.key, row.key);
    }
    EXPECT_EQ(s.fromType, DescType(typeNull));
    MoreAEDisposeDesc(&out);
  }
}

// With dispose-inputs the container is handed over and gone afterwards, and
// the key data is disposed exactly once (ASan reports a second free); without
// it the container stays the caller's and usable.
TEST_F(Objects, GenericBuildersDisposeInputsTable) {
  const Str255 name = {3, 'a', 'b', 'c'};
  using Build = std::function<OSStatus(AEDesc*, Boolean, AEDesc*)>;
  const Build builds[] = {
      [](AEDesc* c, Boolean d, AEDesc* o) { return MoreAEOCreateObjSpecifierFormUniqueID('cwin', c, 9, d, o); },
      [](AEDesc* c, Boolean d, AEDesc* o) { return MoreAEOCreateObjSpecifierFormAbsPos('cwin', c, 1, d, o); },
      [&](AEDesc* c, Boolean d, AEDesc* o) { return MoreAEOCreateObjSpecifierFormName('cwin', c, name, d, o); },
  };
  for (Boolean dispose : {Boolean(false), Boolean(true)}) {
    for (size_t i = 0; i < 3; ++i) {
      SCOPED_TRACE(std::to_string(i) + (dispose ? " dispose" : " keep"));
      AEDesc container, out;
      MoreAENullDesc(&container);
      MoreAENullDesc(&out);
      ASSERT_EQ(MoreAEOCreatePropertyObject('pnam', &null_, &container), noErr);
      ASSERT_EQ(builds[i](&container, dispose, &out), noErr);
      Spec s = Read(&out);
      EXPECT_EQ(s.fromType, DescType(typeObjectSpecifier));
      if (dispose) {
        EXPECT_EQ(container.descriptorType, DescType(typeNull));
        EXPECT_EQ(container.dataHandle, nullptr);
      } else {
        Spec c = Read(&container);  // still the caller's, still whole
        EXPECT_EQ(c.form, DescType(formPropertyID));
      }
      MoreAEDisposeDesc(&container);
      MoreAEDisposeDesc(&out);
    }
  }
}

TEST_F(Objects, PositionListIsHorizontalThenVertical) {
  Point p;
  p.v = -5;
  p.h = 120;
  ASSERT_EQ(MoreAEOCreatePositionList(p, &out_), noErr);
  EXPECT_EQ(out_.descriptorType, DescType(typeAEList));
  long count = 0;
  ASSERT_EQ(AECountItems(&out_, &count), noErr);
  ASSERT_EQ(count, 2);
  const SInt32 expected[2] = {120, -5};
  for (long i = 1; i <= 2; ++i) {
    AEDesc item;
    MoreAENullDesc(&item);
    AEKeyword key;
    ASSERT_EQ(AEGetNthDesc(&out_, i, typeWildCard, &key, &item), noErr);
    EXPECT_EQ(item.descriptorType, DescType(typeSInt32));
    SInt32 v = 0;
    ASSERT_EQ(AEGetDescDataSize(&item), 4);
    AEGetDescData(&item, &v, 4);
    EXPECT_EQ(v, expected[i - 1]);
    MoreAEDisposeDesc(&item);
  }
}

// ---------------------------------------------------------------------------
// Alias descriptors and parameters.

TEST_F(Objects, AliasDescKeepsTheLockState) {
  Handle h = reinterpret_cast<Handle>(alias_);
  for (bool locked : {false, true}) {
    SCOPED_TRACE(locked);
    if (locked) HLock(h); else HUnlock(h);
    AEDesc d;
    MoreAENullDesc(&d);
    ASSERT_EQ(MoreAEOCreateAliasDesc(alias_, &d), noErr);
    EXPECT_EQ(d.descriptorType, DescType(typeAlias));
    std::string bytes(size_t(AEGetDescDataSize(&d)), '\0');
    AEGetDescData(&d, bytes.data(), Size(bytes.size()));
    EXPECT_EQ(bytes, HandleBytes(h));
    EXPECT_EQ((HGetState(h) & kHandleLockedMask) != 0, locked);
    MoreAEDisposeDesc(&d);
  }
  HUnlock(h);
}

TEST_F(Objects, AliasDescFromFSRefResolvesToTheItem) {
  ASSERT_EQ(MoreAEOCreateAliasDescFromFSRef(&ref_, &out_), noErr);
  Handle h = NewHandle(AEGetDescDataSize(&out_));
  AEGetDescData(&out_, *h, GetHandleSize(h));
  FSRef back;
  Boolean changed;
  ASSERT_EQ(FSResolveAlias(nullptr, reinterpret_cast<AliasHandle>(h), &back, &changed), noErr);
  char path[1024];
  ASSERT_EQ(FSRefMakePath(&back, reinterpret_cast<UInt8*>(path), sizeof(path)), noErr);
  EXPECT_EQ(std::string(path), file_);
  DisposeHandle(h);
}

TEST_F(Objects, AliasParameterIsSizedByTheRecordAndFreedOnEveryPath) {
  AppleEvent event;
  MoreAENullDesc(&event);
  ASSERT_EQ(AECreateAppleEvent('clas', 'iden', nullptr, kAutoGenerateReturnID, kAnyTransactionID, &event), noErr);
  ASSERT_EQ(MoreAEOAddAliasParameterFromFSRef(&ref_, 'fsal', &event), noErr);
  AEDesc param;
  MoreAENullDesc(&param);
  ASSERT_EQ(AEGetParamDesc(&event, 'fsal', typeWildCard, &param), noErr);
  EXPECT_EQ(param.descriptorType, DescType(typeAlias));
  EXPECT_EQ(AEGetDescDataSize(&param), GetAliasSize(alias_));
  MoreAEDisposeDesc(&param);

  FSSpec spec;
  ASSERT_EQ(FSGetCatalogInfo(&ref_, kFSCatInfoNone, nullptr, nullptr, &spec, nullptr), noErr);
  EXPECT_EQ(MoreAEOAddAliasParameterFromFSSpec(&spec, 'fssa', &event), noErr);
  MoreAEDisposeDesc(&event);

  // A failed AEPutParamPtr (the null descriptor is no event): the alias is
  // freed all the same (ASan reports a leak otherwise).
  AEDesc notAnEvent;
  MoreAENullDesc(&notAnEvent);
  EXPECT_NE(MoreAEOAddAliasParameterFromFSRef(&ref_, 'fsal', &notAnEvent), noErr);
  EXPECT_NE(MoreAEOAddAliasParameterFromFSSpec(&spec, 'fsal', &notAnEvent), noErr);
}

TEST_F(Objects, MissingItemsAreRefused) {
  EXPECT_EQ(MoreAEOCreateAliasDescFromFSRef(nullptr, &out_), paramErr);
  EXPECT_EQ(MoreAEOCreateAliasDescFromFSSpec(nullptr, &out_), paramErr);
  EXPECT_EQ(MoreAEOCreateAliasDesc(nullptr, &out_), paramErr);
  EXPECT_EQ(MoreAEOCreateObjSpecifierFromFSRef(nullptr, &out_), paramErr);
  EXPECT_EQ(MoreAEOCreateObjSpecifierFromFSSpec(nullptr, &out_), paramErr);
  EXPECT_EQ(MoreAEOCreateObjSpecifierFromCFURLRef(nullptr, &out_), paramErr);
  EXPECT_EQ(out_.descriptorType, DescType(typeNull));
  // An item that went away: the File Manager's code, unchanged.
  ASSERT_EQ(::unlink(file_.c_str()), 0);
  EXPECT_EQ(MoreAEOCreateAliasDescFromFSRef(&ref_, &out_), fnfErr);
}

// ---------------------------------------------------------------------------
// Files and folders by HFS path.

namespace {

CFURLRef UrlOf(const std::string& path, bool directory) {
  CFStringRef s = CFStringCreateWithCString(kCFAllocatorDefault, path.c_str(), kCFStringEncodingUTF8);
  CFURLRef url = CFURLCreateWithFileSystemPath(kCFAllocatorDefault, s, kCFURLPOSIXPathStyle, directory);
  CFRelease(s);
  return url;
}

std::string HfsPath(CFURLRef url) {
  CFStringRef s = CFURLCopyFileSystemPath(url, kCFURLHFSPathStyle);
  std::string out;
  const CFIndex n = CFStringGetLength(s);
  for (CFIndex i = 0; i < n; ++i) {
    UniChar u;
    CFStringGetCharacters(s, CFRangeMake(i, 1), &u);
    out += char(u);  // the scratch paths are ASCII
  }
  CFRelease(s);
  return out;
}

}  // namespace

TEST_F(Objects, PathSpecifierTable) {
  ::mkdir((scratch_ / "Projects").c_str(), 0700);
  ::mkdir((scratch_ / "Tool.app").c_str(), 0700);
  struct Row {
    const char* what;
    std::string path;
    bool directory;
    DescType want;
    bool colon;
  };
  const Row rows[] = {
      {"folder", scratch_ / "Projects", true, cFolder, true},
      {"file", file_, false, cFile, false},
      {"package", scratch_ / "Tool.app", true, cFile, false},
      // Launch Services cannot look at an item that does not exist: a
      // folder URL then stays a folder.
      {"missing folder", scratch_ / "Gone", true, cFolder, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    CFURLRef url = UrlOf(row.path, row.directory);
    ASSERT_NE(url, nullptr);
    AEDesc out;
    MoreAENullDesc(&out);
    ASSERT_EQ(MoreAEOCreateObjSpecifierFromCFURLRef(url, &out), noErr);
    Spec s = Read(&out);
    EXPECT_EQ(s.want, row.want);
    EXPECT_EQ(s.form, DescType(formName));
    EXPECT_EQ(s.keyType, DescType(typeUnicodeText));
    EXPECT_EQ(s.fromType, DescType(typeNull));
    std::string hfs = HfsPath(url);
    EXPECT_EQ(s.key, Units(row.colon ? hfs + ":" : hfs));
    MoreAEDisposeDesc(&out);
    CFRelease(url);
  }
}

TEST_F(Objects, PathSpecifierFromFSRefAndFSSpec) {
  ASSERT_EQ(MoreAEOCreateObjSpecifierFromFSRef(&ref_, &out_), noErr);
  Spec fromRef = Read(&out_);
  EXPECT_EQ(fromRef.want, DescType(cFile));
  MoreAEDisposeDesc(&out_);
  FSSpec spec;
  ASSERT_EQ(FSGetCatalogInfo(&ref_, kFSCatInfoNone, nullptr, nullptr, &spec, nullptr), noErr);
  ASSERT_EQ(MoreAEOCreateObjSpecifierFromFSSpec(&spec, &out_), noErr);
  Spec fromSpec = Read(&out_);
  EXPECT_EQ(fromSpec.key, fromRef.key);
  CFURLRef url = UrlOf(file_, false);
  EXPECT_EQ(fromRef.key, Units(HfsPath(url)));
  CFRelease(url);
}

TEST_F(Objects, PathSpecifierOutOfMemoryMakesNone) {
  CFURLRef url = UrlOf(file_, false);
  MacMemoryFailAllocations(0, 1);
  EXPECT_EQ(MoreAEOCreateObjSpecifierFromCFURLRef(url, &out_), memFullErr);
  MacMemoryFailAllocations(0, 0);
  EXPECT_EQ(out_.descriptorType, DescType(typeNull));
  CFRelease(url);
}
