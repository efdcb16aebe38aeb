// CFNumber.cpp — numbers, the two Booleans, and data objects.
//
// A number keeps either a 64-bit integer or a double, whichever its type of
// creation needs, and answers with the canonical type (kCFNumberSInt8Type ..
// kCFNumberFloat64Type; the C-type aliases map onto them for LP64 Linux).
// CFNumberGetValue converts to any type and returns false when the value had
// to be cut, rounded or clamped (the converted value is stored all the same).
// Numbers are equal, and hash alike, when their values are equal, whatever
// their types: 1 as SInt8 equals 1 as SInt64 and 1.0 as Float64.
#include <cassert>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "platform/corefoundation/CFInternal.h"

using namespace macplatform::cf;

namespace {

// Canonical type of a creation type; 0 for an unknown one.
CFNumberType Canonical(CFNumberType type) {
  switch (type) {
    case kCFNumberSInt8Type: case kCFNumberCharType: return kCFNumberSInt8Type;
    case kCFNumberSInt16Type: case kCFNumberShortType: return kCFNumberSInt16Type;
    case kCFNumberSInt32Type: case kCFNumberIntType: return kCFNumberSInt32Type;
    case kCFNumberSInt64Type: case kCFNumberLongType: case kCFNumberLongLongType:
    case kCFNumberCFIndexType: return kCFNumberSInt64Type;
    case kCFNumberFloat32Type: case kCFNumberFloatType: return kCFNumberFloat32Type;
    case kCFNumberFloat64Type: case kCFNumberDoubleType: return kCFNumberFloat64Type;
    default: return 0;
  }
}

constexpr double kTwo63 = 9223372036854775808.0;

// The integer a double stands for exactly, if any.
bool ExactInteger(double d, SInt64* out) {
  if (!(d >= -kTwo63 && d < kTwo63) || std::trunc(d) != d) return false;
  *out = SInt64(d);
  return true;
}

}  // namespace

struct __CFNumber : CFObject {
  __CFNumber(CFNumberType t) : CFObject(kNumberTypeID), type(t) {}
  bool IsFloat() const { return type == kCFNumberFloat32Type || type == kCFNumberFloat64Type; }

  bool Equal(const CFObject& other) const override {
    const auto& o = static_cast<const __CFNumber&>(other);
    if (!IsFloat() && !o.IsFloat()) return i == o.i;
    if (IsFloat() && o.IsFloat()) return d == o.d || (std::isnan(d) && std::isnan(o.d));
    SInt64 whole;
    const __CFNumber& f = IsFloat() ? *this : o;
    const __CFNumber& n = IsFloat() ? o : *this;
    return ExactInteger(f.d, &whole) && whole == n.i;
  }
  CFHashCode Hash() const override {
    SInt64 whole = i;
    if (IsFloat() && !ExactInteger(d, &whole)) {
      if (std::isnan(d)) return 0x7ff8;
      return HashBytes(&d, sizeof d);
    }
    return HashBytes(&whole, sizeof whole);
  }

  const CFNumberType type;
  SInt64 i = 0;
  double d = 0;
};

namespace {

bool IsNumber(CFTypeRef cf) { return cf != nullptr && CFGetTypeID(cf) == kNumberTypeID; }

template <typename T>
bool StoreInteger(const __CFNumber* n, void* out) {
  constexpr SInt64 lo = std::numeric_limits<T>::min();
  constexpr SInt64 hi = std::numeric_limits<T>::max();
  SInt64 v;
  bool exact = true;
  if (n->IsFloat()) {
    double d = n->d;
    if (std::isnan(d)) {
      v = 0, exact = false;
    } else if (d <= double(lo)) {
      v = lo, exact = d == double(lo);
    } else if (d >= double(hi)) {
      // double(hi) may round up past hi (for 64 bits); clamp.
      v = hi, exact = d == double(hi) && double(hi) != kTwo63;
    } else {
      v = SInt64(d);
      exact = double(v) == d;
    }
  } else {
    v = n->i;
    if (v < lo || v > hi) {
      exact = false;
      v = SInt64(T(UInt64(v)));  // the low bits, as a cast would keep them
    }
  }
  T t = T(v);
  std::memcpy(out, &t, sizeof t);
  return exact;
}

template <typename T>
bool StoreFloat(const __CFNumber* n, void* out) {
  T t;
  bool exact;
  if (n->IsFloat()) {
    double d = n->d;
    if (std::isnan(d) || std::isinf(d)) {
      t = T(d), exact = true;
    } else if (std::fabs(d) > double(std::numeric_limits<T>::max())) {
      t = d < 0 ? -std::numeric_limits<T>::max() : std::numeric_limits<T>::max();
      exact = false;
    } else {
      t = T(d);
      exact = double(t) == d;
    }
  } else {
    t = T(n->i);
    SInt64 back;
    exact = ExactInteger(double(t), &back) && back == n->i;
  }
  std::memcpy(out, &t, sizeof t);
  return exact;
}

}  // namespace

