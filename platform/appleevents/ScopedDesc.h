// ScopedDesc.h — a descriptor disposed of at the end of its scope.
//
// For the platform's own C++ (its programs and tests); the system's folders
// keep to the Mac's explicit AEDisposeDesc.
#pragma once

#include "platform/appleevents/AppleEvents.h"

namespace macplatform::ae {

struct ScopedDesc {
  AEDesc d = {typeNull, nullptr};
  ScopedDesc() = default;
  ScopedDesc(const ScopedDesc&) = delete;
  ScopedDesc& operator=(const ScopedDesc&) = delete;
  ~ScopedDesc() { AEDisposeDesc(&d); }
  // So that `&desc` fills it, as the Mac calls that make a descriptor expect.
  AEDesc* operator&() { return &d; }
  const AEDesc* get() const { return &d; }
  DescType type() const { return d.descriptorType; }
};

}  // namespace macplatform::ae
