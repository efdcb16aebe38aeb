// Descriptor data access: handle copies, typed readers, CFStrings, the
// missing value, list appending, and the memory helpers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "aekit/MoreAEDataModel.h"
#include "aekit/MoreAppleEvents.h"

namespace {

// A descriptor that disposes of itself.
struct Desc {
  AEDesc d;
  Desc() { MoreAENullDesc(&d); }
  Desc(DescType type, const void* data, Size size) {
    MoreAENullDesc(&d);
    EXPECT_EQ(AECreateDesc(type, data, size, &d), noErr);
  }
  Desc(DescType type, const std::string& bytes) : Desc(type, bytes.data(), Size(bytes.size())) {}
  ~Desc() { MoreAEDisposeDesc(&d); }
  Desc(const Desc&) = delete;
  Desc& operator=(const Desc&) = delete;
  AEDesc* operator&() { return &d; }
};

std::string Letters(size_t n) {
  std::string s(n, 'a');
  for (size_t i = 0; i < n; ++i) s[i] = char('a' + i % 26);
  return s;
}

// An empty list that no built-in coercion turns into a scalar or text.
struct List : Desc {
  List() { EXPECT_EQ(AECreateList(nullptr, 0, false, &d), noErr); }
};

}  // namespace

// ---------------------------------------------------------------------------
// Memory helpers.

TEST(MoreMemErrorTest, NullBlockWithoutMemErrorIsMemFull) {
  Ptr p = NewPtr(4);
  ASSERT_EQ(MemError(), noErr);
  EXPECT_EQ(MoreMemError(p), noErr);
  EXPECT_EQ(MoreMemError(nullptr), memFullErr);
  DisposePtr(p);
  MacMemoryFailAllocations(0, 1);
  Handle h = NewHandle(8);
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(MoreMemError(h), memFullErr);
}

TEST(MoreBlockCompareTest, StopsAtTheFirstDifferenceWithinCount) {
  const unsigned char a[] = {1, 2, 3, 0x80};
  const unsigned char b[] = {1, 2, 3, 0x7F};
  EXPECT_FALSE(MoreBlockCompare(a, b, 4));
  EXPECT_TRUE(MoreBlockCompare(a, b, 3));
  EXPECT_TRUE(MoreBlockCompare(a, b, 0));
  EXPECT_TRUE(MoreBlockCompare(a, a, 4));
}

// ---------------------------------------------------------------------------
// Raw data.

TEST(CopyDescriptorDataToHandle, CopiesEveryByte) {
  Desc text(typeChar, std::string("alias bytes"));
  Handle h = nullptr;
  ASSERT_EQ(MoreAECopyDescriptorDataToHandle(&text, &h), noErr);
  ASSERT_NE(h, nullptr);
  ASSERT_EQ(GetHandleSize(h), 11);
  EXPECT_EQ(std::memcmp(*h, "alias bytes", 11), 0);
  EXPECT_EQ(HGetState(h) & kHandleLockedMask, 0);  // unlocked again
  DisposeHandle(h);
}

TEST(CopyDescriptorDataToHandle, NoDataGivesAnEmptyHandle) {
  Desc empty(typeChar, std::string());
  Handle h = nullptr;
  ASSERT_EQ(MoreAECopyDescriptorDataToHandle(&empty, &h), noErr);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GetHandleSize(h), 0);
  DisposeHandle(h);
}

TEST(CopyDescriptorDataToHandle, FailedAllocationStoresNullAndReportsIt) {
  Desc text(typeChar, std::string("abc"));
  Handle h = reinterpret_cast<Handle>(0x1);  // sentinel: must be overwritten
  MacMemoryFailAllocations(0, 1);
  EXPECT_EQ(MoreAECopyDescriptorDataToHandle(&text, &h), memFullErr);
  EXPECT_EQ(h, nullptr);
}

TEST(RawData, NullDescriptorGivesSizeZeroAndNoCopy) {
  AEDesc null;
  MoreAENullDesc(&null);
  char buffer[4] = {'x', 'x', 'x', 'x'};
  Size size = 1234;
  MoreAEGetRawDataFromDescriptor(&null, buffer, sizeof(buffer), &size);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(std::memcmp(buffer, "xxxx", 4), 0);
}

TEST(RawData, TruncatedCopyReportsTheFullSize) {
  Desc text(typeChar, std::string("abcdefgh"));
  std::vector<char> buffer(3);  // exact size: ASan sees any overrun
  Size size = 0;
  MoreAEGetRawDataFromDescriptor(&text, buffer.data(), Size(buffer.size()), &size);
  EXPECT_EQ(size, 8);
  EXPECT_EQ(std::string(buffer.data(), 3), "abc");
}

// ---------------------------------------------------------------------------
// Integer, Boolean and OSType readers.

