// CFBase.cpp — reference counting, type identity, equality and hashing for
// every CoreFoundation object.
//
// Counts are atomic, so objects may be retained and released from several
// threads. NULL is tolerated everywhere (the Mac crashed on it): CFRetain
// returns NULL, CFRelease does nothing, CFEqual answers false.
#include "platform/corefoundation/CFInternal.h"

namespace macplatform::cf {

CFHashCode HashBytes(const void* bytes, size_t n, CFHashCode seed) {
  CFHashCode h = seed;
  const auto* p = static_cast<const UInt8*>(bytes);
  for (size_t i = 0; i < n; ++i) {
    h ^= p[i];
    h *= 1099511628211ull;
  }
  return h;
}

}  // namespace macplatform::cf

using macplatform::cf::CFObject;
using macplatform::cf::Object;

CFTypeRef CFRetain(CFTypeRef cf) {
  if (cf == nullptr) return nullptr;
  const_cast<CFObject*>(Object(cf))->Retain();
  return cf;
}

void CFRelease(CFTypeRef cf) {
  if (cf == nullptr) return;
  auto* object = const_cast<CFObject*>(Object(cf));
  if (object->Release()) delete object;
}

CFIndex CFGetRetainCount(CFTypeRef cf) { return cf ? Object(cf)->RetainCount() : 0; }

CFTypeID CFGetTypeID(CFTypeRef cf) { return cf ? Object(cf)->type() : 0; }

Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2) {
  if (cf1 == nullptr || cf2 == nullptr) return false;
  if (cf1 == cf2) return true;
  const CFObject* a = Object(cf1);
  const CFObject* b = Object(cf2);
  if (a->type() != b->type()) return false;
  return a->Equal(*b);
}

CFHashCode CFHash(CFTypeRef cf) { return cf ? Object(cf)->Hash() : 0; }
