// The label names and colours table: seeding from the system labels, stored
// tables used as they are, the colour rules, malformed preferences, the
// date switch, and reloads in this and another process through the real
// preferences files and the session bus.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "labeldb/LabelDB.h"
#include "labeldb/LabelTableInternal.h"
#include "platform/eventloop/CarbonEvents.h"
#include "platform/labels/Labels.h"
#include "platform/preferences/CFPreferences.h"
#include "testing/TestSupport.h"

namespace {

using Color = std::array<long, 3>;  // as stored: signed 16-bit numbers

const std::vector<std::string> kClassicNames = {"None",     "Essential", "Hot",       "In Progress",
                                                "Cool",     "Personal",  "Project 1", "Project 2"};
const std::vector<std::string> kModernNames = {"None", "Gray",   "Green", "Purple",
                                               "Blue", "Yellow", "Red",   "Orange"};

std::string Text(CFStringRef s) {
  if (s == nullptr) return "(null)";
  char buf[512];
  return CFStringGetCString(s, buf, sizeof buf, kCFStringEncodingUTF8) ? buf : "(unconvertible)";
}

// Owns one reference.
struct CFHolder {
  CFTypeRef ref;
  explicit CFHolder(CFTypeRef r) : ref(r) {}
  ~CFHolder() {
    if (ref != nullptr) CFRelease(ref);
  }
  CFHolder(const CFHolder&) = delete;
  CFHolder& operator=(const CFHolder&) = delete;
};

std::vector<std::string> TableNames() {
  std::vector<std::string> names;
  for (SInt16 i = 0; TWdb_GetLabelName(i) != nullptr; ++i) names.push_back(Text(TWdb_GetLabelName(i)));
  return names;
}

std::vector<Color> TableColors() {
  std::vector<Color> colors;
  for (SInt16 i = 0; TWdb_GetLabelColor(i) != nullptr; ++i) {
    const LabelColor* c = TWdb_GetLabelColor(i);
    colors.push_back({c->red, c->green, c->blue});
  }
  return colors;
}

// The colours as they are written: each component as a signed 16-bit value.
Color Stored16(UInt16 r, UInt16 g, UInt16 b) { return {SInt16(r), SInt16(g), SInt16(b)}; }

std::string ColorEntry(const std::string& r, const std::string& g, const std::string& b) {
  std::string entry = "<dict>";
  if (!r.empty()) entry += "<key>R</key>" + r;
  if (!g.empty()) entry += "<key>G</key>" + g;
  if (!b.empty()) entry += "<key>B</key>" + b;
  return entry + "</dict>";
}

std::string Int(long v) { return "<integer>" + std::to_string(v) + "</integer>"; }

std::string ColorEntry(long r, long g, long b) { return ColorEntry(Int(r), Int(g), Int(b)); }

std::string NamesKey(const std::vector<std::string>& names) {
  std::string s = "<key>LabelNames</key><array>";
  for (const std::string& n : names) s += "<string>" + n + "</string>";
  return s + "</array>";
}

std::string ColorsKey(const std::vector<std::string>& entries) {
  std::string s = "<key>LabelColors</key><array>";
  for (const std::string& e : entries) s += e;
  return s + "</array>";
}

std::vector<std::string> Entries(const std::vector<Color>& colors) {
  std::vector<std::string> entries;
  for (const Color& c : colors) entries.push_back(ColorEntry(c[0], c[1], c[2]));
  return entries;
}

const std::vector<Color> kCustomColors = {{0, 0, 0},    {1, 2, 3},    {4, 5, 6},    {7, 8, 9},
                                          {10, 11, 12}, {13, 14, 15}, {16, 17, 18}, {19, 20, 21}};

// What the preferences file holds, read with the property-list coder (not
// through the table or the preferences cache).
class StoredTable {
 public:
  explicit StoredTable(const std::string& path) {
    std::string bytes = tw::test::ReadFile(path);
    CFHolder data(CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes.data()), CFIndex(bytes.size())));
    root_ = CFPropertyListCreateFromXMLData(nullptr, static_cast<CFDataRef>(data.ref), kCFPropertyListImmutable,
                                            nullptr);
  }
  ~StoredTable() {
    if (root_ != nullptr) CFRelease(root_);
  }
  bool exists() const { return root_ != nullptr && CFGetTypeID(root_) == CFDictionaryGetTypeID(); }
  CFTypeRef Get(const char* key) const {
    if (!exists()) return nullptr;
    CFHolder k(CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8));
    return CFDictionaryGetValue(static_cast<CFDictionaryRef>(root_), k.ref);
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    CFTypeRef array = Get("LabelNames");
    if (array == nullptr || CFGetTypeID(array) != CFArrayGetTypeID()) return {"(not an array)"};
    for (CFIndex i = 0; i < CFArrayGetCount(static_cast<CFArrayRef>(array)); ++i)
      names.push_back(Text(static_cast<CFStringRef>(CFArrayGetValueAtIndex(static_cast<CFArrayRef>(array), i))));
    return names;
  }
  std::vector<Color> Colors() const {
    std::vector<Color> colors;
    CFTypeRef array = Get("LabelColors");
    if (array == nullptr || CFGetTypeID(array) != CFArrayGetTypeID()) return {{-99999, -99999, -99999}};
    for (CFIndex i = 0; i < CFArrayGetCount(static_cast<CFArrayRef>(array)); ++i) {
      auto entry = static_cast<CFDictionaryRef>(CFArrayGetValueAtIndex(static_cast<CFArrayRef>(array), i));
      Color c{};
      const char* keys[] = {"R", "G", "B"};
      for (int k = 0; k < 3; ++k) {
        CFHolder key(CFStringCreateWithCString(nullptr, keys[k], kCFStringEncodingUTF8));
        auto number = static_cast<CFNumberRef>(CFDictionaryGetValue(entry, key.ref));
        SInt64 v = -99999;
        if (number != nullptr) CFNumberGetValue(number, kCFNumberSInt64Type, &v);
        c[k] = long(v);
      }
      colors.push_back(c);
    }
    return colors;
  }

 private:
  CFPropertyListRef root_ = nullptr;
};

