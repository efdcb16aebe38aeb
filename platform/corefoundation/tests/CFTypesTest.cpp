// Strings in their encodings, numbers, Booleans, data, arrays and
// dictionaries: round trips, refusals, retain counts and equality.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/corefoundation/CoreFoundation.h"

namespace {

// Owns one reference for the length of a test.
class Ref {
 public:
  explicit Ref(CFTypeRef cf = nullptr) : cf_(cf) {}
  ~Ref() { CFRelease(cf_); }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  template <typename T>
  T as() const { return (T)cf_; }
  CFStringRef str() const { return as<CFStringRef>(); }
  CFTypeRef get() const { return cf_; }
  explicit operator bool() const { return cf_ != nullptr; }

 private:
  CFTypeRef cf_;
};

std::u16string Units(CFStringRef s) {
  std::u16string out(size_t(CFStringGetLength(s)), u'\0');
  CFStringGetCharacters(s, CFRangeMake(0, CFStringGetLength(s)), reinterpret_cast<UniChar*>(out.data()));
  return out;
}

std::string CString(CFStringRef s, CFStringEncoding encoding) {
  char buffer[256];
  if (!CFStringGetCString(s, buffer, sizeof buffer, encoding)) return "<refused>";
  return buffer;
}

// ---------------------------------------------------------------------------
// Strings.

TEST(CFString, CreateWithCStringInEachEncoding) {
  struct Row {
    const char* bytes;
    CFStringEncoding encoding;
    std::u16string expected;  // empty with refused=true: NULL expected
    bool refused;
  } rows[] = {
      {"plain", kCFStringEncodingUTF8, u"plain", false},
      {"caf\xC3\xA9", kCFStringEncodingUTF8, u"caf\u00E9", false},
      {"\xF0\x9F\x8D\x8E", kCFStringEncodingUTF8, u"\U0001F34E", false},
      {"caf\xE9", kCFStringEncodingUTF8, u"", true},          // Latin-1 byte, not UTF-8
      {"\xC0\xAF", kCFStringEncodingUTF8, u"", true},         // overlong '/'
      {"\xED\xA0\x80", kCFStringEncodingUTF8, u"", true},     // encoded surrogate
      {"\xF4\x90\x80\x80", kCFStringEncodingUTF8, u"", true}, // past U+10FFFF
      {"abc\xE2\x82", kCFStringEncodingUTF8, u"", true},      // cut short
      {"ascii", kCFStringEncodingASCII, u"ascii", false},
      {"caf\xE9", kCFStringEncodingASCII, u"", true},
      {"caf\xE9", kCFStringEncodingISOLatin1, u"caf\u00E9", false},
      {"\x8E\xA5\xDB\xF0\xFF", kCFStringEncodingMacRoman, u"\u00E9\u2022\u20AC\uF8FF\u02C7", false},
      {"x", 0x12345, u"", true},  // unknown encoding
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.bytes);
    Ref s(CFStringCreateWithCString(nullptr, row.bytes, row.encoding));
    if (row.refused) {
      EXPECT_FALSE(s);
      continue;
    }
    ASSERT_TRUE(s);
    EXPECT_EQ(Units(s.str()), row.expected);
    EXPECT_EQ(CString(s.str(), row.encoding), row.bytes);  // and back
  }
  EXPECT_EQ(CFStringCreateWithCString(nullptr, nullptr, kCFStringEncodingUTF8), nullptr);
}

TEST(CFString, MacRomanPascalStringsCoverTheWholeHighHalf) {
  Str255 p;
  p[0] = 128;
  for (int i = 0; i < 128; ++i) p[1 + i] = UInt8(0x80 + i);
  Ref s(CFStringCreateWithPascalString(nullptr, p, kCFStringEncodingMacRoman));
  ASSERT_TRUE(s);
  ASSERT_EQ(CFStringGetLength(s.str()), 128);
  std::u16string u = Units(s.str());
  EXPECT_EQ(u[0x00], u'\u00C4');  // 0x80 Ä
  EXPECT_EQ(u[0x2A], u'\u2122');  // 0xAA ™
  EXPECT_EQ(u[0x4A], u'\u00A0');  // 0xCA no-break space
  EXPECT_EQ(u[0x7F], u'\u02C7');  // 0xFF caron
  // Every high byte is a different character, and each comes back.
  char back[200];
  ASSERT_TRUE(CFStringGetCString(s.str(), back, sizeof back, kCFStringEncodingMacRoman));
  EXPECT_EQ(std::memcmp(back, p + 1, 128), 0);

  const unsigned char empty[1] = {0};
  Ref e(CFStringCreateWithPascalString(nullptr, empty, kCFStringEncodingMacRoman));
  ASSERT_TRUE(e);
  EXPECT_EQ(CFStringGetLength(e.str()), 0);

  const unsigned char label[] = "\x0BIn Progress";
  Ref l(CFStringCreateWithPascalString(nullptr, label, kCFStringEncodingMacRoman));
  EXPECT_TRUE(CFEqual(l.get(), CFSTR("In Progress")));
}