TEST(TypedReaders, IntegersAndBooleans) {
  const SInt16 shortValue = -1234;
  const SInt32 longValue = -70000;
  const OSType code = 'abcd';
  const Boolean yes = true;
  Desc shortDesc(typeSInt16, &shortValue, sizeof(shortValue));
  Desc longDesc(typeSInt32, &longValue, sizeof(longValue));
  Desc codeDesc(typeSInt32, &code, sizeof(code));
  Desc boolDesc(typeBoolean, &yes, sizeof(yes));
  Desc trueDesc(typeTrue, nullptr, 0);

  SInt16 s = 99;
  EXPECT_EQ(MoreAEGetShortFromDescriptor(&shortDesc, &s), noErr);
  EXPECT_EQ(s, -1234);
  SInt32 l = 99;
  EXPECT_EQ(MoreAEGetLongFromDescriptor(&longDesc, &l), noErr);
  EXPECT_EQ(l, -70000);
  EXPECT_EQ(MoreAEGetLongFromDescriptor(&shortDesc, &l), noErr);  // widened by coercion
  EXPECT_EQ(l, -1234);
  OSType t = 0;
  EXPECT_EQ(MoreAEGetOSTypeFromDescriptor(&codeDesc, &t), noErr);
  EXPECT_EQ(t, OSType('abcd'));
  Boolean b = false;
  EXPECT_EQ(MoreAEGetBooleanFromDescriptor(&boolDesc, &b), noErr);
  EXPECT_TRUE(b);
  b = false;
  EXPECT_EQ(MoreAEGetBooleanFromDescriptor(&trueDesc, &b), noErr);
  EXPECT_TRUE(b);
}

// A failed coercion clears the output and returns the coercion's result;
// data longer than the reader's room is -1700 with the first bytes kept.
TEST(TypedReaders, FailedCoercionAndOverlongDataTable) {
  List list;
  const unsigned char four[4] = {0x11, 0x22, 0x33, 0x44};
  Desc longShort(typeSInt16, four, 4);  // a 'shor' that holds 4 bytes
  Desc longBool(typeBoolean, four, 2);
  Desc longLong(typeSInt32, "12345678", 8);

  struct Row {
    const char* what;
    AEDesc* desc;
    OSStatus expected;
  };
  const Row rows[] = {
      {"list", &list, errAECoercionFail},
      {"overlong", &longShort, errAECoercionFail},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    SInt16 s = 0x5555;
    EXPECT_EQ(MoreAEGetShortFromDescriptor(row.desc, &s), row.expected);
    if (row.desc == &list) {
      EXPECT_EQ(s, 0);
    } else {
      EXPECT_EQ(std::memcmp(&s, four, 2), 0);
    }
  }
  SInt32 l = 0x55555555;
  EXPECT_EQ(MoreAEGetLongFromDescriptor(&list, &l), errAECoercionFail);
  EXPECT_EQ(l, 0);
  EXPECT_EQ(MoreAEGetLongFromDescriptor(&longLong, &l), errAECoercionFail);
  EXPECT_EQ(std::memcmp(&l, "1234", 4), 0);
  Boolean b = 7;
  EXPECT_EQ(MoreAEGetBooleanFromDescriptor(&list, &b), errAECoercionFail);
  EXPECT_EQ(b, 0);
  EXPECT_EQ(MoreAEGetBooleanFromDescriptor(&longBool, &b), errAECoercionFail);
  EXPECT_EQ(b, 0x11);
  OSType t = 'xxxx';
  EXPECT_EQ(MoreAEGetOSTypeFromDescriptor(&list, &t), errAECoercionFail);
  EXPECT_EQ(t, 0u);
}

// ---------------------------------------------------------------------------
// Text readers.

TEST(PStringReader, LengthTable) {
  struct Row {
    size_t length;
    OSStatus expected;
    unsigned char lengthByte;
  };
  const Row rows[] = {{0, noErr, 0}, {5, noErr, 5}, {255, noErr, 255}, {256, errAECoercionFail, 0},
                      {4000, errAECoercionFail, 0}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.length);
    const std::string text = Letters(row.length);
    Desc desc(typeChar, text);
    Str255 value;
    std::memset(value, 0xEE, sizeof(value));
    EXPECT_EQ(MoreAEGetPStringFromDescriptor(&desc, value), row.expected);
    EXPECT_EQ(value[0], row.lengthByte);
    const size_t copied = row.length < 255 ? row.length : 255;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&value[1]), copied), text.substr(0, copied));
  }
}

TEST(PStringReader, FailedCoercionLeavesTheStringAlone) {
  List list;
  Str255 value = {3, 'o', 'l', 'd'};
  EXPECT_EQ(MoreAEGetPStringFromDescriptor(&list, value), errAECoercionFail);
  EXPECT_EQ(value[0], 3);
  EXPECT_EQ(value[1], 'o');
}

