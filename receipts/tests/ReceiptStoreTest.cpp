// The receipt store: loading from either domain, adding paths, writing only
// when dirty, moving a receipt between domains, and stored values of the
// wrong shape.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/core/SysCalls.h"
#include "platform/preferences/CFPreferences.h"
#include "receipts/TICookieMonster.h"
#include "testing/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using tw::test::PrivateEnvironment;

const CFStringRef kProduct = CFSTR("com.tolvane.tintwell");

struct Ref {
  CFTypeRef ref;
  explicit Ref(CFTypeRef r = nullptr) : ref(r) {}
  ~Ref() {
    if (ref != nullptr) CFRelease(ref);
  }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
};

CFStringRef Str(const std::string& s) {
  return CFStringCreateWithCString(nullptr, s.c_str(), kCFStringEncodingUTF8);
}

std::string UTF8(const void* s) {
  char buffer[1024] = {};
  if (s == nullptr || CFGetTypeID(s) != CFStringGetTypeID() ||
      !CFStringGetCString(static_cast<CFStringRef>(s), buffer, sizeof buffer, kCFStringEncodingUTF8))
    return "<not a string>";
  return buffer;
}

std::vector<std::string> Paths(CFArrayRef files) {
  std::vector<std::string> out;
  for (CFIndex i = 0; files != nullptr && i < CFArrayGetCount(files); ++i)
    out.push_back(UTF8(CFArrayGetValueAtIndex(files, i)));
  return out;
}

enum Scope { kLocal = 0, kGlobal = 1 };

void Put(Scope scope, CFPropertyListRef value) {
  CFStringRef user = scope == kGlobal ? kCFPreferencesAnyUser : kCFPreferencesCurrentUser;
  CFStringRef host = scope == kGlobal ? kCFPreferencesCurrentHost : kCFPreferencesAnyHost;
  CFPreferencesSetValue(kProduct, value, kTIReceiptsApplicationID, user, host);
  ASSERT_TRUE(CFPreferencesSynchronize(kTIReceiptsApplicationID, user, host));
}

// A receipt dictionary as the installer writes it.
CFDictionaryRef MakeReceipt(SInt32 version, const std::vector<std::string>& paths) {
  CFMutableArrayRef files = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
  for (const auto& p : paths) {
    Ref s(Str(p));
    CFArrayAppendValue(files, s.ref);
  }
  Ref number(CFNumberCreate(nullptr, kCFNumberSInt32Type, &version));
  const void* keys[] = {CFSTR("Version"), CFSTR("Files")};
  const void* values[] = {number.ref, files};
  CFDictionaryRef receipt = CFDictionaryCreate(nullptr, keys, values, 2, &kCFTypeDictionaryKeyCallBacks,
                                               &kCFTypeDictionaryValueCallBacks);
  CFRelease(files);
  return receipt;
}

void PutReceipt(Scope scope, SInt32 version, const std::vector<std::string>& paths) {
  Ref receipt(MakeReceipt(version, paths));
  Put(scope, receipt.ref);
}

// The file of a domain, found on disk.
std::string DomainFile(const PrivateEnvironment& env, Scope scope) {
  if (scope == kLocal) return env.config() + "/macplatform/Preferences/Tolvane Installer Receipts.plist";
  std::string dir = env.system() + "/Preferences/ByHost";
  if (fs::exists(dir))
    for (auto& entry : fs::directory_iterator(dir)) {
      std::string name = entry.path().filename();
      if (name.rfind("Tolvane Installer Receipts.", 0) == 0 && name.size() > 6 &&
          name.compare(name.size() - 6, 6, ".plist") == 0)
        return entry.path();
    }
  return dir + "/missing";
}

// The product's receipt as the file holds it (read from disk, not from this
// process's preferences), or NULL.
CFDictionaryRef StoredReceipt(const PrivateEnvironment& env, Scope scope) {
  std::string file = DomainFile(env, scope);
  if (!fs::exists(file)) return nullptr;
  std::string text = tw::test::ReadFile(file);
  Ref data(CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(text.data()), static_cast<CFIndex>(text.size())));
  Ref root(CFPropertyListCreateFromXMLData(nullptr, static_cast<CFDataRef>(data.ref), 0, nullptr));
  if (root.ref == nullptr) return nullptr;
  const void* receipt = CFDictionaryGetValue(static_cast<CFDictionaryRef>(root.ref), kProduct);
  return receipt != nullptr ? static_cast<CFDictionaryRef>(CFRetain(receipt)) : nullptr;
}