TEST(CFString, GetCStringRefusesWithoutWritingAPartialString) {
  Ref s(CFStringCreateWithCString(nullptr, "caf\xC3\xA9", kCFStringEncodingUTF8));
  struct Row {
    CFIndex size;
    CFStringEncoding encoding;
    bool ok;
  } rows[] = {
      {6, kCFStringEncodingUTF8, true},   // 5 bytes + NUL
      {5, kCFStringEncodingUTF8, false},  // no room for the NUL
      {1, kCFStringEncodingUTF8, false},
      {5, kCFStringEncodingISOLatin1, true},
      {5, kCFStringEncodingMacRoman, true},
      {64, kCFStringEncodingASCII, false},  // é has no ASCII form
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.size);
    char buffer[64];
    std::memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(bool(CFStringGetCString(s.str(), buffer, row.size, row.encoding)), row.ok);
    if (!row.ok) {
      EXPECT_EQ(buffer[0], '\0');
      EXPECT_EQ(buffer[1], 'X');
    }
  }
  char one[1];
  EXPECT_FALSE(CFStringGetCString(s.str(), one, 0, kCFStringEncodingUTF8));

  // A lone surrogate has no UTF-8 form.
  const UniChar lone[] = {'a', 0xD800};
  Ref bad(CFStringCreateWithCharacters(nullptr, lone, 2));
  EXPECT_EQ(CString(bad.str(), kCFStringEncodingUTF8), "<refused>");
}

TEST(CFString, CreateWithBytesReadsUTF16InEitherOrder) {
  const UInt8 big[] = {0xFE, 0xFF, 0x00, 'h', 0x00, 'i'};
  const UInt8 little[] = {0xFF, 0xFE, 'h', 0x00, 'i', 0x00};
  Ref a(CFStringCreateWithBytes(nullptr, big, 6, kCFStringEncodingUTF16, true));
  Ref b(CFStringCreateWithBytes(nullptr, little, 6, kCFStringEncodingUTF16, true));
  ASSERT_TRUE(a && b);
  EXPECT_EQ(Units(a.str()), u"hi");
  EXPECT_EQ(Units(b.str()), u"hi");
  EXPECT_FALSE(Ref(CFStringCreateWithBytes(nullptr, big, 5, kCFStringEncodingUTF16, true)));
  const UInt8 utf8[] = {'o', 'k', 0xFF};
  Ref c(CFStringCreateWithBytes(nullptr, utf8, 2, kCFStringEncodingUTF8, false));
  EXPECT_EQ(Units(c.str()), u"ok");
  EXPECT_FALSE(Ref(CFStringCreateWithBytes(nullptr, utf8, 3, kCFStringEncodingUTF8, false)));
}

