// Preferences: scopes and files, merging between processes, corrupt files,
// refused application IDs and domains, and property-list round trips.
#include <gtest/gtest.h>
#include <plist/plist.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/core/SysCalls.h"
#include "platform/preferences/CFPreferences.h"
#include "platform/preferences/DomainFile.h"
#include "testing/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using tw::test::PrivateEnvironment;

// Releases a CF object at the end of the scope.
struct Ref {
  CFTypeRef ref;
  explicit Ref(CFTypeRef r = nullptr) : ref(r) {}
  ~Ref() {
    if (ref != nullptr) CFRelease(ref);
  }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  template <typename T>
  T as() const {
    return static_cast<T>(ref);
  }
};

CFStringRef Str(const char* s) { return CFStringCreateWithCString(nullptr, s, kCFStringEncodingUTF8); }

CFNumberRef Int(SInt64 v) { return CFNumberCreate(nullptr, kCFNumberSInt64Type, &v); }

std::string UTF8(CFTypeRef s) {
  char buffer[1024] = {};
  if (s == nullptr || CFGetTypeID(s) != CFStringGetTypeID() ||
      !CFStringGetCString(static_cast<CFStringRef>(s), buffer, sizeof buffer, kCFStringEncodingUTF8))
    return "<not a string>";
  return buffer;
}

std::string UserFile(const PrivateEnvironment& env, const std::string& app) {
  return env.config() + "/macplatform/Preferences/" + app + ".plist";
}

std::string ByHostFile(const std::string& dir, const std::string& app) {
  return dir + "/ByHost/" + app + "." + macplatform::prefs::HostID() + ".plist";
}