bool LoopUntil(const std::function<bool()>& condition) {
  return tw::test::WaitFor([&] {
    RunCurrentEventLoop(0.02);
    return condition();
  });
}

// Every test starts with no table in the process and an empty private
// environment with its own session bus. The reload observer, once added by
// an earlier test, stays: it follows the bus address to the new bus.
class LabelTable : public ::testing::Test {
 protected:
  void SetUp() override {
    Reset();
    if (!env.StartSessionBus()) GTEST_SKIP() << "dbus-daemon is not installed";
    std::filesystem::create_directories(PreferencesDir());
  }
  void TearDown() override {
    // A flush's own notification may already wait in the loop's queue: run
    // it now, so that it cannot reload the table in the next test.
    RunCurrentEventLoop(0.05);
    Reset();
  }
  static void Reset() {
    TWdb_i_Discard();
    gTWFeatures = 0;
    gAffectFileModDate = false;
  }

  std::string PreferencesDir() const { return env.config() + "/macplatform/Preferences"; }
  std::string PlistPath() const { return PreferencesDir() + "/com.tolvane.tintwell.plist"; }
  void Store(const std::string& keys) {
    tw::test::WriteFile(PlistPath(),
                        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                        "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                        "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                        "<plist version=\"1.0\"><dict>" +
                            keys + "</dict></plist>\n");
  }
  void ForgetStored() { std::filesystem::remove(PlistPath()); }

  tw::test::PrivateEnvironment env;
};

std::vector<Color> SystemColors(bool modern) {
  std::vector<Color> colors;
  for (SInt16 i = 0; i < 8; ++i) {
    RGBColor c = {0, 0, 0};
    if (modern) {
      CFStringRef name = nullptr;
      EXPECT_EQ(CopyLabelColorAndName(UInt32(i), &c, &name), noErr);
      if (name != nullptr) CFRelease(name);
    } else {
      EXPECT_EQ(GetLabel(i, &c, nullptr), noErr);
    }
    colors.push_back({c.red, c.green, c.blue});
  }
  return colors;
}

