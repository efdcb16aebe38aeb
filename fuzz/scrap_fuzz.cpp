// scrap_fuzz — the named scrap's file reader on arbitrary bytes.
//
// Whatever the bytes, Decode answers with a result code and never reads past
// them or allocates more than they can describe; what it accepts encodes
// back to exactly the same bytes (the format has one spelling per scrap).
#include <cstdlib>
#include <cstring>

#include "platform/scrap/ScrapFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace macplatform::scrap;
  Contents contents;
  OSStatus err = Decode(data, size, &contents);
  if (err != noErr) {
    if (err != internalScrapErr || !contents.empty()) std::abort();
    return 0;
  }
  std::vector<UInt8> again = Encode(contents);
  if (again.size() != size || std::memcmp(again.data(), data, size) != 0) std::abort();
  return 0;
}
