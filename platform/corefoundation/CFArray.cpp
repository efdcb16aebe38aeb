// CFArray.cpp — ordered arrays of values, immutable or mutable.
//
// With kCFTypeArrayCallBacks the array retains what it holds and releases it
// when the value leaves; with NULL callbacks it stores raw pointers and
// compares them by identity. An index outside the array is a caller's bug:
// debug builds stop on an assertion, other builds ignore the call (getters
// answer NULL), so memory is never touched out of bounds.
#include <cassert>
#include <vector>

#include "platform/corefoundation/CFInternal.h"

using namespace macplatform::cf;

namespace {

const void* RetainValue(CFAllocatorRef, const void* value) { return CFRetain(value); }
void ReleaseValue(CFAllocatorRef, const void* value) { CFRelease(value); }
Boolean EqualValues(const void* a, const void* b) { return CFEqual(a, b); }

}  // namespace

const CFArrayCallBacks kCFTypeArrayCallBacks = {0, RetainValue, ReleaseValue, nullptr, EqualValues};

struct __CFArray : CFObject {
  __CFArray(const CFArrayCallBacks* cb, bool isMutable)
      : CFObject(kArrayTypeID), callBacks(cb ? *cb : CFArrayCallBacks{}), isMutable(isMutable) {}
  ~__CFArray() override {
    for (const void* v : values) Drop(v);
  }

  const void* Keep(const void* v) const { return callBacks.retain ? callBacks.retain(nullptr, v) : v; }
  void Drop(const void* v) const {
    if (callBacks.release) callBacks.release(nullptr, v);
  }
  bool Same(const void* a, const void* b) const {
    return callBacks.equal ? callBacks.equal(a, b) != 0 : a == b;
  }

  bool Equal(const CFObject& other) const override {
    const auto& o = static_cast<const __CFArray&>(other);
    if (values.size() != o.values.size()) return false;
    for (size_t i = 0; i < values.size(); ++i) {
      if (values[i] != o.values[i] && !Same(values[i], o.values[i])) return false;
    }
    return true;
  }
  CFHashCode Hash() const override { return values.size(); }

  const CFArrayCallBacks callBacks;
  const bool isMutable;
  std::vector<const void*> values;
};

namespace {

bool IsArray(CFTypeRef cf) { return cf != nullptr && CFGetTypeID(cf) == kArrayTypeID; }

bool CanChange(CFMutableArrayRef a) {
  if (!IsArray(a)) return false;
  assert(a->isMutable && "changing an immutable CFArray");
  return a->isMutable;
}

__CFArray* CopyOf(CFArrayRef source, bool isMutable) {
  auto* copy = new __CFArray(&source->callBacks, isMutable);
  copy->values.reserve(source->values.size());
  for (const void* v : source->values) copy->values.push_back(copy->Keep(v));
  return copy;
}

}  // namespace

CFTypeID CFArrayGetTypeID(void) { return kArrayTypeID; }

CFArrayRef CFArrayCreate(CFAllocatorRef, const void** values, CFIndex numValues,
                         const CFArrayCallBacks* callBacks) {
  if (numValues < 0 || (values == nullptr && numValues > 0)) return nullptr;
  auto* array = new __CFArray(callBacks, false);
  array->values.reserve(size_t(numValues));
  for (CFIndex i = 0; i < numValues; ++i) array->values.push_back(array->Keep(values[i]));
  return array;
}

CFArrayRef CFArrayCreateCopy(CFAllocatorRef, CFArrayRef theArray) {
  if (!IsArray(theArray)) return nullptr;
  return CopyOf(theArray, false);
}

CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef, CFIndex capacity,
                                       const CFArrayCallBacks* callBacks) {
  auto* array = new __CFArray(callBacks, true);
  if (capacity > 0 && capacity < 1 << 20) array->values.reserve(size_t(capacity));
  return array;
}

CFMutableArrayRef CFArrayCreateMutableCopy(CFAllocatorRef, CFIndex, CFArrayRef theArray) {
  if (!IsArray(theArray)) return nullptr;
  return CopyOf(theArray, true);
}

CFIndex CFArrayGetCount(CFArrayRef theArray) {
  return IsArray(theArray) ? CFIndex(theArray->values.size()) : 0;
}

const void* CFArrayGetValueAtIndex(CFArrayRef theArray, CFIndex idx) {
  if (!IsArray(theArray)) return nullptr;
  bool inRange = idx >= 0 && size_t(idx) < theArray->values.size();
  assert(inRange && "CFArrayGetValueAtIndex: index out of range");
  return inRange ? theArray->values[size_t(idx)] : nullptr;
}

// An index equal to the count appends, as on the Mac.
void CFArraySetValueAtIndex(CFMutableArrayRef theArray, CFIndex idx, const void* value) {
  if (!CanChange(theArray)) return;
  bool inRange = idx >= 0 && size_t(idx) <= theArray->values.size();
  assert(inRange && "CFArraySetValueAtIndex: index out of range");
  if (!inRange) return;
  const void* kept = theArray->Keep(value);
  if (size_t(idx) == theArray->values.size()) {
    theArray->values.push_back(kept);
  } else {
    const void* old = theArray->values[size_t(idx)];
    theArray->values[size_t(idx)] = kept;
    theArray->Drop(old);
  }
}

void CFArrayAppendValue(CFMutableArrayRef theArray, const void* value) {
  if (!CanChange(theArray)) return;
  theArray->values.push_back(theArray->Keep(value));
}

void CFArrayInsertValueAtIndex(CFMutableArrayRef theArray, CFIndex idx, const void* value) {
  if (!CanChange(theArray)) return;
  bool inRange = idx >= 0 && size_t(idx) <= theArray->values.size();
  assert(inRange && "CFArrayInsertValueAtIndex: index out of range");
  if (!inRange) return;
  theArray->values.insert(theArray->values.begin() + idx, theArray->Keep(value));
}

void CFArrayRemoveValueAtIndex(CFMutableArrayRef theArray, CFIndex idx) {
  if (!CanChange(theArray)) return;
  bool inRange = idx >= 0 && size_t(idx) < theArray->values.size();
  assert(inRange && "CFArrayRemoveValueAtIndex: index out of range");
  if (!inRange) return;
  const void* old = theArray->values[size_t(idx)];
  theArray->values.erase(theArray->values.begin() + idx);
  theArray->Drop(old);
}

void CFArrayRemoveAllValues(CFMutableArrayRef theArray) {
  if (!CanChange(theArray)) return;
  std::vector<const void*> old;
  old.swap(theArray->values);
  for (const void* v : old) theArray->Drop(v);
}

Boolean CFArrayContainsValue(CFArrayRef theArray, CFRange range, const void* value) {
  if (!IsArray(theArray)) return false;
  bool inRange = range.location >= 0 && range.length >= 0 &&
                 size_t(range.location) <= theArray->values.size() &&
                 size_t(range.length) <= theArray->values.size() - size_t(range.location);
  assert(inRange && "CFArrayContainsValue: range out of bounds");
  if (!inRange) return false;
  for (CFIndex i = range.location; i < range.location + range.length; ++i) {
    const void* v = theArray->values[size_t(i)];
    if (v == value || theArray->Same(v, value)) return true;
  }
  return false;
}