SInt32 StoredVersion(CFDictionaryRef receipt) {
  SInt32 v = -1;
  auto n = static_cast<CFNumberRef>(CFDictionaryGetValue(receipt, CFSTR("Version")));
  if (n != nullptr) CFNumberGetValue(n, kCFNumberSInt32Type, &v);
  return v;
}

std::vector<std::string> StoredFiles(CFDictionaryRef receipt) {
  return Paths(static_cast<CFArrayRef>(CFDictionaryGetValue(receipt, CFSTR("Files"))));
}

TEST(ReceiptStore, LoadingTable) {
  enum Where { kNowhere, kInGlobal, kInLocal, kInBoth, kGlobalVersionZero };
  struct Row {
    UInt8 globalVersionValid;
    Where where;
    UInt8 global;
    UInt32 version;
    UInt8 isGlobal;
    UInt32 wantVersion, wantCached;
    std::vector<std::string> files;
  } rows[] = {
      {1, kInGlobal, 0, 100, 0, 100, 7, {"/g"}},
      {1, kInLocal, 1, 100, 1, 100, 9, {"/l"}},
      {1, kInBoth, 0, 100, 0, 100, 7, {"/g"}},
      {1, kNowhere, 1, 100, 1, 100, 100, {}},
      {1, kGlobalVersionZero, 0, 100, 0, 100, 100, {"/g"}},
      {0, kInGlobal, 0, 0, 1, 7, 7, {"/g"}},
      {0, kInLocal, 1, 0, 0, 9, 9, {"/l"}},
      {0, kInBoth, 0, 0, 1, 7, 7, {"/g"}},
      {0, kNowhere, 0, 0, 0, 0, 0, {}},
      {0, kNowhere, 1, 55, 1, 55, 55, {}},
      {0, kGlobalVersionZero, 0, 55, 1, 55, 55, {"/g"}},
  };
  int i = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(i++);
    PrivateEnvironment env;
    if (row.where == kInGlobal || row.where == kInBoth) PutReceipt(kGlobal, 7, {"/g"});
    if (row.where == kGlobalVersionZero) PutReceipt(kGlobal, 0, {"/g"});
    if (row.where == kInLocal || row.where == kInBoth) PutReceipt(kLocal, 9, {"/l"});
    TICookieMonster monster;
    EXPECT_EQ(monster.InitWithProductIDGlobalVersionValidGlobalVersion(kProduct, row.globalVersionValid,
                                                                       row.global, row.version),
              &monster);
    EXPECT_EQ(monster.IsGlobal(), row.isGlobal);
    EXPECT_EQ(monster.version, row.wantVersion);
    EXPECT_EQ(monster.ProductVersion(), row.wantCached);
    EXPECT_EQ(Paths(monster.FilesToRemove()), row.files);
    EXPECT_EQ(monster.dirty, 0);
  }
}

TEST(ReceiptStore, FactoriesAndNullProductID) {
  PrivateEnvironment env;
  EXPECT_EQ(TICookieMonster::MonsterWithProductID(nullptr), nullptr);
  EXPECT_EQ(TICookieMonster::MonsterWithProductIDGlobalVersion(nullptr, 1, 5), nullptr);
  TICookieMonster::RemoveProductID(nullptr);
  EXPECT_FALSE(fs::exists(DomainFile(env, kLocal)));
  // A product without a receipt: empty, local, version 0; a flush then writes
  // a local receipt with version 0.
  {
    TICookieMonsterRef monster = TICookieMonster::MonsterWithProductID(kProduct);
    ASSERT_NE(monster, nullptr);
    EXPECT_EQ(CFArrayGetCount(monster->FilesToRemove()), 0);
    EXPECT_EQ(monster->IsGlobal(), 0);
    EXPECT_EQ(monster->ProductVersion(), 0u);
    Ref path(Str("/x"));
    monster->AddFile(static_cast<CFStringRef>(path.ref));
    monster->Flush();
  }
  Ref local(StoredReceipt(env, kLocal));
  ASSERT_NE(local.ref, nullptr);
  EXPECT_EQ(StoredVersion(static_cast<CFDictionaryRef>(local.ref)), 0);
  EXPECT_EQ(StoredFiles(static_cast<CFDictionaryRef>(local.ref)), std::vector<std::string>{"/x"});
}