TEST(CFString, DirectAccessOnlyForImmutableStrings) {
  Ref s(CFStringCreateWithCString(nullptr, "abc", kCFStringEncodingUTF8));
  const UniChar* p = CFStringGetCharactersPtr(s.str());
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p[2], 'c');
  EXPECT_STREQ(CFStringGetCStringPtr(s.str(), kCFStringEncodingUTF8), "abc");

  Ref m(CFStringCreateMutable(nullptr, 0));
  CFStringAppend(m.as<CFMutableStringRef>(), s.str());
  CFStringAppend(m.as<CFMutableStringRef>(), m.str());  // appending itself
  EXPECT_EQ(Units(m.str()), u"abcabc");
  EXPECT_EQ(CFStringGetCharactersPtr(m.str()), nullptr);
  EXPECT_EQ(CFStringGetCStringPtr(m.str(), kCFStringEncodingUTF8), nullptr);
  EXPECT_TRUE(CFEqual(m.get(), CFSTR("abcabc")));
  EXPECT_EQ(CFHash(m.get()), CFHash(CFSTR("abcabc")));

  Ref nonAscii(CFStringCreateWithCString(nullptr, "\xC3\xA9", kCFStringEncodingUTF8));
  EXPECT_EQ(CFStringGetCStringPtr(nonAscii.str(), kCFStringEncodingUTF8), nullptr);

  // A copy of an immutable string is the same object; of a mutable one, a new one.
  Ref copy(CFStringCreateCopy(nullptr, s.str()));
  EXPECT_EQ(copy.get(), s.get());
  Ref mcopy(CFStringCreateCopy(nullptr, m.str()));
  EXPECT_NE(mcopy.get(), m.get());
  EXPECT_NE(CFStringGetCharactersPtr(mcopy.str()), nullptr);
}

TEST(CFString, Compare) {
  EXPECT_EQ(CFStringCompare(CFSTR("abc"), CFSTR("abd"), 0), kCFCompareLessThan);
  EXPECT_EQ(CFStringCompare(CFSTR("abc"), CFSTR("ab"), 0), kCFCompareGreaterThan);
  EXPECT_EQ(CFStringCompare(CFSTR("Caf\u00C9"), CFSTR("caf\u00E9"), 0), kCFCompareLessThan);
  EXPECT_EQ(CFStringCompare(CFSTR("Caf\u00C9"), CFSTR("caf\u00E9"), kCFCompareCaseInsensitive),
            kCFCompareEqualTo);
}

TEST(CFString, ConstantsAreUniquedAndImmortal) {
  CFStringRef a = CFSTR("com.tolvane.tintwell");
  CFStringRef b = CFSTR("com.tolvane.tintwell");
  EXPECT_EQ(a, b);
  CFIndex count = CFGetRetainCount(a);
  CFRelease(a);
  CFRelease(a);
  CFRetain(a);
  EXPECT_EQ(CFGetRetainCount(a), count);
  EXPECT_EQ(CFStringGetLength(a), 20);
}

// ---------------------------------------------------------------------------
// Numbers, Booleans and data.

TEST(CFNumber, SixteenBitsInSixteenBitsOut) {
  UInt16 components[] = {0, 1, 0x7FFF, 0x8000, 0xFFFF};
  for (UInt16 component : components) {
    SCOPED_TRACE(component);
    SInt16 in;
    std::memcpy(&in, &component, 2);
    Ref n(CFNumberCreate(nullptr, kCFNumberSInt16Type, &in));
    ASSERT_TRUE(n);
    UInt16 out = 0x1234;
    EXPECT_TRUE(CFNumberGetValue(n.as<CFNumberRef>(), kCFNumberSInt16Type, &out));
    EXPECT_EQ(out, component);
  }
  SInt16 minusOne = -1;
  Ref n(CFNumberCreate(nullptr, kCFNumberSInt16Type, &minusOne));
  SInt32 wide = 0;
  EXPECT_TRUE(CFNumberGetValue(n.as<CFNumberRef>(), kCFNumberSInt32Type, &wide));
  EXPECT_EQ(wide, -1);
}