// Runs `body` in a forked child; returns its exit status.
template <typename F>
int InChild(F body) {
  pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(Preferences, AppValueReachesTheUserFileAsXML) {
  PrivateEnvironment env;
  Ref app(Str("com.example.app")), key(Str("Greeting")), value(Str("hello"));
  CFPreferencesSetAppValue(key.as<CFStringRef>(), value.ref, app.as<CFStringRef>());
  // Before the synchronization the process sees its own change.
  Ref early(CFPreferencesCopyAppValue(key.as<CFStringRef>(), app.as<CFStringRef>()));
  EXPECT_TRUE(CFEqual(early.ref, value.ref));
  EXPECT_FALSE(fs::exists(UserFile(env, "com.example.app")));
  ASSERT_TRUE(CFPreferencesAppSynchronize(app.as<CFStringRef>()));
  std::string text = tw::test::ReadFile(UserFile(env, "com.example.app"));
  EXPECT_NE(text.find("<?xml"), std::string::npos);
  EXPECT_NE(text.find("<key>Greeting</key>"), std::string::npos);
  EXPECT_NE(text.find("<string>hello</string>"), std::string::npos);
  // The domain form of the same domain reads the same value.
  Ref same(CFPreferencesCopyValue(key.as<CFStringRef>(), app.as<CFStringRef>(),
                                  kCFPreferencesCurrentUser, kCFPreferencesAnyHost));
  EXPECT_TRUE(CFEqual(same.ref, value.ref));
}

TEST(Preferences, DomainFormsReadExactlyTheirDomain) {
  PrivateEnvironment env;
  Ref app(Str("com.example.scopes"));
  struct Scope {
    CFStringRef user, host;
    std::string file;
  } scopes[] = {
      {kCFPreferencesCurrentUser, kCFPreferencesAnyHost, UserFile(env, "com.example.scopes")},
      {kCFPreferencesCurrentUser, kCFPreferencesCurrentHost,
       ByHostFile(env.config() + "/macplatform/Preferences", "com.example.scopes")},
      {kCFPreferencesAnyUser, kCFPreferencesAnyHost, env.system() + "/Preferences/com.example.scopes.plist"},
      {kCFPreferencesAnyUser, kCFPreferencesCurrentHost,
       ByHostFile(env.system() + "/Preferences", "com.example.scopes")},
  };
  // Each domain gets its own key; no other domain sees it.
  for (size_t i = 0; i < 4; ++i) {
    Ref key(Str(("Key" + std::to_string(i)).c_str())), value(Int(static_cast<SInt64>(i)));
    CFPreferencesSetValue(key.as<CFStringRef>(), value.ref, app.as<CFStringRef>(), scopes[i].user,
                          scopes[i].host);
    ASSERT_TRUE(CFPreferencesSynchronize(app.as<CFStringRef>(), scopes[i].user, scopes[i].host));
    EXPECT_TRUE(fs::exists(scopes[i].file)) << scopes[i].file;
  }
  for (size_t i = 0; i < 4; ++i) {
    for (size_t j = 0; j < 4; ++j) {
      Ref key(Str(("Key" + std::to_string(j)).c_str()));
      Ref got(CFPreferencesCopyValue(key.as<CFStringRef>(), app.as<CFStringRef>(), scopes[i].user,
                                     scopes[i].host));
      EXPECT_EQ(got.ref != nullptr, i == j) << "domain " << i << " key " << j;
    }
  }
  // The app form is (current user, any host) only.
  Ref key3(Str("Key3"));
  EXPECT_EQ(CFPreferencesCopyAppValue(key3.as<CFStringRef>(), app.as<CFStringRef>()), nullptr);
  // Unknown scopes are refused.
  Ref other(Str("someone-else"));
  EXPECT_EQ(CFPreferencesCopyValue(key3.as<CFStringRef>(), app.as<CFStringRef>(), other.as<CFStringRef>(),
                                   kCFPreferencesAnyHost),
            nullptr);
  EXPECT_FALSE(CFPreferencesSynchronize(app.as<CFStringRef>(), kCFPreferencesCurrentUser,
                                        other.as<CFStringRef>()));
}

TEST(Preferences, NullValueDeletesTheKey) {
  PrivateEnvironment env;
  Ref app(Str("com.example.delete")), keep(Str("Keep")), gone(Str("Gone")), v(Str("x"));
  CFPreferencesSetAppValue(keep.as<CFStringRef>(), v.ref, app.as<CFStringRef>());
  CFPreferencesSetAppValue(gone.as<CFStringRef>(), v.ref, app.as<CFStringRef>());
  ASSERT_TRUE(CFPreferencesAppSynchronize(app.as<CFStringRef>()));
  CFPreferencesSetValue(gone.as<CFStringRef>(), nullptr, app.as<CFStringRef>(), kCFPreferencesCurrentUser,
                        kCFPreferencesAnyHost);
  EXPECT_EQ(CFPreferencesCopyAppValue(gone.as<CFStringRef>(), app.as<CFStringRef>()), nullptr);
  ASSERT_TRUE(CFPreferencesAppSynchronize(app.as<CFStringRef>()));
  std::string text = tw::test::ReadFile(UserFile(env, "com.example.delete"));
  EXPECT_EQ(text.find("Gone"), std::string::npos);
  EXPECT_NE(text.find("Keep"), std::string::npos);
  // Deleting from a domain that was never written makes no file or folder.
  CFPreferencesSetValue(gone.as<CFStringRef>(), nullptr, app.as<CFStringRef>(), kCFPreferencesAnyUser,
                        kCFPreferencesCurrentHost);
  EXPECT_TRUE(CFPreferencesSynchronize(app.as<CFStringRef>(), kCFPreferencesAnyUser, kCFPreferencesCurrentHost));
  EXPECT_FALSE(fs::exists(env.system() + "/Preferences"));
}

TEST(Preferences, TwoProcessesWritingDifferentKeysLoseNeither) {
  PrivateEnvironment env;
  constexpr int kRounds = 40;
  auto writer = [](const char* prefix) {
    return [prefix] {
      Ref app(Str("com.example.shared"));
      for (int i = 0; i < kRounds; ++i) {
        Ref key(Str((std::string(prefix) + std::to_string(i)).c_str())), value(Int(i));
        CFPreferencesSetAppValue(key.as<CFStringRef>(), value.ref, app.as<CFStringRef>());
        if (!CFPreferencesAppSynchronize(app.as<CFStringRef>())) return 1;
      }
      return 0;
    };
  };
  pid_t a = ::fork();
  if (a == 0) ::_exit(writer("A")());
  pid_t b = ::fork();
  if (b == 0) ::_exit(writer("B")());
  int sa = 0, sb = 0;
  ::waitpid(a, &sa, 0);
  ::waitpid(b, &sb, 0);
  ASSERT_TRUE(WIFEXITED(sa) && WEXITSTATUS(sa) == 0);
  ASSERT_TRUE(WIFEXITED(sb) && WEXITSTATUS(sb) == 0);
  Ref app(Str("com.example.shared"));
  ASSERT_TRUE(CFPreferencesAppSynchronize(app.as<CFStringRef>()));
  Ref keys(CFPreferencesCopyKeyList(app.as<CFStringRef>(), kCFPreferencesCurrentUser, kCFPreferencesAnyHost));
  ASSERT_NE(keys.ref, nullptr);
  EXPECT_EQ(CFArrayGetCount(keys.as<CFArrayRef>()), 2 * kRounds);
}

TEST(Preferences, SynchronizeKeepsKeysAnotherProcessWrote) {
  PrivateEnvironment env;
  Ref app(Str("com.example.merge")), mine(Str("Mine")), theirs(Str("Theirs")), both(Str("Both"));
  Ref one(Int(1)), two(Int(2));
  CFPreferencesSetAppValue(both.as<CFStringRef>(), one.ref, app.as<CFStringRef>());
  ASSERT_TRUE(CFPreferencesAppSynchronize(app.as<CFStringRef>()));
  // Another process changes "Both" and adds "Theirs" behind our back.
  ASSERT_EQ(InChild([&] {
              Ref a(Str("com.example.merge")), t(Str("Theirs")), b(Str("Both")), v(Int(7));
              CFPreferencesSetAppValue(t.as<CFStringRef>(), v.ref, a.as<CFStringRef>());
              CFPreferencesSetAppValue(b.as<CFStringRef>(), v.ref, a.as<CFStringRef>());
              return CFPreferencesAppSynchronize(a.as<CFStringRef>()) ? 0 : 1;
            }),
            0);
  CFPreferencesSetAppValue(mine.as<CFStringRef>(), two.ref, app.as<CFStringRef>());
  ASSERT_TRUE(CFPreferencesAppSynchronize(app.as<CFStringRef>()));
  Ref t(CFPreferencesCopyAppValue(theirs.as<CFStringRef>(), app.as<CFStringRef>()));
  Ref b(CFPreferencesCopyAppValue(both.as<CFStringRef>(), app.as<CFStringRef>()));
  Ref m(CFPreferencesCopyAppValue(mine.as<CFStringRef>(), app.as<CFStringRef>()));
  Ref seven(Int(7));
  EXPECT_TRUE(t.ref != nullptr && CFEqual(t.ref, seven.ref));
  // We did not touch "Both" since our last synchronization: the file's wins.
  EXPECT_TRUE(b.ref != nullptr && CFEqual(b.ref, seven.ref));
  EXPECT_TRUE(m.ref != nullptr && CFEqual(m.ref, two.ref));
}

TEST(Preferences, CorruptFileIsKeptAsideAndReadAsEmpty) {
  PrivateEnvironment env;
  std::string file = UserFile(env, "com.example.corrupt");
  fs::create_directories(fs::path(file).parent_path());
  const std::string garbage = "<?xml version=\"1.0\"?><plist><dict><key>A</key><str";
  tw::test::WriteFile(file, garbage);
  Ref app(Str("com.example.corrupt")), key(Str("A")), value(Str("new"));
  EXPECT_EQ(CFPreferencesCopyAppValue(key.as<CFStringRef>(), app.as<CFStringRef>()), nullptr);
  EXPECT_FALSE(fs::exists(file));
  std::vector<std::string> aside;
  for (auto& entry : fs::directory_iterator(fs::path(file).parent_path()))
    if (entry.path().filename().string().rfind("com.example.corrupt.plist.corrupt-", 0) == 0)
      aside.push_back(entry.path());
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_EQ(tw::test::ReadFile(aside[0]), garbage);
  CFPreferencesSetAppValue(key.as<CFStringRef>(), value.ref, app.as<CFStringRef>());
  ASSERT_TRUE(CFPreferencesAppSynchronize(app.as<CFStringRef>()));
  EXPECT_NE(tw::test::ReadFile(file).find("<string>new</string>"), std::string::npos);
  // A file whose root is not a dictionary is corrupt too, also when it turns
  // up at a synchronization.
  tw::test::WriteFile(file, "<?xml version=\"1.0\"?><plist><array/></plist>");
  CFPreferencesSetAppValue(key.as<CFStringRef>(), value.ref, app.as<CFStringRef>());
  ASSERT_TRUE(CFPreferencesAppSynchronize(app.as<CFStringRef>()));
  int count = 0;
  for (auto& entry : fs::directory_iterator(fs::path(file).parent_path()))
    count += entry.path().filename().string().find(".corrupt-") != std::string::npos;
  EXPECT_EQ(count, 2);
}

TEST(Preferences, ApplicationIDsThatCouldEscapeAreRefused) {
  PrivateEnvironment env;
  const UniChar withNul[] = {'a', 0, 'b'};
  std::vector<CFStringRef> ids = {Str("../escape"), Str("a/b"), Str(".."), Str("."), Str(""),
                                  CFStringCreateWithCharacters(nullptr, withNul, 3)};
  Ref key(Str("K")), value(Str("v"));
  for (CFStringRef id : ids) {
    CFPreferencesSetAppValue(key.as<CFStringRef>(), value.ref, id);
    EXPECT_EQ(CFPreferencesCopyAppValue(key.as<CFStringRef>(), id), nullptr) << UTF8(id);
    EXPECT_FALSE(CFPreferencesAppSynchronize(id)) << UTF8(id);
    CFPreferencesSetValue(key.as<CFStringRef>(), value.ref, id, kCFPreferencesAnyUser, kCFPreferencesAnyHost);
    EXPECT_FALSE(CFPreferencesSynchronize(id, kCFPreferencesAnyUser, kCFPreferencesAnyHost)) << UTF8(id);
    CFRelease(id);
  }
  EXPECT_FALSE(CFPreferencesAppSynchronize(nullptr));
  // Nothing was written anywhere in the environment.
  for (auto& entry : fs::recursive_directory_iterator(env.root()))
    EXPECT_FALSE(entry.is_regular_file()) << entry.path();
}

TEST(Preferences, DomainTheUserMayNotWriteFailsWithoutCrash) {
  if (::getuid() != 0) GTEST_SKIP() << "needs root to run a child as another user";
  PrivateEnvironment env;
  // A root-owned 0755 system folder with a readable value in it, under /tmp
  // so that another user can reach it whatever the test root's parents are.
  char templ[] = "/tmp/tw-prefs-system-XXXXXX";
  ASSERT_NE(::mkdtemp(templ), nullptr);
  std::string system = templ;
  ::setenv("MACPLATFORM_SYSTEM_DIR", system.c_str(), 1);  // restored by env
  fs::create_directories(system + "/Preferences");
  ::chmod(system.c_str(), 0755);
  ::chmod((system + "/Preferences").c_str(), 0755);
  std::string file = system + "/Preferences/com.example.locked.plist";
  tw::test::WriteFile(file,
                      "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Old</key>"
                      "<integer>5</integer></dict></plist>");
  ::chmod(file.c_str(), 0644);
  int status = InChild([] {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) return 10;
    Ref app(Str("com.example.locked")), key(Str("New")), old(Str("Old")), value(Int(1));
    Ref five(Int(5));
    Ref got(CFPreferencesCopyValue(old.as<CFStringRef>(), app.as<CFStringRef>(), kCFPreferencesAnyUser,
                                   kCFPreferencesAnyHost));
    if (got.ref == nullptr || !CFEqual(got.ref, five.ref)) return 11;
    CFPreferencesSetValue(key.as<CFStringRef>(), value.ref, app.as<CFStringRef>(), kCFPreferencesAnyUser,
                          kCFPreferencesAnyHost);
    if (CFPreferencesSynchronize(app.as<CFStringRef>(), kCFPreferencesAnyUser, kCFPreferencesAnyHost))
      return 12;
    // The change stays visible in this process.
    Ref mine(CFPreferencesCopyValue(key.as<CFStringRef>(), app.as<CFStringRef>(), kCFPreferencesAnyUser,
                                    kCFPreferencesAnyHost));
    return mine.ref != nullptr ? 0 : 13;
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(tw::test::ReadFile(file).find("New"), std::string::npos);
  std::error_code ec;
  fs::remove_all(system, ec);
}

TEST(Preferences, FailedWriteKeepsTheChangeForTheNextTry) {
  PrivateEnvironment env;
  Ref app(Str("com.example.retry")), key(Str("K")), value(Int(3));
  CFPreferencesSetAppValue(key.as<CFStringRef>(), value.ref, app.as<CFStringRef>());
  macplatform::sys::FailCall(macplatform::sys::Call::Rename, EIO);
  EXPECT_FALSE(CFPreferencesAppSynchronize(app.as<CFStringRef>()));
  macplatform::sys::ClearFaults();
  EXPECT_FALSE(fs::exists(UserFile(env, "com.example.retry")));
  ASSERT_TRUE(CFPreferencesAppSynchronize(app.as<CFStringRef>()));
  EXPECT_NE(tw::test::ReadFile(UserFile(env, "com.example.retry")).find("<integer>3</integer>"),
            std::string::npos);
  // No temporary file is left behind.
  for (auto& entry : fs::directory_iterator(fs::path(UserFile(env, "com.example.retry")).parent_path()))
    EXPECT_EQ(entry.path().string().find(".tmp."), std::string::npos) << entry.path();
}

TEST(Preferences, SetCopiesTheValueAndRefusesNonPropertyLists) {
  PrivateEnvironment env;
  Ref app(Str("com.example.copy")), key(Str("List")), a(Str("a")), b(Str("b"));
  Ref list(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
  CFArrayAppendValue(const_cast<CFMutableArrayRef>(list.as<CFArrayRef>()), a.ref);
  CFPreferencesSetAppValue(key.as<CFStringRef>(), list.ref, app.as<CFStringRef>());
  CFArrayAppendValue(const_cast<CFMutableArrayRef>(list.as<CFArrayRef>()), b.ref);
  Ref got(CFPreferencesCopyAppValue(key.as<CFStringRef>(), app.as<CFStringRef>()));
  ASSERT_NE(got.ref, nullptr);
  EXPECT_EQ(CFArrayGetCount(got.as<CFArrayRef>()), 1);
  // A dictionary with a number for a key is not a property list.
  Ref one(Int(1));
  const void* keys[] = {one.ref};
  const void* values[] = {a.ref};
  Ref bad(CFDictionaryCreate(nullptr, keys, values, 1, &kCFTypeDictionaryKeyCallBacks,
                             &kCFTypeDictionaryValueCallBacks));
  CFPreferencesSetAppValue(key.as<CFStringRef>(), bad.ref, app.as<CFStringRef>());
  Ref still(CFPreferencesCopyAppValue(key.as<CFStringRef>(), app.as<CFStringRef>()));
  EXPECT_TRUE(CFEqual(still.ref, got.ref));
}

TEST(Preferences, BooleanAndIntegerReads) {
  PrivateEnvironment env;
  Ref app(Str("com.example.typed"));
  double half = 2.5;
  struct Row {
    CFTypeRef value;
    Boolean boolValid, boolValue;
    Boolean intValid;
    CFIndex intValue;
  } rows[] = {
      {CFRetain(kCFBooleanTrue), true, true, false, 0},
      {CFRetain(kCFBooleanFalse), true, false, false, 0},
      {Int(0), true, false, true, 0},
      {Int(-12), true, true, true, -12},
      {CFNumberCreate(nullptr, kCFNumberFloat64Type, &half), true, true, true, 2},
      {Str("YES"), true, true, false, 0},
      {Str("false"), true, false, false, 0},
      {Str("42"), false, false, true, 42},
      {Str("maybe"), false, false, false, 0},
      {CFDataCreate(nullptr, reinterpret_cast<const UInt8*>("x"), 1), false, false, false, 0},
      {nullptr, false, false, false, 0},
  };
  for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
    Ref key(Str(("K" + std::to_string(i)).c_str()));
    if (rows[i].value != nullptr)
      CFPreferencesSetAppValue(key.as<CFStringRef>(), rows[i].value, app.as<CFStringRef>());
    Boolean valid = 0x5a;
    EXPECT_EQ(CFPreferencesGetAppBooleanValue(key.as<CFStringRef>(), app.as<CFStringRef>(), &valid),
              rows[i].boolValue) << i;
    EXPECT_EQ(valid, rows[i].boolValid) << i;
    valid = 0x5a;
    EXPECT_EQ(CFPreferencesGetAppIntegerValue(key.as<CFStringRef>(), app.as<CFStringRef>(), &valid),
              rows[i].intValue) << i;
    EXPECT_EQ(valid, rows[i].intValid) << i;
    // The flag may be NULL.
    CFPreferencesGetAppBooleanValue(key.as<CFStringRef>(), app.as<CFStringRef>(), nullptr);
    if (rows[i].value != nullptr) CFRelease(rows[i].value);
  }
}

// Every value type, through XML and through libplist's binary form.
TEST(Preferences, PropertyListRoundTripsEveryType) {
  double pi = 3.25;
  SInt64 big = -(SInt64(1) << 40);
  Ref s(Str("caf\xC3\xA9 \xE2\x9C\x93 <&>")), i(Int(16809984)), n(CFNumberCreate(nullptr, kCFNumberSInt64Type, &big));
  Ref r(CFNumberCreate(nullptr, kCFNumberFloat64Type, &pi));
  Ref d(CFDataCreate(nullptr, reinterpret_cast<const UInt8*>("\0\1\2\xff"), 4));
  Ref e(CFDataCreate(nullptr, nullptr, 0));
  const void* items[] = {s.ref, i.ref, kCFBooleanFalse};
  Ref arr(CFArrayCreate(nullptr, items, 3, &kCFTypeArrayCallBacks));
  Ref inner(CFDictionaryCreate(nullptr, nullptr, nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                               &kCFTypeDictionaryValueCallBacks));
  Ref ks(Str("s")), ki(Str("i")), kn(Str("n")), kr(Str("r")), kd(Str("d")), ke(Str("e")), ka(Str("a")),
      kt(Str("t")), kx(Str("x"));
  const void* keys[] = {ks.ref, ki.ref, kn.ref, kr.ref, kd.ref, ke.ref, ka.ref, kt.ref, kx.ref};
  const void* values[] = {s.ref, i.ref, n.ref, r.ref, d.ref, e.ref, arr.ref, kCFBooleanTrue, inner.ref};
  Ref root(CFDictionaryCreate(nullptr, keys, values, 9, &kCFTypeDictionaryKeyCallBacks,
                              &kCFTypeDictionaryValueCallBacks));
  Ref xml(CFPropertyListCreateXMLData(nullptr, root.ref));
  ASSERT_NE(xml.ref, nullptr);
  Ref back(CFPropertyListCreateFromXMLData(nullptr, xml.as<CFDataRef>(), kCFPropertyListImmutable, nullptr));
  ASSERT_NE(back.ref, nullptr);
  EXPECT_TRUE(CFEqual(back.ref, root.ref));

  // The same tree in the binary format reads back equal.
  plist_t parsed = nullptr;
  plist_from_xml(reinterpret_cast<const char*>(CFDataGetBytePtr(xml.as<CFDataRef>())),
                 static_cast<uint32_t>(CFDataGetLength(xml.as<CFDataRef>())), &parsed);
  ASSERT_NE(parsed, nullptr);
  char* bin = nullptr;
  uint32_t length = 0;
  plist_to_bin(parsed, &bin, &length);
  plist_free(parsed);
  ASSERT_NE(bin, nullptr);
  Ref binData(CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bin), length));
  plist_to_bin_free(bin);
  Ref fromBin(CFPropertyListCreateFromXMLData(nullptr, binData.as<CFDataRef>(), 0, nullptr));
  ASSERT_NE(fromBin.ref, nullptr);
  EXPECT_TRUE(CFEqual(fromBin.ref, root.ref));
}