std::vector<Color> AsStored(const std::vector<Color>& colors) {
  std::vector<Color> stored;
  for (const Color& c : colors) stored.push_back(Stored16(UInt16(c[0]), UInt16(c[1]), UInt16(c[2])));
  return stored;
}

}  // namespace

// ---------------------------------------------------------------------------
// Seeding.

TEST_F(LabelTable, EmptyPreferencesSeedEightNamesAndColoursAndWriteThemBack) {
  ASSERT_FALSE(std::filesystem::exists(PlistPath()));
  EXPECT_EQ(Text(TWdb_GetLabelName(0)), "None");
  EXPECT_EQ(TableNames(), kClassicNames);
  EXPECT_EQ(TableColors(), SystemColors(false));

  StoredTable stored(PlistPath());
  ASSERT_TRUE(stored.exists());
  EXPECT_EQ(stored.Names(), kClassicNames);
  EXPECT_EQ(stored.Colors(), AsStored(SystemColors(false)));  // 0xDD6B is kept as -8853
  EXPECT_EQ(stored.Get("AffectFileModDate"), nullptr);
  EXPECT_FALSE(gAffectFileModDate);
}

TEST_F(LabelTable, FeatureBitTwoChoosesTheModernSystemLabels) {
  struct Row {
    UInt32 features;
    bool modern;
  } rows[] = {{0, false}, {1, false}, {4, false}, {2, true}, {3, true}, {0xFFFFFFFF, true}};
  for (const Row& row : rows) {
    SCOPED_TRACE("gTWFeatures = " + std::to_string(row.features));
    Reset();
    ForgetStored();
    gTWFeatures = row.features;
    EXPECT_EQ(Text(TWdb_GetLabelName(6)), row.modern ? "Red" : "Project 1");
    EXPECT_EQ(TableNames(), row.modern ? kModernNames : kClassicNames);
    EXPECT_EQ(TableColors(), SystemColors(row.modern));
    StoredTable stored(PlistPath());
    EXPECT_EQ(stored.Names(), row.modern ? kModernNames : kClassicNames);
  }
  EXPECT_NE(gCopyLabelColorAndName, nullptr);  // found once, kept
}

TEST_F(LabelTable, MacctlExportShowsTheTableSeededByAFirstRead) {
  ASSERT_EQ(Text(TWdb_GetLabelName(0)), "None");
  std::string out, err;
  ASSERT_EQ(tw::test::Run({tw::test::BinPath("macctl"), "defaults", "export", "com.tolvane.tintwell", "-"},
                          &out, &err),
            0)
      << err;
  for (const std::string& name : kClassicNames)
    EXPECT_NE(out.find("<string>" + name + "</string>"), std::string::npos) << name << "\n" << out;
  EXPECT_NE(out.find("<key>LabelNames</key>"), std::string::npos) << out;
  EXPECT_NE(out.find("<key>LabelColors</key>"), std::string::npos) << out;
  // Label 2 (Hot) is DD6B 08C2 06A2: red has its top bit set.
  EXPECT_NE(out.find("<integer>-8853</integer>"), std::string::npos) << out;
  EXPECT_EQ(out.find("AffectFileModDate"), std::string::npos) << out;
}

// ---------------------------------------------------------------------------
// Stored tables.