TEST(CFNumber, ConversionsReportLoss) {
  struct Row {
    const char* what;
    CFNumberType from;
    double value;  // given in the `from` type
    CFNumberType to;
    double expected;
    bool exact;
  } rows[] = {
      {"int fits in SInt8", kCFNumberSInt32Type, 100, kCFNumberSInt8Type, 100, true},
      {"int cut to SInt8", kCFNumberSInt32Type, 300, kCFNumberSInt8Type, 44, false},
      {"negative to SInt16", kCFNumberSInt64Type, -40000, kCFNumberSInt16Type, 25536, false},
      {"fraction to int", kCFNumberFloat64Type, 2.5, kCFNumberSInt32Type, 2, false},
      {"whole double to int", kCFNumberFloat64Type, 7, kCFNumberIntType, 7, true},
      {"huge double clamped", kCFNumberFloat64Type, 1e20, kCFNumberSInt32Type, 2147483647, false},
      {"double to float rounds", kCFNumberFloat64Type, 0.1, kCFNumberFloat32Type, double(0.1f), false},
      {"float to double", kCFNumberFloat32Type, 0.5, kCFNumberFloat64Type, 0.5, true},
      {"int to double", kCFNumberSInt32Type, 123456, kCFNumberDoubleType, 123456, true},
      {"big int to float", kCFNumberSInt32Type, 16777217, kCFNumberFloat32Type, 16777216, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    union {
      SInt8 s8; SInt16 s16; SInt32 s32; SInt64 s64; Float32 f32; Float64 f64;
    } in{}, out{};
    switch (row.from) {
      case kCFNumberSInt32Type: in.s32 = SInt32(row.value); break;
      case kCFNumberSInt64Type: in.s64 = SInt64(row.value); break;
      case kCFNumberFloat32Type: in.f32 = Float32(row.value); break;
      default: in.f64 = row.value; break;
    }
    Ref n(CFNumberCreate(nullptr, row.from, &in));
    ASSERT_TRUE(n);
    EXPECT_EQ(bool(CFNumberGetValue(n.as<CFNumberRef>(), row.to, &out)), row.exact);
    double got = 0;
    switch (row.to) {
      case kCFNumberSInt8Type: got = out.s8; break;
      case kCFNumberSInt16Type: got = out.s16; break;
      case kCFNumberSInt32Type: case kCFNumberIntType: got = out.s32; break;
      case kCFNumberFloat32Type: got = out.f32; break;
      default: got = out.f64; break;
    }
    EXPECT_EQ(got, row.expected);
  }
  int x = 1;
  EXPECT_EQ(CFNumberCreate(nullptr, 99, &x), nullptr);
  EXPECT_EQ(CFNumberCreate(nullptr, kCFNumberIntType, nullptr), nullptr);
}

TEST(CFNumber, EqualByValueAcrossTypesAndHashAlike) {
  SInt8 a = 5;
  SInt64 b = 5;
  double c = 5.0, d = 5.5;
  Ref na(CFNumberCreate(nullptr, kCFNumberSInt8Type, &a));
  Ref nb(CFNumberCreate(nullptr, kCFNumberSInt64Type, &b));
  Ref nc(CFNumberCreate(nullptr, kCFNumberDoubleType, &c));
  Ref nd(CFNumberCreate(nullptr, kCFNumberDoubleType, &d));
  EXPECT_TRUE(CFEqual(na.get(), nb.get()));
  EXPECT_TRUE(CFEqual(nb.get(), nc.get()));
  EXPECT_FALSE(CFEqual(nc.get(), nd.get()));
  EXPECT_EQ(CFHash(na.get()), CFHash(nb.get()));
  EXPECT_EQ(CFHash(nb.get()), CFHash(nc.get()));
  EXPECT_EQ(CFNumberGetType(na.as<CFNumberRef>()), kCFNumberSInt8Type);
  EXPECT_EQ(CFNumberGetType(nc.as<CFNumberRef>()), kCFNumberFloat64Type);
  EXPECT_TRUE(CFNumberIsFloatType(nc.as<CFNumberRef>()));
  EXPECT_FALSE(CFEqual(na.get(), kCFBooleanTrue));
}

TEST(CFBoolean, Singletons) {
  EXPECT_TRUE(CFBooleanGetValue(kCFBooleanTrue));
  EXPECT_FALSE(CFBooleanGetValue(kCFBooleanFalse));
  EXPECT_EQ(CFGetTypeID(kCFBooleanTrue), CFBooleanGetTypeID());
  CFRetain(kCFBooleanTrue);
  CFRelease(kCFBooleanTrue);
  CFRelease(kCFBooleanTrue);
  EXPECT_TRUE(CFBooleanGetValue(kCFBooleanTrue));
  EXPECT_FALSE(CFEqual(kCFBooleanTrue, kCFBooleanFalse));
}

TEST(CFData, BytesAndEquality) {
  const UInt8 bytes[] = {1, 2, 3};
  Ref d(CFDataCreate(nullptr, bytes, 3));
  Ref m(CFDataCreateMutable(nullptr, 0));
  CFDataAppendBytes(m.as<CFMutableDataRef>(), bytes, 2);
  EXPECT_FALSE(CFEqual(d.get(), m.get()));
  CFDataAppendBytes(m.as<CFMutableDataRef>(), bytes + 2, 1);
  EXPECT_TRUE(CFEqual(d.get(), m.get()));
  EXPECT_EQ(CFHash(d.get()), CFHash(m.get()));
  EXPECT_EQ(CFDataGetLength(d.as<CFDataRef>()), 3);
  EXPECT_EQ(CFDataGetBytePtr(d.as<CFDataRef>())[2], 3);
  // Appending its own bytes.
  CFDataAppendBytes(m.as<CFMutableDataRef>(), CFDataGetBytePtr(m.as<CFDataRef>()), 3);
  EXPECT_EQ(CFDataGetLength(m.as<CFDataRef>()), 6);
  EXPECT_EQ(CFDataGetBytePtr(m.as<CFDataRef>())[5], 3);
}

// ---------------------------------------------------------------------------
// Arrays and dictionaries.

TEST(CFArray, TypeCallBacksRetainAndRelease) {
  CFStringRef s = CFStringCreateWithCString(nullptr, "name", kCFStringEncodingUTF8);
  CFMutableArrayRef a = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
  CFArrayAppendValue(a, s);
  EXPECT_EQ(CFGetRetainCount(s), 2);
  CFArrayInsertValueAtIndex(a, 0, s);
  EXPECT_EQ(CFGetRetainCount(s), 3);
  CFMutableArrayRef copy = CFArrayCreateMutableCopy(nullptr, 0, a);
  EXPECT_EQ(CFGetRetainCount(s), 5);
  EXPECT_TRUE(CFEqual(a, copy));
  CFArrayRemoveValueAtIndex(a, 0);
  EXPECT_EQ(CFGetRetainCount(s), 4);
  CFRelease(copy);
  EXPECT_EQ(CFGetRetainCount(s), 2);
  CFStringRef other = CFSTR("other");
  CFArraySetValueAtIndex(a, 0, other);  // releases the replaced value
  EXPECT_EQ(CFGetRetainCount(s), 1);
  CFArraySetValueAtIndex(a, 1, s);  // the index equal to the count appends
  EXPECT_EQ(CFArrayGetCount(a), 2);
  EXPECT_EQ(CFArrayGetValueAtIndex(a, 1), s);
  Ref equalText(CFStringCreateWithCString(nullptr, "name", kCFStringEncodingUTF8));
  EXPECT_TRUE(CFArrayContainsValue(a, CFRangeMake(0, 2), equalText.get()));
  EXPECT_FALSE(CFArrayContainsValue(a, CFRangeMake(0, 1), equalText.get()));
  CFRelease(a);
  EXPECT_EQ(CFGetRetainCount(s), 1);
  CFRelease(s);
}

TEST(CFArray, NullCallBacksStoreRawPointers) {
  int records[3] = {1, 2, 3};
  CFMutableArrayRef a = CFArrayCreateMutable(nullptr, 0, nullptr);
  for (int& r : records) CFArrayAppendValue(a, &r);
  EXPECT_EQ(CFArrayGetValueAtIndex(a, 2), &records[2]);
  int twin = 2;
  EXPECT_FALSE(CFArrayContainsValue(a, CFRangeMake(0, 3), &twin));  // identity, not value
  EXPECT_TRUE(CFArrayContainsValue(a, CFRangeMake(0, 3), &records[1]));
  CFArrayRemoveValueAtIndex(a, 0);
  EXPECT_EQ(CFArrayGetValueAtIndex(a, 0), &records[1]);
  CFArrayRemoveAllValues(a);
  EXPECT_EQ(CFArrayGetCount(a), 0);

  // A string stored without callbacks is not retained.
  CFStringRef s = CFStringCreateWithCString(nullptr, "x", kCFStringEncodingUTF8);
  CFArrayAppendValue(a, s);
  EXPECT_EQ(CFGetRetainCount(s), 1);
  CFRelease(a);
  EXPECT_EQ(CFGetRetainCount(s), 1);
  CFRelease(s);
}

TEST(CFArray, OutOfRangeIndexNeverTouchesMemory) {
  Ref a(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
  auto m = a.as<CFMutableArrayRef>();
  CFArrayAppendValue(m, CFSTR("only"));
  // Debug builds stop on an assertion; release builds ignore the call.
  EXPECT_DEBUG_DEATH(EXPECT_EQ(CFArrayGetValueAtIndex(m, 1), nullptr), "out of range");
  EXPECT_DEBUG_DEATH(CFArrayRemoveValueAtIndex(m, -1), "out of range");
  EXPECT_DEBUG_DEATH(CFArraySetValueAtIndex(m, 5, CFSTR("x")), "out of range");
  EXPECT_EQ(CFArrayGetCount(m), 1);
}

TEST(CFArray, ImmutableCreateAndCopy) {
  const void* values[] = {CFSTR("a"), CFSTR("b")};
  Ref a(CFArrayCreate(nullptr, values, 2, &kCFTypeArrayCallBacks));
  Ref b(CFArrayCreateCopy(nullptr, a.as<CFArrayRef>()));
  EXPECT_TRUE(CFEqual(a.get(), b.get()));
  EXPECT_EQ(CFHash(a.get()), CFHash(b.get()));
  EXPECT_EQ(CFGetTypeID(a.get()), CFArrayGetTypeID());
  const void* other[] = {CFSTR("a"), CFSTR("c")};
  Ref c(CFArrayCreate(nullptr, other, 2, &kCFTypeArrayCallBacks));
  EXPECT_FALSE(CFEqual(a.get(), c.get()));
}

TEST(CFDictionary, TypeCallBacksLookupAndOrder) {
  Ref d(CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                  &kCFTypeDictionaryValueCallBacks));
  auto m = d.as<CFMutableDictionaryRef>();
  const char* keys[] = {"R", "G", "B", "Alpha", "Z"};
  for (int i = 0; i < 5; ++i) {
    SInt16 v = SInt16(i);
    Ref key(CFStringCreateWithCString(nullptr, keys[i], kCFStringEncodingUTF8));
    Ref value(CFNumberCreate(nullptr, kCFNumberSInt16Type, &v));
    CFDictionarySetValue(m, key.get(), value.get());
    EXPECT_EQ(CFGetRetainCount(value.get()), 2);
  }
  EXPECT_EQ(CFDictionaryGetCount(m), 5);
  EXPECT_EQ(CFDictionaryGetValue(m, CFSTR("missing")), nullptr);
  EXPECT_FALSE(CFDictionaryContainsKey(m, CFSTR("missing")));
  // A key equal in value but another object finds the entry.
  SInt16 g = 0;
  auto number = static_cast<CFNumberRef>(CFDictionaryGetValue(m, CFSTR("G")));
  ASSERT_NE(number, nullptr);
  CFNumberGetValue(number, kCFNumberSInt16Type, &g);
  EXPECT_EQ(g, 1);

  // Replacing keeps the key's place; removing closes the gap.
  CFDictionarySetValue(m, CFSTR("G"), CFSTR("green"));
  CFDictionaryAddValue(m, CFSTR("G"), CFSTR("ignored"));
  CFDictionaryRemoveValue(m, CFSTR("B"));
  const void* k[4];
  const void* v[4];
  ASSERT_EQ(CFDictionaryGetCount(m), 4);
  CFDictionaryGetKeysAndValues(m, k, v);
  const char* order[] = {"R", "G", "Alpha", "Z"};
  for (int i = 0; i < 4; ++i) {
    char name[16];
    ASSERT_TRUE(CFStringGetCString(static_cast<CFStringRef>(k[i]), name, 16, kCFStringEncodingUTF8));
    EXPECT_STREQ(name, order[i]);
  }
  EXPECT_TRUE(CFEqual(v[1], CFSTR("green")));
  EXPECT_EQ(CFDictionaryGetValue(m, CFSTR("Z")) != nullptr, true);

  std::vector<std::string> applied;
  CFDictionaryApplyFunction(
      m,
      [](const void* key, const void*, void* context) {
        char name[16];
        CFStringGetCString(static_cast<CFStringRef>(key), name, 16, kCFStringEncodingUTF8);
        static_cast<std::vector<std::string>*>(context)->push_back(name);
      },
      &applied);
  EXPECT_EQ(applied, (std::vector<std::string>{"R", "G", "Alpha", "Z"}));
}

TEST(CFDictionary, EqualityIgnoresOrderAndHashAgrees) {
  const void* k1[] = {CFSTR("a"), CFSTR("b")};
  const void* v1[] = {CFSTR("1"), CFSTR("2")};
  const void* k2[] = {CFSTR("b"), CFSTR("a")};
  const void* v2[] = {CFSTR("2"), CFSTR("1")};
  Ref d1(CFDictionaryCreate(nullptr, k1, v1, 2, &kCFTypeDictionaryKeyCallBacks,
                            &kCFTypeDictionaryValueCallBacks));
  Ref d2(CFDictionaryCreate(nullptr, k2, v2, 2, &kCFTypeDictionaryKeyCallBacks,
                            &kCFTypeDictionaryValueCallBacks));
  EXPECT_TRUE(CFEqual(d1.get(), d2.get()));
  EXPECT_EQ(CFHash(d1.get()), CFHash(d2.get()));
  Ref m(CFDictionaryCreateMutableCopy(nullptr, 0, d1.as<CFDictionaryRef>()));
  CFDictionarySetValue(m.as<CFMutableDictionaryRef>(), CFSTR("a"), CFSTR("changed"));
  EXPECT_FALSE(CFEqual(d1.get(), m.get()));
  Ref c(CFDictionaryCreateCopy(nullptr, m.as<CFDictionaryRef>()));
  EXPECT_TRUE(CFEqual(c.get(), m.get()));

  // Nested containers compare deeply.
  const void* outer1[] = {d1.get()};
  const void* outer2[] = {d2.get()};
  Ref a1(CFArrayCreate(nullptr, outer1, 1, &kCFTypeArrayCallBacks));
  Ref a2(CFArrayCreate(nullptr, outer2, 1, &kCFTypeArrayCallBacks));
  EXPECT_TRUE(CFEqual(a1.get(), a2.get()));
}

TEST(CFDictionary, CopyStringKeysAndNullCallBacks) {
  Ref d(CFDictionaryCreateMutable(nullptr, 0, &kCFCopyStringDictionaryKeyCallBacks,
                                  &kCFTypeDictionaryValueCallBacks));
  Ref key(CFStringCreateMutable(nullptr, 0));
  CFStringAppend(key.as<CFMutableStringRef>(), CFSTR("Files"));
  CFDictionarySetValue(d.as<CFMutableDictionaryRef>(), key.get(), kCFBooleanTrue);
  CFStringAppend(key.as<CFMutableStringRef>(), CFSTR("!"));  // the stored key is a copy
  EXPECT_EQ(CFDictionaryGetValue(d.as<CFDictionaryRef>(), CFSTR("Files")), kCFBooleanTrue);
  EXPECT_EQ(CFGetRetainCount(key.get()), 1);

  int a = 1, b = 1;
  Ref raw(CFDictionaryCreateMutable(nullptr, 0, nullptr, nullptr));
  CFDictionarySetValue(raw.as<CFMutableDictionaryRef>(), &a, &b);
  int twin = 1;
  EXPECT_EQ(CFDictionaryGetValue(raw.as<CFDictionaryRef>(), &a), &b);
  EXPECT_EQ(CFDictionaryGetValue(raw.as<CFDictionaryRef>(), &twin), nullptr);
  const void* found = nullptr;
  EXPECT_TRUE(CFDictionaryGetValueIfPresent(raw.as<CFDictionaryRef>(), &a, &found));
  EXPECT_EQ(found, &b);
  CFDictionaryRemoveAllValues(raw.as<CFMutableDictionaryRef>());
  EXPECT_EQ(CFDictionaryGetCount(raw.as<CFDictionaryRef>()), 0);
}

TEST(CFBase, RetainCountsAreThreadSafe) {
  CFStringRef s = CFStringCreateWithCString(nullptr, "shared", kCFStringEncodingUTF8);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([s] {
      for (int i = 0; i < 10000; ++i) {
        CFRetain(s);
        CFRelease(s);
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(CFGetRetainCount(s), 1);
  CFRelease(s);
  EXPECT_EQ(CFRetain(nullptr), nullptr);
  CFRelease(nullptr);
  EXPECT_FALSE(CFEqual(nullptr, CFSTR("x")));
}

}  // namespace