TEST(Preferences, BadPropertyListDataGivesAnError) {
  const char* inputs[] = {"", "garbage", "bplist00", "<?xml version=\"1.0\"?><plist><dict><key>a</key>",
                          "<plist><integer>12</plist>"};
  for (const char* input : inputs) {
    Ref data(CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(input), static_cast<CFIndex>(std::strlen(input))));
    CFStringRef error = nullptr;
    Ref got(CFPropertyListCreateFromXMLData(nullptr, data.as<CFDataRef>(), 0, &error));
    EXPECT_EQ(got.ref, nullptr) << input;
    EXPECT_NE(error, nullptr) << input;
    if (error != nullptr) CFRelease(error);
  }
}

// A binary file whose key and string hold a NUL (UTF-16 objects): those
// entries are left out, the rest reads.
TEST(Preferences, BinaryStringsWithNulAreLeftOut) {
  PrivateEnvironment env;
  static const unsigned char kFile[] =
      "\x62\x70\x6c\x69\x73\x74\x30\x30\xd3\x01\x02\x03\x04\x05\x06\x53\x62\x61\x64\x63\x00\x6b"
      "\x00\x00\x00\xe9\x52\x6f\x6b\x63\x00\x63\x00\x00\x00\xe9\x51\x78\x54\x66\x69\x6e\x65\x08"
      "\x0f\x13\x1a\x1d\x24\x26\x00\x00\x00\x00\x00\x00\x01\x01\x00\x00\x00\x00\x00\x00\x00\x07"
      "\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x2b";
  std::string file = UserFile(env, "com.example.nul");
  fs::create_directories(fs::path(file).parent_path());
  tw::test::WriteFile(file, std::string(reinterpret_cast<const char*>(kFile), sizeof kFile - 1));
  Ref app(Str("com.example.nul"));
  Ref all(CFPreferencesCopyMultiple(nullptr, app.as<CFStringRef>(), kCFPreferencesCurrentUser,
                                    kCFPreferencesAnyHost));
  ASSERT_NE(all.ref, nullptr);
  EXPECT_EQ(CFDictionaryGetCount(all.as<CFDictionaryRef>()), 1);
  Ref ok(Str("ok")), fine(Str("fine"));
  EXPECT_TRUE(CFEqual(CFDictionaryGetValue(all.as<CFDictionaryRef>(), ok.ref), fine.ref));
  // A write keeps the binary file's other entries (rewritten as XML).
  Ref key(Str("new")), value(Int(1));
  CFPreferencesSetAppValue(key.as<CFStringRef>(), value.ref, app.as<CFStringRef>());
  ASSERT_TRUE(CFPreferencesAppSynchronize(app.as<CFStringRef>()));
  std::string text = tw::test::ReadFile(file);
  EXPECT_NE(text.find("<string>fine</string>"), std::string::npos);
  EXPECT_NE(text.find("<key>new</key>"), std::string::npos);
  EXPECT_EQ(text.find('\0'), std::string::npos);
}

TEST(Preferences, DatesReadAsSecondsSince2001) {
  const char* xml =
      "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>When</key>"
      "<date>2001-01-02T00:00:00Z</date></dict></plist>";
  Ref data(CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(xml), static_cast<CFIndex>(std::strlen(xml))));
  Ref got(CFPropertyListCreateFromXMLData(nullptr, data.as<CFDataRef>(), 0, nullptr));
  ASSERT_NE(got.ref, nullptr);
  Ref key(Str("When"));
  auto when = static_cast<CFNumberRef>(CFDictionaryGetValue(got.as<CFDictionaryRef>(), key.ref));
  ASSERT_NE(when, nullptr);
  double seconds = 0;
  CFNumberGetValue(when, kCFNumberFloat64Type, &seconds);
  EXPECT_DOUBLE_EQ(seconds, 86400.0);
}

}  // namespace
