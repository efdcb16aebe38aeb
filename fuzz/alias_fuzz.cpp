// Feeds arbitrary bytes to the alias record parser and resolver, as bytes
// and as a Memory Manager handle: they must refuse bad records with an error
// and never read past the bytes given.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/files/FileRefs.h"
#include "platform/files/Files.h"
#include "platform/memory/MacMemory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace macplatform::files;
  // An exact-size copy, so that any overread is outside the block.
  std::vector<uint8_t> bytes(data, data + size);
  const uint8_t* p = bytes.empty() ? nullptr : bytes.data();
  AliasContents contents;
  (void)ParseAlias(p, bytes.size(), &contents);
  FSRef ref;
  bool changed = false;
  if (ResolveAliasBytes(p, bytes.size(), &ref, &changed) == noErr) {
    std::string path;
    (void)PathOfFSRef(ref, &path);
  }
  Handle h = nullptr;
  if (size > 0 && PtrToHand(data, &h, static_cast<long>(size)) == noErr) {
    AliasHandle alias = reinterpret_cast<AliasHandle>(h);
    Boolean wasChanged = false;
    (void)GetAliasSize(alias);
    (void)GetAliasUserType(alias);
    (void)FSResolveAliasWithMountFlags(nullptr, alias, &ref, &wasChanged, kResolveAliasFileNoUI);
    DisposeHandle(h);
  }
  return 0;
}