TEST(ReceiptStore, AddFileKeepsPathsUniqueAndRemoveFileDoesNothing) {
  PrivateEnvironment env;
  TICookieMonsterRef monster = TICookieMonster::MonsterWithProductIDGlobalVersion(kProduct, 0, 1);
  Ref a(Str("/a")), a2(Str("/a")), upper(Str("/A")), slash(Str("/a/"));
  monster->AddFile(static_cast<CFStringRef>(a.ref));
  EXPECT_EQ(monster->dirty, 1);
  monster->Flush();
  EXPECT_EQ(monster->dirty, 0);
  monster->AddFile(static_cast<CFStringRef>(a2.ref));  // an equal string
  EXPECT_EQ(monster->dirty, 0);
  // Exact comparison: no case folding, no path normalisation.
  monster->AddFile(static_cast<CFStringRef>(upper.ref));
  monster->AddFile(static_cast<CFStringRef>(slash.ref));
  EXPECT_EQ(Paths(monster->FilesToRemove()), (std::vector<std::string>{"/a", "/A", "/a/"}));
  monster->Flush();
  monster->RemoveFile(static_cast<CFStringRef>(a.ref));
  EXPECT_EQ(monster->dirty, 0);
  EXPECT_EQ(CFArrayGetCount(monster->FilesToRemove()), 3);
}

