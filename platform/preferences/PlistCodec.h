// PlistCodec.h — property lists between CoreFoundation values, libplist
// nodes and bytes (internal to platform/preferences).
//
// libplist does the parsing and writing of the file formats; this code only
// walks trees. Every reader answers bad input with nullptr, never a crash.
#pragma once

#include <plist/plist.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/corefoundation/CoreFoundation.h"

namespace macplatform::prefs {

struct PlistFree {
  void operator()(plist_t node) const { plist_free(node); }
};
// An owned libplist tree.
using PlistPtr = std::unique_ptr<void, PlistFree>;

// Deeper trees are refused: the walkers recurse.
constexpr int kMaxDepth = 256;
// Larger inputs are refused before libplist sees them.
constexpr size_t kMaxPlistBytes = 32u * 1024 * 1024;

// The UTF-8 form of a string; false when it has no such form or holds a NUL.
bool StringToUTF8(CFStringRef string, std::string* out);
// A new CFString, or NULL for bytes that are not UTF-8.
CFStringRef CreateStringFromUTF8(const std::string& utf8);

// A new libplist tree for a property-list value, or nullptr when the value
// (or anything inside it) is not a property-list type or nests too deeply.
PlistPtr NodeFromCF(CFTypeRef value);
// A new immutable CF value for a node (the caller releases it), or NULL.
// Dates become CFNumbers holding seconds since 1 January 2001 (reals); UIDs
// are dropped (an array or dictionary leaves them out).
CFTypeRef CreateCFFromNode(plist_t node);

// Makes an immutable CF dictionary entry by entry. Add takes the value it is
// given (a new reference); an entry whose name is not UTF-8 or whose value is
// NULL is left out.
class DictionaryBuilder {
 public:
  DictionaryBuilder() = default;
  DictionaryBuilder(const DictionaryBuilder&) = delete;
  DictionaryBuilder& operator=(const DictionaryBuilder&) = delete;
  ~DictionaryBuilder();
  void Add(const std::string& name, CFTypeRef value);
  // A new dictionary of the entries added (the caller releases it).
  CFDictionaryRef Create() const;

 private:
  std::vector<CFTypeRef> keys_;
  std::vector<CFTypeRef> values_;
};

// Calls `visit` with each key and value of a dictionary node, in order.
// Entries whose key holds a NUL (possible in the binary format) are left
// out: libplist cannot hand such a key out whole.
void ForEachEntry(plist_t dict, const std::function<void(const std::string&, plist_t)>& visit);

// Parses XML or binary bytes; nullptr when they are not a property list.
// The tree handed back is clean: strings and keys holding a NUL, UIDs and
// anything nested deeper than kMaxDepth are left out, so that every string in
// it can be read and written whole.
PlistPtr ParsePlist(const void* bytes, size_t length);
// The XML form of a tree.
std::string WriteXML(plist_t node);

}  // namespace macplatform::prefs