TEST_F(LabelTable, StoredKeysAreUsedAsTheyAreAndNothingIsWritten) {
  Store(NamesKey({"Zero", "One", "Two"}) + ColorsKey(Entries({{1, 2, 3}, {-1, 0, 32767}})) +
        "<key>AffectFileModDate</key><true/>");
  const std::string before = tw::test::ReadFile(PlistPath());
  EXPECT_EQ(TableNames(), (std::vector<std::string>{"Zero", "One", "Two"}));
  EXPECT_EQ(TableColors(), (std::vector<Color>{{1, 2, 3}, {65535, 0, 32767}}));
  EXPECT_TRUE(gAffectFileModDate);
  EXPECT_EQ(TWdb_GetLabelName(3), nullptr);
  EXPECT_EQ(TWdb_GetLabelColor(2), nullptr);
  EXPECT_EQ(tw::test::ReadFile(PlistPath()), before);
}

TEST_F(LabelTable, AColourWithoutGreenShiftsTheLaterColoursDown) {
  Store(NamesKey(kClassicNames) + ColorsKey({ColorEntry(0, 0, 0), ColorEntry(1, 1, 1),
                                             ColorEntry(Int(2), "", Int(2)), ColorEntry(3, 3, 3),
                                             ColorEntry(4, 4, 4)}));
  EXPECT_EQ(TableColors(), (std::vector<Color>{{0, 0, 0}, {1, 1, 1}, {3, 3, 3}, {4, 4, 4}}));
  EXPECT_EQ(TWdb_GetLabelColor(4), nullptr);

  // A flush stores what the table holds: four colours.
  TWdb_i_Flush();
  EXPECT_EQ(StoredTable(PlistPath()).Colors(), (std::vector<Color>{{0, 0, 0}, {1, 1, 1}, {3, 3, 3}, {4, 4, 4}}));
}

TEST_F(LabelTable, OnlyTheFirstEightColoursAreStoredButEveryName) {
  std::vector<Color> ten = kCustomColors;
  ten.push_back({22, 23, 24});
  ten.push_back({25, 26, 27});
  std::vector<std::string> nine = kClassicNames;
  nine.push_back("Ninth");
  Store(NamesKey(nine) + ColorsKey(Entries(ten)));
  EXPECT_EQ(TableColors().size(), 10u);
  TWdb_i_Flush();
  StoredTable stored(PlistPath());
  EXPECT_EQ(stored.Names(), nine);
  EXPECT_EQ(stored.Colors(), kCustomColors);
}

