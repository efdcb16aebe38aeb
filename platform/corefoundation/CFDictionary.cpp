// CFDictionary.cpp — key/value tables that remember the order in which keys
// were added.
//
// Entries sit in a vector in insertion order (so that property lists written
// from a dictionary come out the same every time); a hash index maps a key's
// hash to the positions that carry it. Replacing a value keeps the key's
// place; removing a key closes the gap and rebuilds the index.
//
// Keys and values are retained, compared and hashed through the callbacks
// given at creation; NULL callbacks mean raw pointers compared by identity.
#include <cassert>
#include <unordered_map>
#include <vector>

#include "platform/corefoundation/CFInternal.h"

using namespace macplatform::cf;

namespace {

const void* RetainValue(CFAllocatorRef, const void* value) { return CFRetain(value); }
void ReleaseValue(CFAllocatorRef, const void* value) { CFRelease(value); }
Boolean EqualValues(const void* a, const void* b) { return CFEqual(a, b); }
CFHashCode HashValue(const void* value) { return CFHash(value); }
// A mutable string used as a key is copied, so that changing it later cannot
// move the entry.
const void* CopyStringKey(CFAllocatorRef, const void* value) {
  if (value != nullptr && CFGetTypeID(value) == kStringTypeID) {
    return CFStringCreateCopy(nullptr, static_cast<CFStringRef>(value));
  }
  return CFRetain(value);
}

}  // namespace

const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks = {
    0, RetainValue, ReleaseValue, nullptr, EqualValues, HashValue};
const CFDictionaryKeyCallBacks kCFCopyStringDictionaryKeyCallBacks = {
    0, CopyStringKey, ReleaseValue, nullptr, EqualValues, HashValue};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks = {
    0, RetainValue, ReleaseValue, nullptr, EqualValues};

struct __CFDictionary : CFObject {
  struct Entry {
    const void* key;
    const void* value;
    CFHashCode hash;
  };

  __CFDictionary(const CFDictionaryKeyCallBacks* k, const CFDictionaryValueCallBacks* v,
                 bool isMutable)
      : CFObject(kDictionaryTypeID),
        keyCallBacks(k ? *k : CFDictionaryKeyCallBacks{}),
        valueCallBacks(v ? *v : CFDictionaryValueCallBacks{}),
        isMutable(isMutable) {}
  ~__CFDictionary() override {
    for (const Entry& e : entries) DropEntry(e);
  }

  CFHashCode HashKey(const void* key) const {
    return keyCallBacks.hash ? keyCallBacks.hash(key) : reinterpret_cast<CFHashCode>(key);
  }
  bool SameKey(const void* a, const void* b) const {
    return a == b || (keyCallBacks.equal && keyCallBacks.equal(a, b));
  }
  bool SameValue(const void* a, const void* b) const {
    return a == b || (valueCallBacks.equal && valueCallBacks.equal(a, b));
  }
  const void* KeepValue(const void* v) const {
    return valueCallBacks.retain ? valueCallBacks.retain(nullptr, v) : v;
  }
  void DropValue(const void* v) const {
    if (valueCallBacks.release) valueCallBacks.release(nullptr, v);
  }
  void DropEntry(const Entry& e) const {
    if (keyCallBacks.release) keyCallBacks.release(nullptr, e.key);
    DropValue(e.value);
  }

  // Position of the key's entry, or -1.
  long Find(const void* key) const {
    CFHashCode h = HashKey(key);
    auto [first, last] = index.equal_range(h);
    for (auto it = first; it != last; ++it) {
      if (SameKey(entries[it->second].key, key)) return long(it->second);
    }
    return -1;
  }
  void Add(const void* key, const void* value) {
    const void* k = keyCallBacks.retain ? keyCallBacks.retain(nullptr, key) : key;
    CFHashCode h = HashKey(k);
    index.emplace(h, entries.size());
    entries.push_back(Entry{k, KeepValue(value), h});
  }
  void Reindex() {
    index.clear();
    for (size_t i = 0; i < entries.size(); ++i) index.emplace(entries[i].hash, i);
  }

  bool Equal(const CFObject& other) const override {
    const auto& o = static_cast<const __CFDictionary&>(other);
    if (entries.size() != o.entries.size()) return false;
    for (const Entry& e : entries) {
      long j = o.Find(e.key);
      if (j < 0 || !SameValue(e.value, o.entries[size_t(j)].value)) return false;
    }
    return true;
  }
  CFHashCode Hash() const override { return entries.size(); }

  const CFDictionaryKeyCallBacks keyCallBacks;
  const CFDictionaryValueCallBacks valueCallBacks;
  bool isMutable;  // cleared once CFDictionaryCreate has filled it
  std::vector<Entry> entries;
  std::unordered_multimap<CFHashCode, size_t> index;
};

