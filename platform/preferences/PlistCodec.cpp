// PlistCodec.cpp — see PlistCodec.h.
//
// Sections: strings; CF value -> node; node -> CF value; bytes.
#include "platform/preferences/PlistCodec.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace macplatform::prefs {

// ---------------------------------------------------------------------------
// Strings. Keys and string values are UTF-8 in libplist and UTF-16 in CF.

bool StringToUTF8(CFStringRef string, std::string* out) {
  if (string == nullptr || CFGetTypeID(string) != CFStringGetTypeID()) return false;
  CFIndex length = CFStringGetLength(string);
  // A NUL inside would cut the UTF-8 form short (and names no file).
  std::vector<UniChar> units(static_cast<size_t>(length));
  if (length > 0) CFStringGetCharacters(string, CFRangeMake(0, length), units.data());
  for (UniChar unit : units)
    if (unit == 0) return false;
  CFIndex size = CFStringGetMaximumSizeForEncoding(length, kCFStringEncodingUTF8) + 1;
  std::vector<char> buffer(static_cast<size_t>(size));
  if (!CFStringGetCString(string, buffer.data(), size, kCFStringEncodingUTF8)) return false;
  out->assign(buffer.data());
  return true;
}

CFStringRef CreateStringFromUTF8(const std::string& utf8) {
  return CFStringCreateWithBytes(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(utf8.data()),
                                 static_cast<CFIndex>(utf8.size()), kCFStringEncodingUTF8, false);
}

DictionaryBuilder::~DictionaryBuilder() {
  for (CFTypeRef key : keys_) CFRelease(key);
  for (CFTypeRef value : values_) CFRelease(value);
}

void DictionaryBuilder::Add(const std::string& name, CFTypeRef value) {
  if (value == nullptr) return;
  CFStringRef key = CreateStringFromUTF8(name);
  if (key == nullptr) {
    CFRelease(value);
    return;
  }
  keys_.push_back(key);
  values_.push_back(value);
}

CFDictionaryRef DictionaryBuilder::Create() const {
  return CFDictionaryCreate(kCFAllocatorDefault, const_cast<const void**>(keys_.data()),
                            const_cast<const void**>(values_.data()),
                            static_cast<CFIndex>(keys_.size()), &kCFTypeDictionaryKeyCallBacks,
                            &kCFTypeDictionaryValueCallBacks);
}