CFTypeID CFNumberGetTypeID(void) { return kNumberTypeID; }

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType theType, const void* valuePtr) {
  CFNumberType type = Canonical(theType);
  if (type == 0 || valuePtr == nullptr) return nullptr;
  auto* n = new __CFNumber(type);
  switch (type) {
    case kCFNumberSInt8Type: { SInt8 v; std::memcpy(&v, valuePtr, sizeof v); n->i = v; break; }
    case kCFNumberSInt16Type: { SInt16 v; std::memcpy(&v, valuePtr, sizeof v); n->i = v; break; }
    case kCFNumberSInt32Type: { SInt32 v; std::memcpy(&v, valuePtr, sizeof v); n->i = v; break; }
    case kCFNumberSInt64Type: { SInt64 v; std::memcpy(&v, valuePtr, sizeof v); n->i = v; break; }
    case kCFNumberFloat32Type: { Float32 v; std::memcpy(&v, valuePtr, sizeof v); n->d = v; break; }
    case kCFNumberFloat64Type: { Float64 v; std::memcpy(&v, valuePtr, sizeof v); n->d = v; break; }
  }
  return n;
}

CFNumberType CFNumberGetType(CFNumberRef number) { return IsNumber(number) ? number->type : 0; }

Boolean CFNumberIsFloatType(CFNumberRef number) { return IsNumber(number) && number->IsFloat(); }

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr) {
  if (!IsNumber(number) || valuePtr == nullptr) return false;
  switch (Canonical(theType)) {
    case kCFNumberSInt8Type: return StoreInteger<SInt8>(number, valuePtr);
    case kCFNumberSInt16Type: return StoreInteger<SInt16>(number, valuePtr);
    case kCFNumberSInt32Type: return StoreInteger<SInt32>(number, valuePtr);
    case kCFNumberSInt64Type: return StoreInteger<SInt64>(number, valuePtr);
    case kCFNumberFloat32Type: return StoreFloat<Float32>(number, valuePtr);
    case kCFNumberFloat64Type: return StoreFloat<Float64>(number, valuePtr);
    default: return false;
  }
}

// ---------------------------------------------------------------------------
// Booleans: two objects for the life of the process, built at compile time
// so that they exist before any other static initialiser runs.

struct __CFBoolean : CFObject {
  constexpr explicit __CFBoolean(bool v) : CFObject(kBooleanTypeID, true), value(v) {}
  CFHashCode Hash() const override { return value ? 1 : 0; }
  const bool value;
};

namespace {
constinit __CFBoolean gTrue(true);
constinit __CFBoolean gFalse(false);
}  // namespace

const CFBooleanRef kCFBooleanTrue = &gTrue;
const CFBooleanRef kCFBooleanFalse = &gFalse;

CFTypeID CFBooleanGetTypeID(void) { return kBooleanTypeID; }

Boolean CFBooleanGetValue(CFBooleanRef boolean) {
  return boolean != nullptr && CFGetTypeID(boolean) == kBooleanTypeID && boolean->value;
}

// ---------------------------------------------------------------------------
// Data: a run of bytes.

struct __CFData : CFObject {
  explicit __CFData(bool m) : CFObject(kDataTypeID), isMutable(m) {}
  bool Equal(const CFObject& other) const override {
    return bytes == static_cast<const __CFData&>(other).bytes;
  }
  CFHashCode Hash() const override { return HashBytes(bytes.data(), bytes.size()); }
  const bool isMutable;
  std::vector<UInt8> bytes;
};

namespace {
bool IsData(CFTypeRef cf) { return cf != nullptr && CFGetTypeID(cf) == kDataTypeID; }
}  // namespace

CFTypeID CFDataGetTypeID(void) { return kDataTypeID; }

CFDataRef CFDataCreate(CFAllocatorRef, const UInt8* bytes, CFIndex length) {
  if (length < 0 || (bytes == nullptr && length > 0)) return nullptr;
  auto* data = new __CFData(false);
  if (length > 0) data->bytes.assign(bytes, bytes + length);
  return data;
}

CFMutableDataRef CFDataCreateMutable(CFAllocatorRef, CFIndex) { return new __CFData(true); }

void CFDataAppendBytes(CFMutableDataRef theData, const UInt8* bytes, CFIndex length) {
  if (!IsData(theData) || length <= 0 || bytes == nullptr) return;
  assert(theData->isMutable && "CFDataAppendBytes on immutable data");
  if (!theData->isMutable) return;
  std::vector<UInt8> tail(bytes, bytes + length);  // the bytes may be our own
  theData->bytes.insert(theData->bytes.end(), tail.begin(), tail.end());
}

CFIndex CFDataGetLength(CFDataRef theData) {
  return IsData(theData) ? CFIndex(theData->bytes.size()) : 0;
}

const UInt8* CFDataGetBytePtr(CFDataRef theData) {
  return IsData(theData) ? theData->bytes.data() : nullptr;
}
