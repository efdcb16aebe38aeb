// Scrap.cpp — the Scrap Manager's calls: argument checks, the table of
// ScrapRefs, and the step from CFString names to the byte names of the
// store (ScrapStore.cpp).
//
// A ScrapRef points at an entry of a table that the platform owns for the
// life of the process; one entry per name, reused by every GetScrapByName of
// that name, so repeated calls (one per second in a server) never grow it.
// A reference that is not in the table gives badScrapRefErr and is never
// dereferenced.
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/core/TextEncodings.h"
#include "platform/scrap/ScrapFile.h"

struct OpaqueScrapRef {
  std::string name;  // UTF-8
};

namespace macplatform::scrap {
namespace {

struct Table {
  std::mutex mutex;
  std::map<std::string, std::unique_ptr<OpaqueScrapRef>> byName;
  std::set<const OpaqueScrapRef*> refs;
};

Table& Refs() {
  static Table table;
  return table;
}

ScrapRef RefFor(const std::string& name) {
  Table& t = Refs();
  std::lock_guard<std::mutex> lock(t.mutex);
  auto it = t.byName.find(name);
  if (it != t.byName.end()) return it->second.get();
  auto ref = std::make_unique<OpaqueScrapRef>();
  ref->name = name;
  ScrapRef raw = ref.get();
  t.byName.emplace(name, std::move(ref));
  t.refs.insert(raw);
  return raw;
}

// The name of a known reference; false for anything else.
bool NameOf(ScrapRef scrap, std::string* name) {
  Table& t = Refs();
  std::lock_guard<std::mutex> lock(t.mutex);
  if (scrap == nullptr || t.refs.count(scrap) == 0) return false;
  *name = scrap->name;
  return true;
}

// The name as UTF-8, every character (U+0000 included) kept; a lone
// surrogate has no UTF-8 form and is refused.
bool Utf8Name(CFStringRef name, std::string* out) {
  CFIndex length = CFStringGetLength(name);
  if (length <= 0) return false;
  std::u16string units(static_cast<size_t>(length), u'\0');
  CFStringGetCharacters(name, CFRangeMake(0, length), reinterpret_cast<UniChar*>(units.data()));
  std::string utf8;
  if (!macplatform::text::UTF16ToUTF8(units.data(), units.size(), &utf8)) return false;
  *out = std::move(utf8);
  return true;
}

// The scrap's current contents, read from its file.
OSStatus Current(ScrapRef scrap, Contents* contents) {
  std::string name, path;
  if (!NameOf(scrap, &name)) return badScrapRefErr;
  OSStatus err = PathFor(name, &path);
  if (err != noErr) return err;
  return ReadFile(path, contents);
}

const Flavor* Find(const Contents& contents, ScrapFlavorType type) {
  for (const Flavor& f : contents)
    if (f.type == type) return &f;
  return nullptr;
}

}  // namespace
}  // namespace macplatform::scrap

using namespace macplatform::scrap;

OSStatus GetScrapByName(CFStringRef name, OptionBits options, ScrapRef* scrap) {
  if (name == nullptr || scrap == nullptr) return paramErr;
  if (options != kScrapGetNamedScrap && options != kScrapClearNamedScrap) return paramErr;
  std::string utf8, path;
  if (!Utf8Name(name, &utf8)) return paramErr;
  // Checks the name and makes the folder before a reference is handed out.
  OSStatus err = PathFor(utf8, &path);
  if (err != noErr) return err;
  if (options == kScrapClearNamedScrap) {
    err = Clear(utf8);
    if (err != noErr) return err;
  }
  *scrap = RefFor(utf8);
  return noErr;
}

OSStatus PutScrapFlavor(ScrapRef scrap, ScrapFlavorType flavorType, ScrapFlavorFlags flavorFlags,
                        Size flavorSize, const void* flavorData) {
  std::string name;
  if (!NameOf(scrap, &name)) return badScrapRefErr;
  if (flavorSize < 0 || static_cast<unsigned long>(flavorSize) > kMaxFlavorSize)
    return illegalScrapFlavorSizeErr;
  if (flavorData == nullptr && flavorSize != 0) return paramErr;
  if ((flavorFlags & ~ScrapFlavorFlags(kScrapFlavorMaskSenderOnly | kScrapFlavorMaskTranslated)) != 0)
    return illegalScrapFlavorFlagsErr;
  Flavor flavor;
  flavor.type = flavorType;
  flavor.flags = flavorFlags;
  if (flavorSize > 0) {
    const UInt8* bytes = static_cast<const UInt8*>(flavorData);
    flavor.data.assign(bytes, bytes + flavorSize);
  }
  return Put(name, flavor);
}

OSStatus GetScrapFlavorCount(ScrapRef scrap, UInt32* infoCount) {
  if (infoCount == nullptr) return paramErr;
  Contents contents;
  OSStatus err = Current(scrap, &contents);
  if (err != noErr) return err;
  *infoCount = static_cast<UInt32>(contents.size());
  return noErr;
}

OSStatus GetScrapFlavorInfoList(ScrapRef scrap, UInt32* infoCount, ScrapFlavorInfo info[]) {
  if (infoCount == nullptr || (info == nullptr && *infoCount != 0)) return paramErr;
  Contents contents;
  OSStatus err = Current(scrap, &contents);
  if (err != noErr) return err;
  UInt32 filled = 0;
  for (const Flavor& f : contents) {
    if (filled == *infoCount) break;
    info[filled++] = ScrapFlavorInfo{f.type, f.flags};
  }
  *infoCount = filled;
  return noErr;
}

OSStatus GetScrapFlavorSize(ScrapRef scrap, ScrapFlavorType flavorType, Size* byteCount) {
  if (byteCount == nullptr) return paramErr;
  Contents contents;
  OSStatus err = Current(scrap, &contents);
  if (err != noErr) return err;
  const Flavor* f = Find(contents, flavorType);
  if (f == nullptr) return scrapFlavorNotFoundErr;
  *byteCount = static_cast<Size>(f->data.size());
  return noErr;
}

OSStatus GetScrapFlavorFlags(ScrapRef scrap, ScrapFlavorType flavorType,
                             ScrapFlavorFlags* flavorFlags) {
  if (flavorFlags == nullptr) return paramErr;
  Contents contents;
  OSStatus err = Current(scrap, &contents);
  if (err != noErr) return err;
  const Flavor* f = Find(contents, flavorType);
  if (f == nullptr) return scrapFlavorNotFoundErr;
  *flavorFlags = f->flags;
  return noErr;
}

OSStatus GetScrapFlavorData(ScrapRef scrap, ScrapFlavorType flavorType, Size* byteCount,
                            void* destination) {
  if (byteCount == nullptr || *byteCount < 0 || (destination == nullptr && *byteCount != 0))
    return paramErr;
  Contents contents;
  OSStatus err = Current(scrap, &contents);
  if (err != noErr) return err;
  const Flavor* f = Find(contents, flavorType);
  if (f == nullptr) return scrapFlavorNotFoundErr;
  size_t n = std::min(static_cast<size_t>(*byteCount), f->data.size());
  if (n > 0) std::memcpy(destination, f->data.data(), n);
  *byteCount = static_cast<Size>(n);
  return noErr;
}

OSStatus ClearScrap(ScrapRef* scrap) {
  if (scrap == nullptr) return paramErr;
  std::string name;
  if (!NameOf(*scrap, &name)) return badScrapRefErr;
  return Clear(name);
}