// The buffer is exactly 1025 bytes on the heap, so ASan reports any write
// past it.
TEST(CStringReader, LengthTable) {
  struct Row {
    size_t length;
    OSStatus expected;
  };
  const Row rows[] = {{0, noErr}, {3, noErr}, {1023, noErr}, {1024, noErr},
                      {1025, errAECoercionFail}, {5000, errAECoercionFail}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.length);
    const std::string text = Letters(row.length);
    Desc desc(typeChar, text);
    std::vector<char> buffer(kMoreAECStringBufferSize, 'Z');
    EXPECT_EQ(MoreAEGetCStringFromDescriptor(&desc, buffer.data()), row.expected);
    const size_t copied = row.length < 1024 ? row.length : 1024;
    EXPECT_EQ(std::string(buffer.data()), text.substr(0, copied));
    EXPECT_EQ(buffer[copied], '\0');
  }
}

TEST(CStringReader, FailedCoercionLeavesTheBufferAlone) {
  List list;
  std::vector<char> buffer(kMoreAECStringBufferSize, 'Z');
  EXPECT_EQ(MoreAEGetCStringFromDescriptor(&list, buffer.data()), errAECoercionFail);
  EXPECT_EQ(buffer[0], 'Z');
}

// ---------------------------------------------------------------------------
// CFStrings.

namespace {

std::string Utf8(CFStringRef s) {
  char buffer[512] = {};
  EXPECT_TRUE(CFStringGetCString(s, buffer, sizeof(buffer), kCFStringEncodingUTF8));
  return buffer;
}

}  // namespace

TEST(CFStrings, FromTextThroughTheUnicodeCoercion) {
  Desc text(typeChar, std::string("Projects"));
  CFStringRef s = nullptr;
  ASSERT_EQ(MoreAEGetCFStringFromDescriptor(&text, &s), noErr);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(Utf8(s), "Projects");
  CFRelease(s);
}

TEST(CFStrings, OddTrailingByteIsDropped) {
  const UniChar units[2] = {'h', 'i'};
  std::string bytes(reinterpret_cast<const char*>(units), 4);
  bytes.push_back('\x7f');
  Desc utxt(typeUnicodeText, bytes);
  CFStringRef s = nullptr;
  ASSERT_EQ(MoreAEGetCFStringFromDescriptor(&utxt, &s), noErr);
  EXPECT_EQ(CFStringGetLength(s), 2);
  EXPECT_EQ(Utf8(s), "hi");
  CFRelease(s);
}

TEST(CFStrings, NullOutPointerAndFailedCoercion) {
  Desc text(typeChar, std::string("x"));
  EXPECT_EQ(MoreAEGetCFStringFromDescriptor(&text, nullptr), paramErr);
  EXPECT_EQ(text.d.descriptorType, DescType(typeChar));  // not touched
  List list;
  CFStringRef s = reinterpret_cast<CFStringRef>(0x1);
  EXPECT_EQ(MoreAEGetCFStringFromDescriptor(&list, &s), errAECoercionFail);
  EXPECT_EQ(s, reinterpret_cast<CFStringRef>(0x1));
}

TEST(CFStrings, OutOfMemoryMakesNoString) {
  Desc text(typeUnicodeText, std::string("a\0b\0", 4));
  CFStringRef s = nullptr;
  // The coercion of 'utxt' to itself may or may not allocate; fail every
  // allocation from the buffer on, whichever comes first.
  MacMemoryFailAllocations(0, 1000);
  OSStatus err = MoreAEGetCFStringFromDescriptor(&text, &s);
  MacMemoryFailAllocations(0, 0);
  EXPECT_NE(err, noErr);
  EXPECT_EQ(s, nullptr);
}

TEST(CFStrings, RoundTripAndEmptyString) {
  const UniChar units[3] = {0x00E9, 'a', 0x263A};
  CFStringRef original = CFStringCreateWithCharacters(kCFAllocatorDefault, units, 3);
  Desc desc;
  ASSERT_EQ(MoreAECreateAEDescFromCFString(original, &desc), noErr);
  EXPECT_EQ(desc.d.descriptorType, DescType(typeUnicodeText));
  ASSERT_EQ(AEGetDescDataSize(&desc), 6);
  UniChar back[3] = {};
  ASSERT_EQ(AEGetDescData(&desc, back, 6), noErr);
  EXPECT_EQ(std::memcmp(back, units, 6), 0);
  CFStringRef again = nullptr;
  ASSERT_EQ(MoreAEGetCFStringFromDescriptor(&desc, &again), noErr);
  EXPECT_TRUE(CFEqual(original, again));
  CFRelease(again);
  CFRelease(original);

  CFStringRef empty = CFStringCreateWithCharacters(kCFAllocatorDefault, units, 0);
  Desc emptyDesc;
  ASSERT_EQ(MoreAECreateAEDescFromCFString(empty, &emptyDesc), noErr);
  EXPECT_EQ(emptyDesc.d.descriptorType, DescType(typeUnicodeText));
  EXPECT_EQ(AEGetDescDataSize(&emptyDesc), 0);
  CFRelease(empty);
}

