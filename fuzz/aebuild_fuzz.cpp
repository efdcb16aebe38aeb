// Feeds arbitrary text to the build language (AEBuildDesc and
// AEBuildParameters). Inputs holding '@' are refused: each '@' takes a C
// argument, which fuzzed text cannot supply. A malformed string must give an
// error, never a crash or an overread; what builds is printed, and the
// printed text, when it builds again, must print the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/appleevents/AppleEvents.h"

namespace {

std::string Print(const AEDesc* d) {
  Handle h = nullptr;
  if (AEPrintDescToHandle(d, &h) != noErr) abort();
  std::string s(*h);
  DisposeHandle(h);
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (std::memchr(data, '@', size) || std::memchr(data, 0, size)) return 0;
  std::string format(reinterpret_cast<const char*>(data), size);

  AEDesc d = {typeNull, nullptr};
  AEBuildError error = {};
  if (AEBuildDesc(&d, &error, format.c_str()) == noErr) {
    std::string printed = Print(&d);
    AEDesc again = {typeNull, nullptr};
    if (printed.find('@') == std::string::npos &&
        AEBuildDesc(&again, &error, printed.c_str()) == noErr) {
      if (Print(&again) != printed) abort();
      AEDisposeDesc(&again);
    }
    AEDisposeDesc(&d);
  } else if (error.fErrorPos > size) {
    abort();
  }

  AppleEvent e = {typeNull, nullptr};
  if (AECreateAppleEvent('fuzz', 'test', nullptr, 0, 0, &e) == noErr) {
    (void)AEBuildParameters(&e, &error, format.c_str());
    AEDisposeDesc(&e);
  }
  return 0;
}
