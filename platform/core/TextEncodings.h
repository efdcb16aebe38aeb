// TextEncodings.h — the character encodings the platform converts between:
// Mac Roman, UTF-8 and UTF-16.
//
// Internal to platform/: CoreFoundation strings and Apple-event text
// coercions share these tables, so both agree on every character.
#pragma once

#include <string>

#include "platform/core/MacTypes.h"

namespace macplatform::text {

// The Unicode character of a Mac Roman byte (the euro sign at 0xDB, as since
// Mac OS 8.5; 0xF0 is the Apple logo in the private use area).
char16_t MacRomanToUnicode(UInt8 byte);

// The Mac Roman byte of a character; false when Mac Roman has none.
bool UnicodeToMacRoman(char32_t c, UInt8* byte);

// The valid UTF-8 sequence at `p` (`n` bytes left): its length and code
// point. 0 when the bytes are not valid UTF-8 (overlong forms, surrogates
// and values past U+10FFFF included).
size_t DecodeUTF8Sequence(const UInt8* p, size_t n, char32_t* cp);

void AppendUTF8(std::string* out, char32_t cp);
void AppendUTF16(std::u16string* out, char32_t cp);

// The code point of the UTF-16 unit(s) at units[i]; advances i past them.
// false for a lone surrogate.
bool NextUTF16(const char16_t* units, size_t n, size_t* i, char32_t* cp);

// Whole-string forms of the above.
bool UTF8ToUTF16(const UInt8* bytes, size_t n, std::u16string* out);
bool UTF16ToUTF8(const char16_t* units, size_t n, std::string* out);

}  // namespace macplatform::text
