// CFString.cpp — immutable and mutable strings of UTF-16 code units, and the
// byte encodings they convert to and from.
//
// Sections:
//   1. The string object.
//   2. Encodings: UTF-8, ASCII, ISO Latin 1, Mac Roman, UTF-16.
//   3. The public functions.
//   4. CFSTR constants.
//
// Direct access: CFStringGetCharactersPtr answers for immutable strings only
// (a mutable string's buffer moves when it grows, so it always answers NULL
// and callers copy). CFStringGetCStringPtr answers for immutable strings
// whose characters are all ASCII, in the encodings that agree on ASCII.
#include <cassert>
#include <cstring>
#include <mutex>
#include <string_view>
#include <unordered_map>

#include "platform/core/TextEncodings.h"
#include "platform/corefoundation/CFInternal.h"

using namespace macplatform::cf;

// ---------------------------------------------------------------------------
// 1. The string object.

struct __CFString : CFObject {
  __CFString(std::u16string u, bool isMutable, bool immortal = false)
      : CFObject(kStringTypeID, immortal), units(std::move(u)), isMutable(isMutable) {
    if (!isMutable) {
      hasAscii = true;
      for (char16_t c : units) {
        if (c == 0 || c >= 0x80) {
          hasAscii = false;
          break;
        }
      }
      if (hasAscii) ascii.assign(units.begin(), units.end());
    }
  }
  bool Equal(const CFObject& other) const override {
    return units == static_cast<const __CFString&>(other).units;
  }
  CFHashCode Hash() const override { return HashBytes(units.data(), units.size() * 2); }

  std::u16string units;
  const bool isMutable;
  bool hasAscii = false;
  std::string ascii;  // the characters as a C string, when hasAscii
};

namespace macplatform::cf {

const std::u16string& StringUnits(CFStringRef s) {
  static const std::u16string* const empty = new std::u16string();
  if (s == nullptr || CFGetTypeID(s) != kStringTypeID) return *empty;
  return s->units;
}

CFStringRef MakeString(std::u16string units) { return new __CFString(std::move(units), false); }

// ---------------------------------------------------------------------------
// 2. Encodings.

namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

bool Decode(const UInt8* bytes, size_t n, CFStringEncoding encoding, bool external,
            std::u16string* units) {
  units->clear();
  switch (encoding) {
    case kCFStringEncodingUTF8:
      if (external && n >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        bytes += 3, n -= 3;
      }
      return DecodeUTF8(bytes, n, units);
    case kCFStringEncodingASCII:
      for (size_t i = 0; i < n; ++i) {
        if (bytes[i] >= 0x80) return false;
        units->push_back(bytes[i]);
      }
      return true;
    case kCFStringEncodingISOLatin1:
      units->assign(bytes, bytes + n);
      return true;
    case kCFStringEncodingMacRoman:
      for (size_t i = 0; i < n; ++i) {
        units->push_back(text::MacRomanToUnicode(bytes[i]));
      }
      return true;
    case kCFStringEncodingUTF16: {
      if (n % 2 != 0) return false;
      // A byte-order mark decides the order; without one the host's order.
      bool swap = false;
      if (n >= 2) {
        UInt16 first;
        std::memcpy(&first, bytes, 2);
        if (first == 0xFEFF || first == 0xFFFE) {
          swap = first == 0xFFFE;
          bytes += 2, n -= 2;
        }
      }
      units->resize(n / 2);
      std::memcpy(units->data(), bytes, n);
      if (swap) {
        for (char16_t& c : *units) c = char16_t((c >> 8) | (c << 8));
      }
      return true;
    }
    default:
      return false;
  }
}

bool Encode(const std::u16string& units, CFStringEncoding encoding, std::string* bytes) {
  bytes->clear();
  switch (encoding) {
    case kCFStringEncodingUTF8:
      return EncodeUTF8(units, bytes);
    case kCFStringEncodingASCII:
    case kCFStringEncodingISOLatin1:
      for (char16_t c : units) {
        if (c >= (encoding == kCFStringEncodingASCII ? 0x80 : 0x100)) return false;
        bytes->push_back(char(c));
      }
      return true;
    case kCFStringEncodingMacRoman:
      for (char16_t c : units) {
        UInt8 b;
        if (!text::UnicodeToMacRoman(c, &b)) return false;
        bytes->push_back(char(b));
      }
      return true;
    default:
      return false;
  }
}

char16_t FoldCase(char16_t c) {
  if (c >= 'A' && c <= 'Z') return char16_t(c + 32);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return char16_t(c + 32);
  return c;
}

bool IsCompatibleWithASCII(CFStringEncoding encoding) {
  return encoding == kCFStringEncodingUTF8 || encoding == kCFStringEncodingASCII ||
         encoding == kCFStringEncodingISOLatin1 || encoding == kCFStringEncodingMacRoman;
}

}  // namespace

