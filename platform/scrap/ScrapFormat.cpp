// ScrapFormat.cpp — the bytes of a scrap file and the file name of a scrap.
//
// Portable part of the Scrap Manager. Scrap files live in a folder only this
// user can write, but a crash, a full disk or another tool can leave anything
// there, so Decode trusts no count and no size: each is checked against the
// bytes that are really left before anything is allocated.
#include <cstring>
#include <set>

#include "platform/scrap/ScrapFile.h"

namespace macplatform::scrap {
namespace {

constexpr size_t kHeaderSize = 12;        // magic, version, count
constexpr size_t kFlavorHeaderSize = 12;  // type, flags, size

void PutU32(std::vector<UInt8>* out, UInt32 v) {
  out->push_back(static_cast<UInt8>(v >> 24));
  out->push_back(static_cast<UInt8>(v >> 16));
  out->push_back(static_cast<UInt8>(v >> 8));
  out->push_back(static_cast<UInt8>(v));
}

UInt32 GetU32(const UInt8* p) {
  return (UInt32(p[0]) << 24) | (UInt32(p[1]) << 16) | (UInt32(p[2]) << 8) | UInt32(p[3]);
}

bool IsSafeNameByte(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '_' || c == '-';
}

}  // namespace

std::vector<UInt8> Encode(const Contents& contents) {
  size_t total = kHeaderSize;
  for (const Flavor& f : contents) total += kFlavorHeaderSize + f.data.size();
  std::vector<UInt8> out;
  out.reserve(total);
  PutU32(&out, kMagic);
  PutU32(&out, kVersion);
  PutU32(&out, static_cast<UInt32>(contents.size()));
  for (const Flavor& f : contents) {
    PutU32(&out, f.type);
    PutU32(&out, f.flags);
    PutU32(&out, static_cast<UInt32>(f.data.size()));
    out.insert(out.end(), f.data.begin(), f.data.end());
  }
  return out;
}

OSStatus Decode(const void* data, size_t size, Contents* contents) {
  if (contents == nullptr || (data == nullptr && size != 0)) return paramErr;
  if (size < kHeaderSize || size > kMaxFileSize) return internalScrapErr;
  const UInt8* p = static_cast<const UInt8*>(data);
  if (GetU32(p) != kMagic || GetU32(p + 4) != kVersion) return internalScrapErr;
  size_t count = GetU32(p + 8);
  size_t offset = kHeaderSize;
  // Every flavor takes at least its header: a count larger than the bytes
  // left can hold is a lie, refused before anything is reserved.
  if (count > kMaxFlavors || count > (size - offset) / kFlavorHeaderSize) return internalScrapErr;

  Contents parsed;
  parsed.reserve(count);
  std::set<ScrapFlavorType> seen;
  for (size_t i = 0; i < count; ++i) {
    if (size - offset < kFlavorHeaderSize) return internalScrapErr;
    Flavor f;
    f.type = GetU32(p + offset);
    f.flags = GetU32(p + offset + 4);
    size_t length = GetU32(p + offset + 8);
    offset += kFlavorHeaderSize;
    if (length > kMaxFlavorSize || length > size - offset) return internalScrapErr;
    if (!seen.insert(f.type).second) return internalScrapErr;
    f.data.assign(p + offset, p + offset + length);
    offset += length;
    parsed.push_back(std::move(f));
  }
  if (offset != size) return internalScrapErr;  // bytes after the last flavor
  *contents = std::move(parsed);
  return noErr;
}

OSStatus FileNameFor(std::string_view name, std::string* fileName) {
  if (fileName == nullptr || name.empty()) return paramErr;
  static const char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (unsigned char c : name) {
    if (IsSafeNameByte(c)) {
      encoded.push_back(static_cast<char>(c));
    } else {
      encoded.push_back('%');
      encoded.push_back(kHex[c >> 4]);
      encoded.push_back(kHex[c & 0xF]);
    }
    if (encoded.size() > kMaxEncodedName) return bdNamErr;
  }
  *fileName = encoded + ".scrap";
  return noErr;
}

}  // namespace macplatform::scrap