namespace {

// libplist hands out copies made with malloc.
struct MallocFree {
  void operator()(void* p) const { std::free(p); }
};
using MallocPtr = std::unique_ptr<char, MallocFree>;

// ---------------------------------------------------------------------------
// CF value -> node.

PlistPtr NodeFromCFAt(CFTypeRef value, int depth) {
  if (value == nullptr || depth > kMaxDepth) return nullptr;
  CFTypeID type = CFGetTypeID(value);
  if (type == CFStringGetTypeID()) {
    std::string utf8;
    if (!StringToUTF8(static_cast<CFStringRef>(value), &utf8)) return nullptr;
    return PlistPtr(plist_new_string(utf8.c_str()));
  }
  if (type == CFBooleanGetTypeID())
    return PlistPtr(plist_new_bool(CFBooleanGetValue(static_cast<CFBooleanRef>(value)) ? 1 : 0));
  if (type == CFNumberGetTypeID()) {
    auto number = static_cast<CFNumberRef>(value);
    if (CFNumberIsFloatType(number)) {
      double real = 0;
      CFNumberGetValue(number, kCFNumberFloat64Type, &real);
      return PlistPtr(plist_new_real(real));
    }
    // libplist keeps integers in 64 bits and writes them signed.
    SInt64 integer = 0;
    CFNumberGetValue(number, kCFNumberSInt64Type, &integer);
    return PlistPtr(plist_new_uint(static_cast<uint64_t>(integer)));
  }
  if (type == CFDataGetTypeID()) {
    auto data = static_cast<CFDataRef>(value);
    CFIndex length = CFDataGetLength(data);
    const UInt8* bytes = CFDataGetBytePtr(data);
    static const char kEmpty = 0;
    return PlistPtr(plist_new_data(length > 0 ? reinterpret_cast<const char*>(bytes) : &kEmpty,
                                   static_cast<uint64_t>(length)));
  }
  if (type == CFArrayGetTypeID()) {
    auto array = static_cast<CFArrayRef>(value);
    PlistPtr node(plist_new_array());
    CFIndex count = CFArrayGetCount(array);
    for (CFIndex i = 0; i < count; ++i) {
      PlistPtr item = NodeFromCFAt(CFArrayGetValueAtIndex(array, i), depth + 1);
      if (!item) return nullptr;
      plist_array_append_item(node.get(), item.release());
    }
    return node;
  }
  if (type == CFDictionaryGetTypeID()) {
    auto dict = static_cast<CFDictionaryRef>(value);
    CFIndex count = CFDictionaryGetCount(dict);
    std::vector<const void*> keys(static_cast<size_t>(count)), values(static_cast<size_t>(count));
    if (count > 0) CFDictionaryGetKeysAndValues(dict, keys.data(), values.data());
    PlistPtr node(plist_new_dict());
    for (CFIndex i = 0; i < count; ++i) {
      std::string key;
      if (!StringToUTF8(static_cast<CFStringRef>(keys[i]), &key)) return nullptr;
      PlistPtr item = NodeFromCFAt(values[i], depth + 1);
      if (!item) return nullptr;
      plist_dict_set_item(node.get(), key.c_str(), item.release());
    }
    return node;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// Node -> CF value.

CFTypeRef CreateCFFromNodeAt(plist_t node, int depth) {
  if (node == nullptr || depth > kMaxDepth) return nullptr;
  switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
      uint8_t value = 0;
      plist_get_bool_val(node, &value);
      return CFRetain(value ? kCFBooleanTrue : kCFBooleanFalse);
    }
    case PLIST_UINT: {
      uint64_t value = 0;
      plist_get_uint_val(node, &value);
      SInt64 integer = static_cast<SInt64>(value);
      return CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt64Type, &integer);
    }
    case PLIST_REAL: {
      double value = 0;
      plist_get_real_val(node, &value);
      return CFNumberCreate(kCFAllocatorDefault, kCFNumberFloat64Type, &value);
    }
    case PLIST_DATE: {
      // No CFDate here: seconds since 1 January 2001, like CFAbsoluteTime.
      int32_t sec = 0, usec = 0;
      plist_get_date_val(node, &sec, &usec);
      double value = static_cast<double>(sec) + static_cast<double>(usec) / 1e6;
      return CFNumberCreate(kCFAllocatorDefault, kCFNumberFloat64Type, &value);
    }
    case PLIST_STRING: {
      // The pointer form gives the length: a string from the binary format
      // may hold a NUL, which has no place in a CFString made from C text.
      uint64_t length = 0;
      const char* value = plist_get_string_ptr(node, &length);
      if (value == nullptr || std::memchr(value, 0, length) != nullptr) return nullptr;
      return CreateStringFromUTF8(std::string(value, length));
    }
    case PLIST_DATA: {
      char* raw = nullptr;
      uint64_t length = 0;
      plist_get_data_val(node, &raw, &length);
      MallocPtr value(raw);
      if (length > static_cast<uint64_t>(kMaxPlistBytes) || (raw == nullptr && length != 0))
        return nullptr;
      return CFDataCreate(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(raw),
                          static_cast<CFIndex>(length));
    }
    case PLIST_ARRAY: {
      uint32_t count = plist_array_get_size(node);
      std::vector<CFTypeRef> items;
      items.reserve(count);
      for (uint32_t i = 0; i < count; ++i) {
        CFTypeRef item = CreateCFFromNodeAt(plist_array_get_item(node, i), depth + 1);
        if (item != nullptr) items.push_back(item);
      }
      CFArrayRef array = CFArrayCreate(kCFAllocatorDefault, items.data(),
                                       static_cast<CFIndex>(items.size()), &kCFTypeArrayCallBacks);
      for (CFTypeRef item : items) CFRelease(item);
      return array;
    }
    case PLIST_DICT: {
      DictionaryBuilder builder;
      ForEachEntry(node, [&](const std::string& name, plist_t child) {
        builder.Add(name, CreateCFFromNodeAt(child, depth + 1));
      });
      return builder.Create();
    }
    default:
      return nullptr;  // UIDs and keys on their own
  }
}

}  // namespace

