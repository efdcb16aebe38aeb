// Feeds arbitrary bytes to AEUnflattenDescFromBytes, the reader of Apple
// events from other processes: bad bytes must give an error, never an
// overread, a huge allocation or a deep recursion. What parses is walked,
// coerced, printed and flattened again, and flattening must be stable.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/appleevents/AppleEvents.h"

namespace {

std::vector<uint8_t> Flatten(const AEDesc* d) {
  std::vector<uint8_t> out(size_t(AESizeOfFlattenedDesc(d)));
  Size actual = 0;
  if (AEFlattenDesc(d, reinterpret_cast<Ptr>(out.data()), Size(out.size()), &actual) != noErr)
    abort();
  return out;
}

void Walk(const AEDesc* d, int depth) {
  std::vector<char> data(size_t(AEGetDescDataSize(d)));
  (void)AEGetDescData(d, data.data(), Size(data.size()));
  // Coercions that stay in memory (file types would touch the disk).
  for (DescType to : {DescType(typeChar), DescType(typeUnicodeText), DescType(typeSInt32),
                      DescType(typeAEList), DescType(typeAERecord), DescType(typeType)}) {
    AEDesc c = {typeNull, nullptr};
    if (AECoerceDesc(d, to, &c) == noErr) AEDisposeDesc(&c);
  }
  (void)AEGetAttributePtr(d, keyMissedKeywordAttr, typeWildCard, nullptr, nullptr, 0, nullptr);
  long count = 0;
  if (depth > 8 || AECountItems(d, &count) != noErr) return;
  for (long i = 1; i <= count && i <= 64; ++i) {
    AEDesc item = {typeNull, nullptr};
    AEKeyword key = 0;
    if (AEGetNthDesc(d, i, typeWildCard, &key, &item) == noErr) Walk(&item, depth + 1);
    AEDisposeDesc(&item);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size copy, so that any overread is outside the block.
  std::vector<uint8_t> bytes(data, data + size);
  AEDesc d = {typeNull, nullptr};
  const void* p = bytes.empty() ? static_cast<const void*>("") : bytes.data();
  if (AEUnflattenDescFromBytes(p, Size(bytes.size()), &d) != noErr)
    return 0;
  Walk(&d, 0);
  Handle printed = nullptr;
  if (AEPrintDescToHandle(&d, &printed) == noErr) DisposeHandle(printed);
  std::vector<uint8_t> once = Flatten(&d);
  AEDesc again = {typeNull, nullptr};
  if (AEUnflattenDescFromBytes(once.data(), Size(once.size()), &again) != noErr) abort();
  if (Flatten(&again) != once) abort();
  AEDisposeDesc(&again);
  AEDisposeDesc(&d);
  return 0;
}