bool DecodeUTF8(const UInt8* bytes, size_t n, std::u16string* units) {
  return text::UTF8ToUTF16(bytes, n, units);
}

bool EncodeUTF8(const std::u16string& units, std::string* bytes) {
  return text::UTF16ToUTF8(units.data(), units.size(), bytes);
}

std::u16string UnitsFromFileBytes(const std::string& bytes) {
  std::u16string units;
  const auto* p = reinterpret_cast<const UInt8*>(bytes.data());
  for (size_t i = 0; i < bytes.size();) {
    char32_t cp;
    size_t len = text::DecodeUTF8Sequence(p + i, bytes.size() - i, &cp);
    if (len == 0) {
      units.push_back(char16_t(0xDC00 + p[i]));
      ++i;
    } else {
      text::AppendUTF16(&units, cp);
      i += len;
    }
  }
  return units;
}

bool FileBytesFromUnits(const std::u16string& units, std::string* bytes) {
  bytes->clear();
  for (size_t i = 0; i < units.size(); ++i) {
    char16_t c = units[i];
    if (c == 0) return false;
    if (IsHighSurrogate(c) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
      text::AppendUTF8(bytes, 0x10000 + ((char32_t(c) - 0xD800) << 10) + (units[i + 1] - 0xDC00));
      ++i;
    } else if (c >= 0xDC80 && c <= 0xDCFF) {
      bytes->push_back(char(c - 0xDC00));
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
      return false;
    } else {
      text::AppendUTF8(bytes, c);
    }
  }
  return true;
}

}  // namespace macplatform::cf

// ---------------------------------------------------------------------------
// 3. The public functions.

namespace {

CFStringRef Create(const UInt8* bytes, size_t n, CFStringEncoding encoding, bool external) {
  std::u16string units;
  if (!macplatform::cf::Decode(bytes, n, encoding, external, &units)) return nullptr;
  return new __CFString(std::move(units), false);
}

bool IsString(CFTypeRef cf) { return cf != nullptr && CFGetTypeID(cf) == kStringTypeID; }

}  // namespace

CFTypeID CFStringGetTypeID(void) { return kStringTypeID; }

CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* cStr, CFStringEncoding encoding) {
  if (cStr == nullptr) return nullptr;
  return Create(reinterpret_cast<const UInt8*>(cStr), std::strlen(cStr), encoding, false);
}

CFStringRef CFStringCreateWithCharacters(CFAllocatorRef, const UniChar* chars, CFIndex numChars) {
  if (numChars < 0 || (chars == nullptr && numChars > 0)) return nullptr;
  std::u16string units(size_t(numChars), u'\0');
  if (numChars > 0) std::memcpy(units.data(), chars, size_t(numChars) * 2);
  return new __CFString(std::move(units), false);
}

CFStringRef CFStringCreateWithPascalString(CFAllocatorRef, ConstStr255Param pStr,
                                           CFStringEncoding encoding) {
  if (pStr == nullptr) return nullptr;
  return Create(pStr + 1, pStr[0], encoding, false);
}

CFStringRef CFStringCreateWithBytes(CFAllocatorRef, const UInt8* bytes, CFIndex numBytes,
                                    CFStringEncoding encoding, Boolean isExternalRepresentation) {
  if (numBytes < 0 || (bytes == nullptr && numBytes > 0)) return nullptr;
  return Create(bytes, size_t(numBytes), encoding, isExternalRepresentation);
}

CFStringRef CFStringCreateCopy(CFAllocatorRef, CFStringRef theString) {
  if (!IsString(theString)) return nullptr;
  if (!theString->isMutable) return static_cast<CFStringRef>(CFRetain(theString));
  return new __CFString(theString->units, false);
}

CFMutableStringRef CFStringCreateMutable(CFAllocatorRef, CFIndex) {
  return new __CFString(std::u16string(), true);
}

void CFStringAppend(CFMutableStringRef theString, CFStringRef appendedString) {
  if (!IsString(theString) || !IsString(appendedString)) return;
  assert(theString->isMutable && "CFStringAppend on an immutable string");
  if (!theString->isMutable) return;
  std::u16string tail = appendedString->units;  // a copy: the two may be the same
  theString->units += tail;
}

