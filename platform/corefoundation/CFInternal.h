// CFInternal.h — what every CoreFoundation type shares: the object header
// with its reference count, and helpers the types use among themselves.
//
// Internal to platform/corefoundation. An object is a C++ object derived from
// CFObject; the opaque handles of the public header (__CFString, ...) are
// these classes.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "platform/corefoundation/CoreFoundation.h"

namespace macplatform::cf {

// Type identifiers, in the order the types were registered on the Mac; 0 is
// never a valid type.
enum : CFTypeID {
  kStringTypeID = 7,
  kArrayTypeID = 19,
  kDictionaryTypeID = 18,
  kNumberTypeID = 22,
  kBooleanTypeID = 21,
  kDataTypeID = 20,
  kURLTypeID = 29,
};

// The retain count reported for objects that live as long as the process
// (CFSTR constants, the two Booleans).
constexpr CFIndex kImmortalRetainCount = 0x7fffffff;

class CFObject {
 public:
  constexpr explicit CFObject(CFTypeID type, bool immortal = false) : type_(type), immortal_(immortal) {}
  virtual ~CFObject() = default;
  CFObject(const CFObject&) = delete;
  CFObject& operator=(const CFObject&) = delete;

  CFTypeID type() const { return type_; }
  bool immortal() const { return immortal_; }
  void Retain() {
    if (!immortal_) count_.fetch_add(1, std::memory_order_relaxed);
  }
  // True when this was the last reference (the caller deletes the object).
  bool Release() {
    if (immortal_) return false;
    return count_.fetch_sub(1, std::memory_order_acq_rel) == 1;
  }
  CFIndex RetainCount() const {
    return immortal_ ? kImmortalRetainCount : count_.load(std::memory_order_relaxed);
  }

  // Both objects have the same type when these are called.
  virtual bool Equal(const CFObject& other) const { return this == &other; }
  virtual CFHashCode Hash() const { return reinterpret_cast<CFHashCode>(this); }

 private:
  std::atomic<CFIndex> count_{1};
  const CFTypeID type_;
  const bool immortal_;
};

inline const CFObject* Object(CFTypeRef cf) { return static_cast<const CFObject*>(cf); }

// FNV-1a over bytes, the hash the value types share.
CFHashCode HashBytes(const void* bytes, size_t n, CFHashCode seed = 14695981039346656037ull);

// The string's UTF-16 code units (empty for NULL or a non-string).
const std::u16string& StringUnits(CFStringRef s);
// A new immutable string holding `units`.
CFStringRef MakeString(std::u16string units);

// File names between Linux bytes and UTF-16: valid UTF-8 is decoded; every
// byte of an invalid sequence becomes the lone surrogate U+DC80 + byte, so
// that any name survives the round trip byte for byte.
std::u16string UnitsFromFileBytes(const std::string& bytes);
// The reverse; false when the units hold a character that is neither valid
// Unicode nor an escaped byte (a lone surrogate outside U+DC80..U+DCFF), or a
// NUL.
bool FileBytesFromUnits(const std::u16string& units, std::string* bytes);

// Strict UTF-8 decoding (no overlong forms, no surrogates, nothing past
// U+10FFFF); false for any invalid byte.
bool DecodeUTF8(const UInt8* bytes, size_t n, std::u16string* units);
// UTF-8 encoding; false for a lone surrogate.
bool EncodeUTF8(const std::u16string& units, std::string* bytes);

}  // namespace macplatform::cf