TEST(ReceiptStore, FlushOfACleanRecordTouchesNothing) {
  PrivateEnvironment env;
  PutReceipt(kLocal, 9, {"/l"});
  TICookieMonsterRef monster = TICookieMonster::MonsterWithProductIDGlobalVersion(kProduct, 1, 2);
  struct stat before;
  ASSERT_EQ(::stat(DomainFile(env, kLocal).c_str(), &before), 0);
  using macplatform::sys::Call;
  using macplatform::sys::CallCount;
  unsigned long opens = CallCount(Call::Open), renames = CallCount(Call::Rename);
  monster->Flush();
  monster.reset();  // destruction of a clean record: the same
  EXPECT_EQ(CallCount(Call::Open), opens);
  EXPECT_EQ(CallCount(Call::Rename), renames);
  struct stat after;
  ASSERT_EQ(::stat(DomainFile(env, kLocal).c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);
  EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
  EXPECT_FALSE(fs::exists(DomainFile(env, kGlobal)));
}

TEST(ReceiptStore, ReRegistrationAsGlobalMergesAndDeletesTheLocalReceipt) {
  PrivateEnvironment env;
  PutReceipt(kLocal, 9, {"/old1", "/old2"});
  {
    TICookieMonsterRef monster = TICookieMonster::MonsterWithProductIDGlobalVersion(kProduct, 1, 0x01008000);
    EXPECT_EQ(monster->ProductVersion(), 9u);  // the stored version
    Ref again(Str("/old2")), added(Str("/new"));
    monster->AddFile(static_cast<CFStringRef>(again.ref));
    monster->AddFile(static_cast<CFStringRef>(added.ref));
    monster->Flush();
  }
  Ref global(StoredReceipt(env, kGlobal));
  ASSERT_NE(global.ref, nullptr);
  EXPECT_EQ(StoredVersion(static_cast<CFDictionaryRef>(global.ref)), 16809984);
  EXPECT_EQ(StoredFiles(static_cast<CFDictionaryRef>(global.ref)),
            (std::vector<std::string>{"/old1", "/old2", "/new"}));
  EXPECT_EQ(StoredReceipt(env, kLocal), nullptr);
  EXPECT_NE(tw::test::ReadFile(DomainFile(env, kGlobal)).find("<integer>16809984</integer>"),
            std::string::npos);
}

TEST(ReceiptStore, ReRegistrationWithNothingNewLeavesTheLocalReceipt) {
  PrivateEnvironment env;
  PutReceipt(kLocal, 9, {"/old"});
  std::string before = tw::test::ReadFile(DomainFile(env, kLocal));
  {
    TICookieMonsterRef monster = TICookieMonster::MonsterWithProductIDGlobalVersion(kProduct, 1, 0x01008000);
    Ref old(Str("/old"));
    monster->AddFile(static_cast<CFStringRef>(old.ref));
    EXPECT_EQ(monster->dirty, 0);
  }
  EXPECT_EQ(tw::test::ReadFile(DomainFile(env, kLocal)), before);
  EXPECT_FALSE(fs::exists(DomainFile(env, kGlobal)));
}

TEST(ReceiptStore, ReceiptInBothDomainsEndsInTheSelectedOne) {
  PrivateEnvironment env;
  PutReceipt(kGlobal, 7, {"/g"});
  PutReceipt(kLocal, 9, {"/l"});
  {
    TICookieMonsterRef monster = TICookieMonster::MonsterWithProductIDGlobalVersion(kProduct, 0, 3);
    Ref added(Str("/n"));
    monster->AddFile(static_cast<CFStringRef>(added.ref));
  }  // destruction writes the dirty record
  EXPECT_EQ(StoredReceipt(env, kGlobal), nullptr);
  Ref local(StoredReceipt(env, kLocal));
  ASSERT_NE(local.ref, nullptr);
  EXPECT_EQ(StoredFiles(static_cast<CFDictionaryRef>(local.ref)), (std::vector<std::string>{"/g", "/n"}));
  EXPECT_EQ(StoredVersion(static_cast<CFDictionaryRef>(local.ref)), 3);
}

TEST(ReceiptStore, RemoveProductIDDeletesBothDomains) {
  PrivateEnvironment env;
  PutReceipt(kGlobal, 7, {"/g"});
  PutReceipt(kLocal, 9, {"/l"});
  TICookieMonster::RemoveProductID(kProduct);
  EXPECT_EQ(StoredReceipt(env, kGlobal), nullptr);
  EXPECT_EQ(StoredReceipt(env, kLocal), nullptr);
}

// Values another program could have stored under the product's key.
TEST(ReceiptStore, MalformedStoredValuesAreSkippedNotRewritten) {
  double real = 3.9;
  SInt64 hugeVersion = 0x1234567890LL;
  SInt32 oneValue = 1;
  Ref text(Str("garbage")), one(CFNumberCreate(nullptr, kCFNumberSInt32Type, &oneValue));
  Ref realNumber(CFNumberCreate(nullptr, kCFNumberFloat64Type, &real));
  Ref huge(CFNumberCreate(nullptr, kCFNumberSInt64Type, &hugeVersion));
  Ref ok(Str("/ok"));
  const void* mixed[] = {one.ref, ok.ref, kCFBooleanTrue};
  Ref mixedFiles(CFArrayCreate(nullptr, mixed, 3, &kCFTypeArrayCallBacks));
  auto dict = [](const void* version, const void* files) {
    const void* keys[] = {CFSTR("Version"), CFSTR("Files")};
    const void* values[] = {version, files};
    CFIndex n = version == nullptr ? 0 : (files == nullptr ? 1 : 2);
    if (version == nullptr && files != nullptr) {
      keys[0] = CFSTR("Files");
      values[0] = files;
      n = 1;
    }
    return CFDictionaryCreate(nullptr, keys, values, n, &kCFTypeDictionaryKeyCallBacks,
                              &kCFTypeDictionaryValueCallBacks);
  };
  Ref wrongTypes(dict(text.ref, text.ref));
  Ref mixedReceipt(dict(realNumber.ref, mixedFiles.ref));
  Ref hugeReceipt(dict(huge.ref, nullptr));
  Ref noVersion(dict(nullptr, mixedFiles.ref));
  // Out of range: whatever the integer conversion gives.
  SInt32 cut = 0;
  CFNumberGetValue(static_cast<CFNumberRef>(huge.ref), kCFNumberSInt32Type, &cut);
  struct Row {
    CFTypeRef global;  // stored in the global domain; a valid local receipt sits beside it
    UInt8 isGlobal;
    UInt32 cached;
    std::vector<std::string> files;
  } rows[] = {
      {text.ref, 0, 9, {"/l"}},  // not a dictionary: no receipt there, the local one is read
      {wrongTypes.ref, 1, 50, {}},
      {mixedReceipt.ref, 1, 3, {"/ok"}},
      {hugeReceipt.ref, 1, cut != 0 ? static_cast<UInt32>(cut) : 50u, {}},
      {noVersion.ref, 1, 50, {"/ok"}},
  };
  int i = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(i++);
    PrivateEnvironment env;
    Put(kGlobal, row.global);
    PutReceipt(kLocal, 9, {"/l"});
    std::string globalBefore = tw::test::ReadFile(DomainFile(env, kGlobal));
    std::string localBefore = tw::test::ReadFile(DomainFile(env, kLocal));
    {
      TICookieMonster monster;
      monster.InitWithProductIDGlobalVersionValidGlobalVersion(kProduct, 0, 0, 50);
      EXPECT_EQ(monster.IsGlobal(), row.isGlobal);
      EXPECT_EQ(monster.ProductVersion(), row.cached);
      EXPECT_EQ(Paths(monster.FilesToRemove()), row.files);
    }
    // Loading and dropping a record rewrites nothing.
    EXPECT_EQ(tw::test::ReadFile(DomainFile(env, kGlobal)), globalBefore);
    EXPECT_EQ(tw::test::ReadFile(DomainFile(env, kLocal)), localBefore);
  }
}

}  // namespace