void ForEachEntry(plist_t dict, const std::function<void(const std::string&, plist_t)>& visit) {
  if (dict == nullptr || plist_get_node_type(dict) != PLIST_DICT) return;
  plist_dict_iter iter = nullptr;
  plist_dict_new_iter(dict, &iter);
  for (;;) {
    plist_t value = nullptr;
    // Keys are not asked of the iterator: it asserts on a key with a NUL.
    plist_dict_next_item(dict, iter, nullptr, &value);
    if (value == nullptr) break;
    plist_t keyNode = plist_dict_item_get_key(value);
    if (keyNode == nullptr) continue;
    // libplist writes a key's full length into XML; a NUL there shows that
    // the key is longer than its C string and must not be read as one.
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(keyNode, &xml, &length);
    bool whole = xml != nullptr && std::memchr(xml, 0, length) == nullptr;
    if (xml != nullptr) plist_to_xml_free(xml);
    if (!whole) continue;
    char* raw = nullptr;
    plist_get_key_val(keyNode, &raw);
    MallocPtr key(raw);
    if (key) visit(key.get(), value);
  }
  std::free(iter);
}

PlistPtr NodeFromCF(CFTypeRef value) { return NodeFromCFAt(value, 0); }

CFTypeRef CreateCFFromNode(plist_t node) { return CreateCFFromNodeAt(node, 0); }

// ---------------------------------------------------------------------------
// Bytes.

namespace {

PlistPtr CleanCopy(plist_t node, int depth) {
  if (node == nullptr || depth > kMaxDepth) return nullptr;
  switch (plist_get_node_type(node)) {
    case PLIST_STRING: {
      uint64_t length = 0;
      const char* value = plist_get_string_ptr(node, &length);
      if (value == nullptr || std::memchr(value, 0, length) != nullptr) return nullptr;
      return PlistPtr(plist_copy(node));
    }
    case PLIST_ARRAY: {
      PlistPtr copy(plist_new_array());
      uint32_t count = plist_array_get_size(node);
      for (uint32_t i = 0; i < count; ++i) {
        PlistPtr item = CleanCopy(plist_array_get_item(node, i), depth + 1);
        if (item) plist_array_append_item(copy.get(), item.release());
      }
      return copy;
    }
    case PLIST_DICT: {
      PlistPtr copy(plist_new_dict());
      ForEachEntry(node, [&](const std::string& key, plist_t value) {
        PlistPtr item = CleanCopy(value, depth + 1);
        if (item) plist_dict_set_item(copy.get(), key.c_str(), item.release());
      });
      return copy;
    }
    case PLIST_BOOLEAN:
    case PLIST_UINT:
    case PLIST_REAL:
    case PLIST_DATE:
    case PLIST_DATA:
      return PlistPtr(plist_copy(node));
    default:
      return nullptr;
  }
}

}  // namespace

PlistPtr ParsePlist(const void* bytes, size_t length) {
  if (bytes == nullptr || length == 0 || length > kMaxPlistBytes) return nullptr;
  // A private, NUL-terminated copy: the XML reader then never reads past it.
  std::string copy(static_cast<const char*>(bytes), length);
  plist_t root = nullptr;
  plist_from_memory(copy.c_str(), static_cast<uint32_t>(copy.size()), &root);
  PlistPtr parsed(root);
  return parsed ? CleanCopy(parsed.get(), 0) : nullptr;
}

std::string WriteXML(plist_t node) {
  char* xml = nullptr;
  uint32_t length = 0;
  plist_to_xml(node, &xml, &length);
  std::string out = xml != nullptr ? std::string(xml, length) : std::string();
  if (xml != nullptr) plist_to_xml_free(xml);
  return out;
}

}  // namespace macplatform::prefs
