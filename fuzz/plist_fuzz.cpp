// Fuzzes the property-list reader of the preferences: bytes -> CF values ->
// XML -> CF values. Bad input must give NULL, never a crash or an overread;
// whatever was read must write and read back equal.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/preferences/CFPreferences.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CFDataRef bytes = CFDataCreate(kCFAllocatorDefault, data, static_cast<CFIndex>(size));
  CFStringRef error = nullptr;
  CFPropertyListRef plist = CFPropertyListCreateFromXMLData(kCFAllocatorDefault, bytes,
                                                            kCFPropertyListImmutable, &error);
  if (plist != nullptr) {
    CFDataRef xml = CFPropertyListCreateXMLData(kCFAllocatorDefault, plist);
    if (xml != nullptr) {
      CFPropertyListRef again =
          CFPropertyListCreateFromXMLData(kCFAllocatorDefault, xml, kCFPropertyListImmutable, nullptr);
      // Reals may not survive text exactly (NaN), so only presence is checked.
      if (again == nullptr) std::abort();
      CFRelease(again);
      CFRelease(xml);
    }
    CFRelease(plist);
  }
  if (error != nullptr) CFRelease(error);
  CFRelease(bytes);
  return 0;
}