TEST(CFStrings, CreateRefusesNullsAndReportsMemFull) {
  CFStringRef s = CFStringCreateWithCString(kCFAllocatorDefault, "abc", kCFStringEncodingUTF8);
  Desc desc;
  EXPECT_EQ(MoreAECreateAEDescFromCFString(nullptr, &desc), paramErr);
  EXPECT_EQ(MoreAECreateAEDescFromCFString(s, nullptr), paramErr);
  MacMemoryFailAllocations(0, 1);
  EXPECT_EQ(MoreAECreateAEDescFromCFString(s, &desc), memFullErr);
  EXPECT_EQ(desc.d.descriptorType, DescType(typeNull));
  CFRelease(s);
}

// ---------------------------------------------------------------------------
// The missing value and lists.

TEST(MissingValue, OnlyTypeMsngOfFourBytes) {
  Desc missing;
  ASSERT_EQ(MoreAECreateMissingValue(&missing), noErr);
  EXPECT_TRUE(MoreAEIsMissingValue(&missing));

  const DescType msng = cMissingValue, null = typeNull;
  const char eight[8] = {'m', 's', 'n', 'g', 0, 0, 0, 0};
  Desc typeNullDesc(typeType, &null, 4);
  Desc enumMsng(typeEnumerated, &msng, 4);
  Desc typeEight(typeType, eight, 8);
  Desc typeShort(typeType, &msng, 2);
  AEDesc nullDesc;
  MoreAENullDesc(&nullDesc);
  for (AEDesc* d : {&typeNullDesc.d, &enumMsng.d, &typeEight.d, &typeShort.d, &nullDesc}) {
    EXPECT_FALSE(MoreAEIsMissingValue(d));
  }
}

namespace {

std::vector<SInt32> Longs(const AEDescList* list) {
  std::vector<SInt32> out;
  long count = 0;
  EXPECT_EQ(AECountItems(list, &count), noErr);
  for (long i = 1; i <= count; ++i) {
    SInt32 v = 0;
    AEKeyword key;
    DescType type;
    Size size;
    EXPECT_EQ(AEGetNthPtr(list, i, typeSInt32, &key, &type, &v, sizeof(v), &size), noErr);
    out.push_back(v);
  }
  return out;
}

}  // namespace

TEST(AppendListToList, AppendsInOrderAndTakesRecordItemsWithoutKeys) {
  List source, destination;
  for (SInt32 v : {1, 2, 3}) ASSERT_EQ(AEPutPtr(&source, 0, typeSInt32, &v, 4), noErr);
  const SInt32 zero = 0;
  ASSERT_EQ(AEPutPtr(&destination, 0, typeSInt32, &zero, 4), noErr);
  ASSERT_EQ(MoreAEAppendListToList(&source, &destination), noErr);
  EXPECT_EQ(Longs(&destination), (std::vector<SInt32>{0, 1, 2, 3}));
  EXPECT_EQ(Longs(&source), (std::vector<SInt32>{1, 2, 3}));

  Desc record;
  ASSERT_EQ(AECreateList(nullptr, 0, true, &record), noErr);
  const SInt32 nine = 9;
  ASSERT_EQ(AEPutKeyPtr(&record, 'abcd', typeSInt32, &nine, 4), noErr);
  ASSERT_EQ(MoreAEAppendListToList(&record, &destination), noErr);
  EXPECT_EQ(Longs(&destination), (std::vector<SInt32>{0, 1, 2, 3, 9}));
  EXPECT_FALSE(AECheckIsRecord(&destination));

  List empty;
  EXPECT_EQ(MoreAEAppendListToList(&empty, &destination), noErr);
  EXPECT_EQ(Longs(&destination).size(), 5u);
}

TEST(AppendListToList, FailuresAreReturnedUnchanged) {
  Desc text(typeChar, std::string("abc"));
  List list;
  const SInt32 one = 1;
  ASSERT_EQ(AEPutPtr(&list, 0, typeSInt32, &one, 4), noErr);
  // A source that is no list: AECountItems' own error.
  long count = 0;
  const OSErr countErr = AECountItems(&text, &count);
  ASSERT_NE(countErr, noErr);
  EXPECT_EQ(MoreAEAppendListToList(&text, &list), countErr);
  EXPECT_EQ(Longs(&list).size(), 1u);
  // A destination that is no list: AEPutDesc's error on the first item.
  EXPECT_NE(MoreAEAppendListToList(&list, &text), noErr);
}
