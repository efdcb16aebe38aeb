// ScrapFile.h — the named scrap's file: its bytes, its name and its storage.
//
// Internal to platform/ (the fuzzer and the tests use it too). The format
// part (Encode/Decode, file names) is portable; the storage part reads and
// replaces the files in the runtime folder. Names are byte strings here; the
// public header turns CFStrings into UTF-8 first.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/scrap/Scrap.h"

namespace macplatform::scrap {

// "SCRP", big-endian, at offset 0 of every scrap file.
constexpr UInt32 kMagic = 0x53435250;
constexpr UInt32 kVersion = 1;
// Bounds that keep a reader from trusting a count or a size in the file.
constexpr size_t kMaxFlavors = 1024;
constexpr size_t kMaxFlavorSize = 16u << 20;
constexpr size_t kMaxFileSize = 64u << 20;
// Longest encoded name: leaves room for the suffixes and the temporary
// file's suffix under the 255-byte limit of a file name.
constexpr size_t kMaxEncodedName = 200;

struct Flavor {
  ScrapFlavorType type = 0;
  ScrapFlavorFlags flags = 0;
  std::vector<UInt8> data;
};
using Contents = std::vector<Flavor>;

// The file's bytes for `contents`.
std::vector<UInt8> Encode(const Contents& contents);

// Parses a whole file. internalScrapErr for anything that is not exactly one
// well-formed scrap (bad magic or version, counts or sizes past the end or
// the bounds, a type twice, bytes left over); `contents` is then untouched.
OSStatus Decode(const void* data, size_t size, Contents* contents);

// The file name for a scrap name: bytes outside [A-Za-z0-9._-] become %XX,
// then ".scrap" follows, so no name gives a slash, "." or "..".
// paramErr for an empty name, bdNamErr when the encoded name is too long.
OSStatus FileNameFor(std::string_view name, std::string* fileName);

// Storage, in RuntimeSubdir("scraps").

// Full path of the scrap's file (the folder is created if needed).
OSStatus PathFor(std::string_view name, std::string* path);

// Reads the file at `path`. A missing file is an empty scrap (noErr).
OSStatus ReadFile(const std::string& path, Contents* contents);

// Empties the scrap: its file is removed. A file that does not parse is
// moved aside to NAME.corrupt instead of being lost.
OSStatus Clear(std::string_view name);

// Adds one flavor and replaces the file atomically, under the folder's
// write lock so that two writers never lose each other's flavors.
OSStatus Put(std::string_view name, const Flavor& flavor);

}  // namespace macplatform::scrap