CFIndex CFStringGetLength(CFStringRef theString) {
  return IsString(theString) ? CFIndex(theString->units.size()) : 0;
}

UniChar CFStringGetCharacterAtIndex(CFStringRef theString, CFIndex idx) {
  if (!IsString(theString)) return 0;
  bool inRange = idx >= 0 && size_t(idx) < theString->units.size();
  assert(inRange && "CFStringGetCharacterAtIndex: index out of range");
  return inRange ? theString->units[size_t(idx)] : 0;
}

void CFStringGetCharacters(CFStringRef theString, CFRange range, UniChar* buffer) {
  if (!IsString(theString) || buffer == nullptr) return;
  bool inRange = range.location >= 0 && range.length >= 0 &&
                 size_t(range.location) <= theString->units.size() &&
                 size_t(range.length) <= theString->units.size() - size_t(range.location);
  assert(inRange && "CFStringGetCharacters: range out of bounds");
  if (!inRange || range.length == 0) return;
  std::memcpy(buffer, theString->units.data() + range.location, size_t(range.length) * 2);
}

const UniChar* CFStringGetCharactersPtr(CFStringRef theString) {
  if (!IsString(theString) || theString->isMutable) return nullptr;
  return reinterpret_cast<const UniChar*>(theString->units.data());
}

Boolean CFStringGetCString(CFStringRef theString, char* buffer, CFIndex bufferSize,
                           CFStringEncoding encoding) {
  if (buffer == nullptr || bufferSize <= 0) return false;
  std::string bytes;
  bool ok = IsString(theString) && macplatform::cf::Encode(theString->units, encoding, &bytes) &&
            bytes.size() < size_t(bufferSize);
  if (!ok) {
    buffer[0] = '\0';
    return false;
  }
  std::memcpy(buffer, bytes.c_str(), bytes.size() + 1);
  return true;
}

const char* CFStringGetCStringPtr(CFStringRef theString, CFStringEncoding encoding) {
  if (!IsString(theString) || !theString->hasAscii || !IsCompatibleWithASCII(encoding)) {
    return nullptr;
  }
  return theString->ascii.c_str();
}

CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding) {
  if (length < 0) return 0;
  switch (encoding) {
    case kCFStringEncodingUTF8: return length * 3;
    case kCFStringEncodingUTF16: return length * 2;
    default: return length;
  }
}

// Code unit by code unit; case-insensitive comparison folds ASCII and Latin-1
// letters only.
CFComparisonResult CFStringCompare(CFStringRef theString1, CFStringRef theString2,
                                   CFStringCompareFlags compareOptions) {
  const std::u16string& a = StringUnits(theString1);
  const std::u16string& b = StringUnits(theString2);
  bool fold = (compareOptions & kCFCompareCaseInsensitive) != 0;
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    char16_t x = fold ? FoldCase(a[i]) : a[i];
    char16_t y = fold ? FoldCase(b[i]) : b[i];
    if (x != y) return x < y ? kCFCompareLessThan : kCFCompareGreaterThan;
  }
  if (a.size() == b.size()) return kCFCompareEqualTo;
  return a.size() < b.size() ? kCFCompareLessThan : kCFCompareGreaterThan;
}

// ---------------------------------------------------------------------------
// 4. CFSTR constants: one immortal string per distinct text, kept in a table
// that is reachable from a global for the life of the process (so that leak
// checkers see them as in use, not lost).

namespace {
std::mutex gConstantsMutex;
std::unordered_map<std::string, __CFString*>* gConstants = nullptr;
}  // namespace

CFStringRef __CFStringMakeConstantString(const char* cStr) {
  if (cStr == nullptr) return nullptr;
  std::lock_guard<std::mutex> lock(gConstantsMutex);
  if (gConstants == nullptr) gConstants = new std::unordered_map<std::string, __CFString*>();
  auto it = gConstants->find(cStr);
  if (it != gConstants->end()) return it->second;
  // Source text is UTF-8; text that is not falls back to Mac Roman.
  std::u16string units;
  size_t n = std::strlen(cStr);
  const auto* bytes = reinterpret_cast<const UInt8*>(cStr);
  if (!macplatform::cf::Decode(bytes, n, kCFStringEncodingUTF8, false, &units)) {
    macplatform::cf::Decode(bytes, n, kCFStringEncodingMacRoman, false, &units);
  }
  auto* s = new __CFString(std::move(units), false, true);
  gConstants->emplace(cStr, s);
  return s;
}
