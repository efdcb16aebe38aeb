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

// Mac Roman 0x80..0xFF (the euro sign at 0xDB, as since Mac OS 8.5; 0xF0 is
// the Apple logo in the private use area).
constexpr char16_t kMacRomanHigh[128] = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1,  // 80
    0x00E0, 0x00E2, 0x00E4, 0x00E3, 0x00E5, 0x00E7, 0x00E9, 0x00E8,  // 88
    0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3,  // 90
    0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC,  // 98
    0x2020, 0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6, 0x00DF,  // A0
    0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8,  // A8
    0x221E, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x00B5, 0x2202, 0x2211,  // B0
    0x220F, 0x03C0, 0x222B, 0x00AA, 0x00BA, 0x03A9, 0x00E6, 0x00F8,  // B8
    0x00BF, 0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB,  // C0
    0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5, 0x0152, 0x0153,  // C8
    0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA,  // D0
    0x00FF, 0x0178, 0x2044, 0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02,  // D8
    0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1,  // E0
    0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC, 0x00D3, 0x00D4,  // E8
    0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC,  // F0
    0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7,  // F8
};

bool MacRomanByte(char16_t c, UInt8* byte) {
  if (c < 0x80) {
    *byte = UInt8(c);
    return true;
  }
  for (int i = 0; i < 128; ++i) {
    if (kMacRomanHigh[i] == c) {
      *byte = UInt8(0x80 + i);
      return true;
    }
  }
  return false;
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void AppendCodePoint(std::u16string* units, char32_t cp) {
  if (cp < 0x10000) {
    units->push_back(char16_t(cp));
  } else {
    cp -= 0x10000;
    units->push_back(char16_t(0xD800 + (cp >> 10)));
    units->push_back(char16_t(0xDC00 + (cp & 0x3FF)));
  }
}

// Length of the valid UTF-8 sequence at p (n bytes left) and its code point;
// 0 when the bytes there are not valid UTF-8.
size_t UTF8Sequence(const UInt8* p, size_t n, char32_t* cp) {
  UInt8 b = p[0];
  if (b < 0x80) {
    *cp = b;
    return 1;
  }
  size_t len;
  char32_t min;
  if ((b & 0xE0) == 0xC0) {
    len = 2, min = 0x80, *cp = b & 0x1F;
  } else if ((b & 0xF0) == 0xE0) {
    len = 3, min = 0x800, *cp = b & 0x0F;
  } else if ((b & 0xF8) == 0xF0) {
    len = 4, min = 0x10000, *cp = b & 0x07;
  } else {
    return 0;
  }
  if (n < len) return 0;
  for (size_t i = 1; i < len; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
    *cp = (*cp << 6) | (p[i] & 0x3F);
  }
  if (*cp < min || *cp > 0x10FFFF || (*cp >= 0xD800 && *cp <= 0xDFFF)) return 0;
  return len;
}

void AppendUTF8(std::string* bytes, char32_t cp) {
  if (cp < 0x80) {
    bytes->push_back(char(cp));
  } else if (cp < 0x800) {
    bytes->push_back(char(0xC0 | (cp >> 6)));
    bytes->push_back(char(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    bytes->push_back(char(0xE0 | (cp >> 12)));
    bytes->push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    bytes->push_back(char(0x80 | (cp & 0x3F)));
  } else {
    bytes->push_back(char(0xF0 | (cp >> 18)));
    bytes->push_back(char(0x80 | ((cp >> 12) & 0x3F)));
    bytes->push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    bytes->push_back(char(0x80 | (cp & 0x3F)));
  }
}

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
        units->push_back(bytes[i] < 0x80 ? char16_t(bytes[i]) : kMacRomanHigh[bytes[i] - 0x80]);
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
        if (!MacRomanByte(c, &b)) return false;
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
  for (size_t i = 0; i < n;) {
    char32_t cp;
    size_t len = UTF8Sequence(bytes + i, n - i, &cp);
    if (len == 0) return false;
    AppendCodePoint(units, cp);
    i += len;
  }
  return true;
}

bool EncodeUTF8(const std::u16string& units, std::string* bytes) {
  for (size_t i = 0; i < units.size(); ++i) {
    char16_t c = units[i];
    if (IsHighSurrogate(c) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
      AppendUTF8(bytes, 0x10000 + ((char32_t(c) - 0xD800) << 10) + (units[i + 1] - 0xDC00));
      ++i;
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
      return false;
    } else {
      AppendUTF8(bytes, c);
    }
  }
  return true;
}

std::u16string UnitsFromFileBytes(const std::string& bytes) {
  std::u16string units;
  const auto* p = reinterpret_cast<const UInt8*>(bytes.data());
  for (size_t i = 0; i < bytes.size();) {
    char32_t cp;
    size_t len = UTF8Sequence(p + i, bytes.size() - i, &cp);
    if (len == 0) {
      units.push_back(char16_t(0xDC00 + p[i]));
      ++i;
    } else {
      AppendCodePoint(&units, cp);
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
      AppendUTF8(bytes, 0x10000 + ((char32_t(c) - 0xD800) << 10) + (units[i + 1] - 0xDC00));
      ++i;
    } else if (c >= 0xDC80 && c <= 0xDCFF) {
      bytes->push_back(char(c - 0xDC00));
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
      return false;
    } else {
      AppendUTF8(bytes, c);
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
