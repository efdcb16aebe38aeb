// AETestSupport.h — small helpers shared by the Apple Event Manager's tests.
#pragma once

#include <string>
#include <vector>

#include "platform/appleevents/AppleEvents.h"
#include "platform/appleevents/ScopedDesc.h"

namespace aetest {

using Desc = macplatform::ae::ScopedDesc;

inline std::string Print(const AEDesc* d) {
  Handle h = nullptr;
  if (AEPrintDescToHandle(d, &h) != noErr) return "<print failed>";
  std::string s(*h);
  DisposeHandle(h);
  return s;
}

inline std::vector<UInt8> Flat(const AEDesc* d) {
  std::vector<UInt8> bytes(size_t(AESizeOfFlattenedDesc(d)));
  Size actual = 0;
  if (AEFlattenDesc(d, reinterpret_cast<Ptr>(bytes.data()), Size(bytes.size()), &actual) != noErr)
    bytes.clear();
  return bytes;
}

// Same type and same contents, nested items included.
inline bool Equal(const AEDesc* a, const AEDesc* b) { return Flat(a) == Flat(b); }

inline std::vector<UInt8> Data(const AEDesc* d) {
  std::vector<UInt8> bytes(size_t(AEGetDescDataSize(d)));
  AEGetDescData(d, bytes.data(), Size(bytes.size()));
  return bytes;
}

template <typename T>
std::vector<UInt8> Bytes(const T& v) {
  const auto* p = reinterpret_cast<const UInt8*>(&v);
  return std::vector<UInt8>(p, p + sizeof v);
}

inline std::vector<UInt8> Bytes(const char* s) {
  return std::vector<UInt8>(s, s + std::char_traits<char>::length(s));
}

}  // namespace aetest