namespace {

bool IsDictionary(CFTypeRef cf) { return cf != nullptr && CFGetTypeID(cf) == kDictionaryTypeID; }

bool CanChange(CFMutableDictionaryRef d) {
  if (!IsDictionary(d)) return false;
  assert(d->isMutable && "changing an immutable CFDictionary");
  return d->isMutable;
}

__CFDictionary* CopyOf(CFDictionaryRef source, bool isMutable) {
  auto* copy = new __CFDictionary(&source->keyCallBacks, &source->valueCallBacks, isMutable);
  for (const auto& e : source->entries) copy->Add(e.key, e.value);
  return copy;
}

}  // namespace

CFTypeID CFDictionaryGetTypeID(void) { return kDictionaryTypeID; }

// A key given twice keeps its first place and its last value.
CFDictionaryRef CFDictionaryCreate(CFAllocatorRef, const void** keys, const void** values,
                                   CFIndex numValues, const CFDictionaryKeyCallBacks* keyCallBacks,
                                   const CFDictionaryValueCallBacks* valueCallBacks) {
  if (numValues < 0 || ((keys == nullptr || values == nullptr) && numValues > 0)) return nullptr;
  auto* d = new __CFDictionary(keyCallBacks, valueCallBacks, true);
  for (CFIndex i = 0; i < numValues; ++i) CFDictionarySetValue(d, keys[i], values[i]);
  d->isMutable = false;
  return d;
}

CFDictionaryRef CFDictionaryCreateCopy(CFAllocatorRef, CFDictionaryRef theDict) {
  if (!IsDictionary(theDict)) return nullptr;
  return CopyOf(theDict, false);
}

CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef, CFIndex,
                                                 const CFDictionaryKeyCallBacks* keyCallBacks,
                                                 const CFDictionaryValueCallBacks* valueCallBacks) {
  return new __CFDictionary(keyCallBacks, valueCallBacks, true);
}

CFMutableDictionaryRef CFDictionaryCreateMutableCopy(CFAllocatorRef, CFIndex,
                                                     CFDictionaryRef theDict) {
  if (!IsDictionary(theDict)) return nullptr;
  return CopyOf(theDict, true);
}

CFIndex CFDictionaryGetCount(CFDictionaryRef theDict) {
  return IsDictionary(theDict) ? CFIndex(theDict->entries.size()) : 0;
}

const void* CFDictionaryGetValue(CFDictionaryRef theDict, const void* key) {
  if (!IsDictionary(theDict)) return nullptr;
  long i = theDict->Find(key);
  return i < 0 ? nullptr : theDict->entries[size_t(i)].value;
}

Boolean CFDictionaryGetValueIfPresent(CFDictionaryRef theDict, const void* key,
                                      const void** value) {
  if (!IsDictionary(theDict)) return false;
  long i = theDict->Find(key);
  if (i < 0) return false;
  if (value) *value = theDict->entries[size_t(i)].value;
  return true;
}

Boolean CFDictionaryContainsKey(CFDictionaryRef theDict, const void* key) {
  return IsDictionary(theDict) && theDict->Find(key) >= 0;
}

void CFDictionarySetValue(CFMutableDictionaryRef theDict, const void* key, const void* value) {
  if (!CanChange(theDict)) return;
  long i = theDict->Find(key);
  if (i < 0) {
    theDict->Add(key, value);
    return;
  }
  auto& e = theDict->entries[size_t(i)];
  const void* old = e.value;
  e.value = theDict->KeepValue(value);
  theDict->DropValue(old);
}

void CFDictionaryAddValue(CFMutableDictionaryRef theDict, const void* key, const void* value) {
  if (!CanChange(theDict)) return;
  if (theDict->Find(key) < 0) theDict->Add(key, value);
}

void CFDictionaryRemoveValue(CFMutableDictionaryRef theDict, const void* key) {
  if (!CanChange(theDict)) return;
  long i = theDict->Find(key);
  if (i < 0) return;
  auto e = theDict->entries[size_t(i)];
  theDict->entries.erase(theDict->entries.begin() + i);
  theDict->Reindex();
  theDict->DropEntry(e);
}

void CFDictionaryRemoveAllValues(CFMutableDictionaryRef theDict) {
  if (!CanChange(theDict)) return;
  std::vector<__CFDictionary::Entry> old;
  old.swap(theDict->entries);
  theDict->index.clear();
  for (const auto& e : old) theDict->DropEntry(e);
}

void CFDictionaryGetKeysAndValues(CFDictionaryRef theDict, const void** keys, const void** values) {
  if (!IsDictionary(theDict)) return;
  for (size_t i = 0; i < theDict->entries.size(); ++i) {
    if (keys) keys[i] = theDict->entries[i].key;
    if (values) values[i] = theDict->entries[i].value;
  }
}

// The applier sees a snapshot: it may not change this dictionary, but
// releasing or reading others is fine.
void CFDictionaryApplyFunction(CFDictionaryRef theDict, CFDictionaryApplierFunction applier,
                               void* context) {
  if (!IsDictionary(theDict) || applier == nullptr) return;
  std::vector<__CFDictionary::Entry> snapshot = theDict->entries;
  for (const auto& e : snapshot) applier(e.key, e.value, context);
}