TEST_F(LabelTable, OneStoredHalfIsKeptAndOnlyTheMissingHalfIsSeeded) {
  // Names only: three stored names stay three; the colours are the system's.
  Store(NamesKey({"A", "B", "C"}));
  EXPECT_EQ(TableNames(), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(TableColors(), SystemColors(false));
  {
    StoredTable stored(PlistPath());
    EXPECT_EQ(stored.Names(), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(stored.Colors(), AsStored(SystemColors(false)));
  }

  // Colours only.
  Reset();
  Store(ColorsKey(Entries({{5, 6, 7}})));
  EXPECT_EQ(TableNames(), kClassicNames);
  EXPECT_EQ(TableColors(), (std::vector<Color>{{5, 6, 7}}));
  StoredTable stored(PlistPath());
  EXPECT_EQ(stored.Names(), kClassicNames);
  EXPECT_EQ(stored.Colors(), (std::vector<Color>{{5, 6, 7}}));
}

// ---------------------------------------------------------------------------
// Getters and setters.

TEST_F(LabelTable, IndicesOutsideTheTableGiveNullAndChangeNothing) {
  Store(NamesKey(kClassicNames) + ColorsKey(Entries(kCustomColors)));
  const SInt16 outside[] = {-1, 8, 9, 100, -32768, 32767};
  for (SInt16 index : outside) {
    SCOPED_TRACE(index);
    EXPECT_EQ(TWdb_GetLabelName(index), nullptr);
    EXPECT_EQ(TWdb_GetLabelColor(index), nullptr);
    const LabelColor c = {1, 1, 1};
    TWdb_SetLabelName(index, CFSTR("Nowhere"));
    TWdb_SetLabelColor(index, &c);
  }
  // Values that cannot be stored are refused too.
  TWdb_SetLabelName(2, nullptr);
  TWdb_SetLabelName(2, reinterpret_cast<CFStringRef>(kCFBooleanTrue));
  TWdb_SetLabelColor(2, nullptr);

  EXPECT_EQ(TableNames(), kClassicNames);
  EXPECT_EQ(TableColors(), kCustomColors);
  TWdb_i_Flush();
  EXPECT_EQ(StoredTable(PlistPath()).Names(), kClassicNames);
}

TEST_F(LabelTable, SettersChangeOnlyTheTableUntilAFlush) {
  Store(NamesKey(kClassicNames) + ColorsKey(Entries(kCustomColors)));
  const std::string before = tw::test::ReadFile(PlistPath());
  LabelColor* record = TWdb_GetLabelColor(5);
  const LabelColor violet = {0x8000, 0x0000, 0xFFFF};
  TWdb_SetLabelColor(5, &violet);
  EXPECT_EQ(TWdb_GetLabelColor(5), record);  // copied into the same record
  CFHolder name(CFStringCreateWithCString(nullptr, "Zu erledigen", kCFStringEncodingUTF8));
  TWdb_SetLabelName(4, static_cast<CFStringRef>(name.ref));
  EXPECT_EQ(TWdb_GetLabelName(4), name.ref);
  EXPECT_EQ(tw::test::ReadFile(PlistPath()), before);

  // A reload without a flush loses them.
  TWdb_Reload();
  EXPECT_EQ(TableNames(), kClassicNames);
  EXPECT_EQ(TableColors(), kCustomColors);
}

TEST_F(LabelTable, ComponentsWithTheTopBitSetRoundTripAsNegativeNumbers) {
  const LabelColor c = {65535, 32768, 32767};
  TWdb_SetLabelColor(1, &c);  // seeds first
  TWdb_i_Flush();
  EXPECT_EQ(StoredTable(PlistPath()).Colors()[1], (Color{-1, -32768, 32767}));
  TWdb_Reload();
  EXPECT_EQ(TableColors()[1], (Color{65535, 32768, 32767}));

  // Written by hand as unsigned numbers, the same 16 bits.
  Reset();
  Store(NamesKey(kClassicNames) + ColorsKey({ColorEntry(65535, 32768, 0)}));
  EXPECT_EQ(TableColors(), (std::vector<Color>{{65535, 32768, 0}}));
}

// ---------------------------------------------------------------------------
// Malformed preferences: wrong types are skipped (elements) or read as
// missing (keys); nothing crashes or reads out of bounds.

TEST_F(LabelTable, MalformedStoredValuesAreSkippedOrSeeded) {
  const std::string good = ColorEntry(9, 9, 9);
  struct Row {
    std::string what;
    std::string keys;
    std::vector<std::string> names;
    std::vector<Color> colors;
  } rows[] = {
      {"names not an array", "<key>LabelNames</key><string>Red</string>" + ColorsKey({good}), kClassicNames,
       {{9, 9, 9}}},
      {"colours not an array", NamesKey({"A"}) + "<key>LabelColors</key><dict/>", {"A"}, SystemColors(false)},
      {"both of the wrong type",
       "<key>LabelNames</key><integer>8</integer><key>LabelColors</key><string>x</string>", kClassicNames,
       SystemColors(false)},
      {"names that are not strings",
       "<key>LabelNames</key><array><string>A</string><integer>1</integer><dict/><array/>"
       "<true/><string>B</string></array>" +
           ColorsKey({good}),
       {"A", "B"},
       {{9, 9, 9}}},
      {"colour entries that are not dictionaries",
       NamesKey({"A"}) + ColorsKey({"<string>R</string>", "<array>" + Int(1) + Int(2) + Int(3) + "</array>",
                                    Int(7), good}),
       {"A"},
       {{9, 9, 9}}},
      {"components that are not 16-bit integers",
       NamesKey({"A"}) + ColorsKey({ColorEntry("<string>1</string>", Int(1), Int(1)),
                                    ColorEntry(Int(65536), Int(1), Int(1)),
                                    ColorEntry(Int(1), Int(-32769), Int(1)),
                                    ColorEntry(Int(1), Int(1), "<real>1.5</real>"),
                                    ColorEntry(Int(1), "<true/>", Int(1)),
                                    ColorEntry(Int(1), Int(1), "<dict/>"), ColorEntry(Int(1), Int(1), "<data>AA==</data>"),
                                    ColorEntry(Int(-32768), "<real>2.0</real>", Int(65535)), good}),
       {"A"},
       {{32768, 2, 65535}, {9, 9, 9}}},
      {"empty arrays", "<key>LabelNames</key><array/><key>LabelColors</key><array/>", {}, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Reset();
    Store(row.keys);
    EXPECT_EQ(TableNames(), row.names);
    EXPECT_EQ(TableColors(), row.colors);
    EXPECT_EQ(TWdb_GetLabelName(-1), nullptr);
    TWdb_i_Flush();  // what the table holds can always be stored
    StoredTable stored(PlistPath());
    EXPECT_EQ(stored.Names(), row.names);
    EXPECT_EQ(stored.Colors(), AsStored(row.colors));
  }
}

TEST_F(LabelTable, AFileThatDoesNotParseIsKeptAsideAndTheTableSeeded) {
  tw::test::WriteFile(PlistPath(), "<?xml version=\"1.0\"?><plist><dict><key>LabelNames</key><arr");
  EXPECT_EQ(TableNames(), kClassicNames);
  int kept = 0;
  for (const auto& entry : std::filesystem::directory_iterator(PreferencesDir())) {
    if (entry.path().filename().string().rfind("com.tolvane.tintwell.plist.corrupt-", 0) == 0) {
      ++kept;
      EXPECT_NE(tw::test::ReadFile(entry.path()).find("<arr"), std::string::npos);
    }
  }
  EXPECT_EQ(kept, 1);
  EXPECT_EQ(StoredTable(PlistPath()).Names(), kClassicNames);
}

// ---------------------------------------------------------------------------
// The date switch: only a stored true turns it on.

TEST_F(LabelTable, AffectFileModDateTrueMakesALaterSetLabelStampTheDate) {
  struct Row {
    std::string value;  // "" : no key
    bool stamps;
  } rows[] = {{"<true/>", true}, {"<false/>", false}, {"", false}, {"<dict/>", false},
              {"<string>sometimes</string>", false}, {"<array><true/></array>", false}};
  tw::test::ScratchDir dir;
  const std::string file = dir / "f";
  tw::test::WriteFile(file, "x");
  FSRef ref;
  ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(file.c_str()), &ref, nullptr), noErr);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.value.empty() ? "(no key)" : row.value);
    Reset();
    Store(NamesKey(kClassicNames) + ColorsKey(Entries(kCustomColors)) +
          (row.value.empty() ? "" : "<key>AffectFileModDate</key>" + row.value));
    const struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), old, 0), 0);
    EXPECT_FALSE(gAffectFileModDate);
    ASSERT_NE(TWdb_GetLabelName(0), nullptr);  // the load reads the switch
    EXPECT_EQ(gAffectFileModDate, row.stamps);
    ASSERT_EQ(TWdb_SetLabel(&ref, 4), noErr);
    EXPECT_EQ(TWdb_GetLabel(&ref), 4);
    struct stat st;
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    if (row.stamps)
      EXPECT_GT(st.st_mtime, time(nullptr) - 600);
    else
      EXPECT_EQ(st.st_mtime, 1000000000);
  }
}

