// TextEncodings.cpp — Mac Roman, UTF-8 and UTF-16; see TextEncodings.h.
#include "platform/core/TextEncodings.h"

namespace macplatform::text {
namespace {

// Mac Roman 0x80..0xFF.
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

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

char16_t MacRomanToUnicode(UInt8 byte) { return byte < 0x80 ? char16_t(byte) : kMacRomanHigh[byte - 0x80]; }

bool UnicodeToMacRoman(char32_t c, UInt8* byte) {
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

size_t DecodeUTF8Sequence(const UInt8* p, size_t n, char32_t* cp) {
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

void AppendUTF8(std::string* out, char32_t cp) {
  if (cp < 0x80) {
    out->push_back(char(cp));
  } else if (cp < 0x800) {
    out->push_back(char(0xC0 | (cp >> 6)));
    out->push_back(char(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(char(0xE0 | (cp >> 12)));
    out->push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(char(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(char(0xF0 | (cp >> 18)));
    out->push_back(char(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(char(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(char(0x80 | (cp & 0x3F)));
  }
}

void AppendUTF16(std::u16string* out, char32_t cp) {
  if (cp < 0x10000) {
    out->push_back(char16_t(cp));
  } else {
    cp -= 0x10000;
    out->push_back(char16_t(0xD800 + (cp >> 10)));
    out->push_back(char16_t(0xDC00 + (cp & 0x3FF)));
  }
}

bool NextUTF16(const char16_t* units, size_t n, size_t* i, char32_t* cp) {
  char32_t c = units[*i];
  if (IsHighSurrogate(c)) {
    if (*i + 1 >= n || !IsLowSurrogate(units[*i + 1])) return false;
    *cp = 0x10000 + ((c - 0xD800) << 10) + (char32_t(units[*i + 1]) - 0xDC00);
    *i += 2;
    return true;
  }
  if (IsLowSurrogate(c)) return false;
  *cp = c;
  *i += 1;
  return true;
}

bool UTF8ToUTF16(const UInt8* bytes, size_t n, std::u16string* out) {
  for (size_t i = 0; i < n;) {
    char32_t cp;
    size_t len = DecodeUTF8Sequence(bytes + i, n - i, &cp);
    if (len == 0) return false;
    AppendUTF16(out, cp);
    i += len;
  }
  return true;
}

bool UTF16ToUTF8(const char16_t* units, size_t n, std::string* out) {
  for (size_t i = 0; i < n;) {
    char32_t cp;
    if (!NextUTF16(units, n, &i, &cp)) return false;
    AppendUTF8(out, cp);
  }
  return true;
}

}  // namespace macplatform::text