// ---------------------------------------------------------------------------
// Flush and reload across processes.

TEST_F(LabelTable, SetNameThenFlushReloadsTheTableInAnotherProcess) {
  ASSERT_EQ(Text(TWdb_GetLabelName(3)), "In Progress");  // seeds and stores
  tw::test::Child peer({"labeltable_test_peer", "Urgent"});
  ASSERT_TRUE(tw::test::WaitFor([&] { return peer.Stdout().find("loaded In Progress\n") != std::string::npos; }))
      << peer.Stdout() << peer.Stderr();

  TWdb_SetLabelName(3, CFSTR("Urgent"));
  const LabelColor teal = {0x0000, 0x8080, 0xFFFF};
  TWdb_SetLabelColor(3, &teal);
  // The peer's observer reaches its bus asynchronously: flush again now and
  // then until it has reloaded (each flush stores the same table).
  auto last = std::chrono::steady_clock::now() - std::chrono::hours(1);
  ASSERT_TRUE(tw::test::WaitFor([&] {
    if (std::chrono::steady_clock::now() - last > std::chrono::milliseconds(250)) {
      TWdb_Flush();
      last = std::chrono::steady_clock::now();
    }
    return !peer.running();
  })) << peer.Stdout() << peer.Stderr();
  EXPECT_EQ(peer.Wait(), 0) << peer.Stderr();
  EXPECT_NE(peer.Stdout().find("reloaded Urgent 0 32896 65535\n"), std::string::npos) << peer.Stdout();

  StoredTable stored(PlistPath());
  std::vector<std::string> names = kClassicNames;
  names[3] = "Urgent";
  EXPECT_EQ(stored.Names(), names);
  EXPECT_EQ(stored.Colors()[3], (Color{0, -32640, -1}));
}

TEST_F(LabelTable, EachNotificationRebuildsTheTableOnceFromThePreferences) {
  Store(NamesKey(kClassicNames) + ColorsKey(Entries(kCustomColors)));
  ASSERT_NE(TWdb_GetLabelName(0), nullptr);
  // Reloads initialise again, but add no second observer.
  TWdb_Reload();
  TWdb_Reload();
  EXPECT_TRUE(gReloadObserverAdded);
  const UInt32 base = gLabelTableLoads;

  // The flush's own notification comes back to this process too.
  TWdb_SetLabelName(1, CFSTR("First"));
  TWdb_Flush();
  ASSERT_TRUE(LoopUntil([&] { return gLabelTableLoads >= base + 1; }));
  EXPECT_EQ(gLabelTableLoads, base + 1);
  EXPECT_EQ(Text(TWdb_GetLabelName(1)), "First");

  // Another writer changes the file; a second notification reads it.
  Store(NamesKey({"Other", "Names"}) + ColorsKey(Entries({{1, 1, 1}})));
  CFNotificationCenterPostNotification(CFNotificationCenterGetDistributedCenter(), CFSTR("com.tolvane.tintwell"),
                                       CFSTR("reload-label-data"), nullptr, true);
  ASSERT_TRUE(LoopUntil([&] { return gLabelTableLoads >= base + 2; }));
  EXPECT_EQ(TableNames(), (std::vector<std::string>{"Other", "Names"}));
  EXPECT_EQ(TableColors(), (std::vector<Color>{{1, 1, 1}}));

  // The set-label notification of the same name is not a reload.
  CFNotificationCenterPostNotification(CFNotificationCenterGetDistributedCenter(), CFSTR("com.tolvane.tintwell"),
                                       CFSTR("set-label"), nullptr, true);
  // Deliveries keep their order: wait for a marker posted after it.
  bool ended = false;
  static bool* endedFlag;
  endedFlag = &ended;
  static int marker;
  CFNotificationCenterAddObserver(
      CFNotificationCenterGetDistributedCenter(), &marker,
      [](CFNotificationCenterRef, void*, CFStringRef, const void*, CFDictionaryRef) { *endedFlag = true; },
      CFSTR("end-of-test"), nullptr, kCFNotificationSuspensionBehaviorDeliverImmediately);
  CFNotificationCenterPostNotification(CFNotificationCenterGetDistributedCenter(), CFSTR("end-of-test"), nullptr,
                                       nullptr, true);
  ASSERT_TRUE(LoopUntil([&] { return ended; }));
  CFNotificationCenterRemoveEveryObserver(CFNotificationCenterGetDistributedCenter(), &marker);
  EXPECT_EQ(gLabelTableLoads, base + 2);
}
