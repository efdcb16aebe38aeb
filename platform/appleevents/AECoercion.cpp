// AECoercion.cpp — turning a descriptor into one of another type.
//
// Sections:
//   1. The handler table (AEInstallCoercionHandler): consulted first, so an
//      installed handler can add a pair or replace a built-in one.
//   2. Numbers and codes: 'shor' 'long' 'magn' 'comp' 'sing' 'doub' 'bool'
//      'true' 'fals' 'type' 'enum' 'keyw', among each other where the value
//      fits.
//   3. Text: 'TEXT' (Mac Roman), 'utxt' (UTF-16, host byte order), 'utf8',
//      and 'pstr' as a source only.
//   4. Lists and records.
//   5. Files: 'alis' 'fsrf' 'fss ' 'furl'.
// Every pair not listed fails with errAECoercionFail. docs/platform.md has
// the table.
#include <cmath>
#include <cstdint>
#include <limits>
#include <mutex>
#include <optional>

#include "platform/appleevents/AEInternal.h"
#include "platform/core/TextEncodings.h"
#include "platform/files/FileRefs.h"
#include "platform/files/Files.h"

namespace macplatform::ae {

namespace {

// ---------------------------------------------------------------------------
// 1. Installed handlers.

struct CoercionEntry {
  DescType from;
  DescType to;
  AECoercionHandlerUPP handler;
  SInt32 refcon;
  bool isDesc;
  bool isSys;
};

std::mutex gCoercionMutex;
std::vector<CoercionEntry>& CoercionTable() {
  static std::vector<CoercionEntry> table;
  return table;
}

std::optional<CoercionEntry> FindHandler(DescType from, DescType to) {
  std::lock_guard<std::mutex> lock(gCoercionMutex);
  const auto& table = CoercionTable();
  for (bool sys : {false, true})
    for (DescType f : {from, DescType(typeWildCard)})
      for (const CoercionEntry& e : table)
        if (e.isSys == sys && e.from == f && e.to == to) return e;
  return std::nullopt;
}

OSErr CallHandler(const CoercionEntry& e, const Item& in, DescType to, Item* out) {
  AEDesc result = {typeNull, nullptr};
  OSErr err;
  if (e.isDesc) {
    AEDesc from;
    SetDesc(&from, in.type, in.node);
    err = e.handler(&from, to, e.refcon, &result);
  } else {
    auto proc = reinterpret_cast<AECoercePtrProcPtr>(reinterpret_cast<void (*)()>(e.handler));
    std::vector<UInt8> bytes(ItemDataSize(in));
    CopyItemData(in, bytes.data(), bytes.size());
    err = proc(in.type, bytes.data(), Size(bytes.size()), to, e.refcon, &result);
  }
  if (err != noErr) {
    AEDisposeDesc(&result);
    return err;
  }
  *out = Item{0, result.descriptorType, NodeOf(&result)};
  return noErr;
}

OSErr DataItem(DescType type, const void* data, size_t size, Item* out) {
  out->type = type;
  out->node = NewData(data, size);
  return out->node ? noErr : memFullErr;
}

// ---------------------------------------------------------------------------
// 2. Numbers and codes. Values are kept in the host's byte order; a code is
// its 32-bit value.

struct Number {
  bool isFloat = false;
  bool isCode = false;
  SInt64 i = 0;
  double f = 0;
};

bool IsCodeType(DescType t) {
  return t == typeType || t == typeEnumerated || t == typeKeyword || t == typeAbsoluteOrdinal;
}
bool IsNumericType(DescType t) {
  switch (t) {
    case typeSInt16: case typeSInt32: case typeUInt32: case typeSInt64:
    case typeIEEE32BitFloatingPoint: case typeIEEE64BitFloatingPoint:
    case typeBoolean: case typeTrue: case typeFalse:
      return true;
    default:
      return IsCodeType(t);
  }
}

template <typename T>
T Load(const DataNode* d) {
  T v;
  std::memcpy(&v, d->bytes(), sizeof v);
  return v;
}

bool ReadNumber(const Item& in, Number* n) {
  const DataNode* d = AsData(in.node);
  size_t size = d ? d->size : 0;
  switch (in.type) {
    case typeTrue:
    case typeFalse:
      if (size != 0) return false;
      n->i = in.type == typeTrue;
      return true;
    case typeBoolean:
      if (size != 1) return false;
      n->i = d->bytes()[0];
      return true;
    case typeSInt16:
      if (size != 2) return false;
      n->i = Load<SInt16>(d);
      return true;
    case typeSInt32:
      if (size != 4) return false;
      n->i = Load<SInt32>(d);
      return true;
    case typeUInt32:
      if (size != 4) return false;
      n->i = Load<UInt32>(d);
      return true;
    case typeSInt64:
      if (size != 8) return false;
      n->i = Load<SInt64>(d);
      return true;
    case typeIEEE32BitFloatingPoint:
      if (size != 4) return false;
      n->isFloat = true;
      n->f = Load<float>(d);
      return true;
    case typeIEEE64BitFloatingPoint:
      if (size != 8) return false;
      n->isFloat = true;
      n->f = Load<double>(d);
      return true;
    default:
      if (!IsCodeType(in.type) || size != 4) return false;
      n->isCode = true;
      n->i = Load<UInt32>(d);
      return true;
  }
}

// The integer value of `n` when it has one within [lo, hi].
bool IntegerIn(const Number& n, SInt64 lo, SInt64 hi, SInt64* out) {
  if (n.isFloat) {
    if (!std::isfinite(n.f) || n.f != std::trunc(n.f)) return false;
    if (n.f < double(lo) || n.f > double(hi)) return false;
    // Doubles at the int64 edges round up; refuse what does not convert back.
    if (n.f >= 9.2233720368547758e18) return false;
    *out = SInt64(n.f);
    return true;
  }
  if (n.i < lo || n.i > hi) return false;
  *out = n.i;
  return true;
}

OSErr WriteNumber(const Number& n, DescType to, Item* out) {
  SInt64 v = 0;
  switch (to) {
    case typeSInt16: {
      if (!IntegerIn(n, INT16_MIN, INT16_MAX, &v)) return errAECoercionFail;
      SInt16 x = SInt16(v);
      return DataItem(to, &x, 2, out);
    }
    case typeSInt32: {
      // A code is its 32-bit value: 'type' to 'long' keeps the bits.
      SInt64 hi = n.isCode ? SInt64(UINT32_MAX) : SInt64(INT32_MAX);
      if (!IntegerIn(n, INT32_MIN, hi, &v)) return errAECoercionFail;
      SInt32 x = SInt32(UInt32(v));
      return DataItem(to, &x, 4, out);
    }
    case typeUInt32: {
      if (!IntegerIn(n, 0, UINT32_MAX, &v)) return errAECoercionFail;
      UInt32 x = UInt32(v);
      return DataItem(to, &x, 4, out);
    }
    case typeSInt64: {
      if (!IntegerIn(n, INT64_MIN, INT64_MAX, &v)) return errAECoercionFail;
      return DataItem(to, &v, 8, out);
    }
    case typeIEEE32BitFloatingPoint: {
      if (n.isCode) return errAECoercionFail;
      float x = n.isFloat ? float(n.f) : float(n.i);
      return DataItem(to, &x, 4, out);
    }
    case typeIEEE64BitFloatingPoint: {
      if (n.isCode) return errAECoercionFail;
      double x = n.isFloat ? n.f : double(n.i);
      return DataItem(to, &x, 8, out);
    }
    case typeBoolean: {
      if (!IntegerIn(n, 0, 1, &v)) return errAECoercionFail;
      UInt8 x = UInt8(v);
      return DataItem(to, &x, 1, out);
    }
    case typeTrue:
    case typeFalse:
      if (!IntegerIn(n, 0, 1, &v) || v != (to == typeTrue)) return errAECoercionFail;
      return DataItem(to, nullptr, 0, out);
    default: {
      if (!IsCodeType(to)) return errAECoercionFail;
      if (!IntegerIn(n, INT32_MIN, UINT32_MAX, &v)) return errAECoercionFail;
      UInt32 x = UInt32(v);
      return DataItem(to, &x, 4, out);
    }
  }
}

// ---------------------------------------------------------------------------
// 3. Text.

bool DecodeUTF8(const UInt8* s, size_t n, std::u32string* out) {
  for (size_t i = 0; i < n;) {
    char32_t c;
    size_t len = text::DecodeUTF8Sequence(s + i, n - i, &c);
    if (len == 0) return false;
    out->push_back(c);
    i += len;
  }
  return true;
}

void EncodeUTF8(const std::u32string& cps, std::string* out) {
  for (char32_t c : cps) text::AppendUTF8(out, c);
}

bool IsTextSource(DescType t) {
  return t == typeChar || t == typeUnicodeText || t == typeUTF8Text || t == typePString;
}
bool IsTextTarget(DescType t) { return t == typeChar || t == typeUnicodeText || t == typeUTF8Text; }

bool DecodeText(const Item& in, std::u32string* out) {
  const DataNode* d = AsData(in.node);
  if (in.node && !d) return false;
  const UInt8* s = d ? d->bytes() : nullptr;
  size_t n = d ? d->size : 0;
  switch (in.type) {
    case typePString:
      if (n < 1 || size_t(s[0]) > n - 1) return false;
      n = s[0];
      ++s;
      [[fallthrough]];
    case typeChar:
      out->reserve(n);
      for (size_t i = 0; i < n; ++i) out->push_back(text::MacRomanToUnicode(s[i]));
      return true;
    case typeUTF8Text:
      return DecodeUTF8(s, n, out);
    case typeUnicodeText: {
      if (n % 2) return false;
      size_t count = n / 2;
      for (size_t i = 0; i < count; ++i) {
        char16_t u;
        std::memcpy(&u, s + 2 * i, 2);
        if (i == 0 && u == 0xFEFF) continue;  // a byte-order mark is not text
        if (u >= 0xD800 && u <= 0xDBFF) {
          if (i + 1 >= count) return false;
          char16_t lo;
          std::memcpy(&lo, s + 2 * (i + 1), 2);
          if (lo < 0xDC00 || lo > 0xDFFF) return false;
          out->push_back(0x10000 + ((char32_t(u) - 0xD800) << 10) + (lo - 0xDC00));
          ++i;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
          return false;
        } else {
          out->push_back(u);
        }
      }
      return true;
    }
    default:
      return false;
  }
}

OSErr EncodeText(const std::u32string& cps, DescType to, Item* out) {
  std::string bytes;
  if (to == typeChar) {
    bytes.reserve(cps.size());
    for (char32_t c : cps) {
      UInt8 b;
      if (!text::UnicodeToMacRoman(c, &b)) return errAECoercionFail;
      bytes.push_back(char(b));
    }
  } else if (to == typeUTF8Text) {
    EncodeUTF8(cps, &bytes);
  } else {
    std::u16string u;
    for (char32_t c : cps) text::AppendUTF16(&u, c);
    return DataItem(to, u.data(), u.size() * 2, out);
  }
  return DataItem(to, bytes.data(), bytes.size(), out);
}

// ---------------------------------------------------------------------------
// 5. Files.

bool IsFileType(DescType t) {
  return t == typeAlias || t == typeFSRef || t == typeFSS || t == typeFileURL;
}

std::string PercentDecode(const std::string& s, bool* ok) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '%') {
      out.push_back(s[i]);
      continue;
    }
    auto hex = [](char c) -> int {
      if (c >= '0' && c <= '9') return c - '0';
      if (c >= 'a' && c <= 'f') return c - 'a' + 10;
      if (c >= 'A' && c <= 'F') return c - 'A' + 10;
      return -1;
    };
    if (i + 2 >= s.size() || hex(s[i + 1]) < 0 || hex(s[i + 2]) < 0) {
      *ok = false;
      return out;
    }
    out.push_back(char(hex(s[i + 1]) * 16 + hex(s[i + 2])));
    i += 2;
  }
  return out;
}

OSErr FSRefOf(const Item& in, FSRef* ref) {
  const DataNode* d = AsData(in.node);
  if (!d) return errAECoercionFail;
  switch (in.type) {
    case typeFSRef:
      if (d->size != sizeof(FSRef)) return errAECoercionFail;
      std::memcpy(ref, d->bytes(), sizeof(FSRef));
      return noErr;
    case typeFSS: {
      if (d->size != sizeof(FSSpec)) return errAECoercionFail;
      FSSpec spec;
      std::memcpy(&spec, d->bytes(), sizeof spec);
      return FSpMakeFSRef(&spec, ref);
    }
    case typeAlias: {
      OSErr err = files::ResolveAliasBytes(d->bytes(), d->size, ref, nullptr);
      return err == paramErr ? OSErr(errAECoercionFail) : err;
    }
    case typeFileURL: {
      std::string url(reinterpret_cast<const char*>(d->bytes()), d->size);
      std::string rest;
      if (url.rfind("file:///", 0) == 0)
        rest = url.substr(7);
      else if (url.rfind("file://localhost/", 0) == 0)
        rest = url.substr(16);
      else
        return errAECoercionFail;
      bool ok = true;
      std::string path = PercentDecode(rest, &ok);
      if (!ok || path.find('\0') != std::string::npos) return errAECoercionFail;
      return files::MakeFSRef(path, ref);
    }
    default:
      return errAECoercionFail;
  }
}

OSErr CoerceFile(const Item& in, DescType to, Item* out) {
  FSRef ref;
  OSErr err = FSRefOf(in, &ref);
  if (err != noErr) return err;
  switch (to) {
    case typeFSRef:
      return DataItem(to, &ref, sizeof ref, out);
    case typeFSS: {
      FSSpec spec;
      err = FSGetCatalogInfo(&ref, 0, nullptr, nullptr, &spec, nullptr);
      if (err != noErr) return err;
      return DataItem(to, &spec, sizeof spec, out);
    }
    case typeAlias: {
      std::vector<UInt8> bytes;
      err = files::MakeAliasBytes(ref, &bytes);
      if (err != noErr) return err;
      return DataItem(to, bytes.data(), bytes.size(), out);
    }
    case typeFileURL: {
      std::string path;
      err = files::PathOfFSRef(ref, &path);
      if (err != noErr) return err;
      FSRef again;
      bool isDir = false;
      if (files::MakeFSRef(path, &again, &isDir) == noErr && isDir && path.back() != '/')
        path.push_back('/');
      static const char kHex[] = "0123456789ABCDEF";
      std::string url = "file://";
      for (unsigned char c : path) {
        if (isalnum(c) || std::strchr("/-._~!$&'()*+,;=:@", c)) {
          url.push_back(char(c));
        } else {
          url.push_back('%');
          url.push_back(kHex[c >> 4]);
          url.push_back(kHex[c & 15]);
        }
      }
      return DataItem(to, url.data(), url.size(), out);
    }
    default:
      return errAECoercionFail;
  }
}

// ---------------------------------------------------------------------------
// The built-in table.

OSErr CoerceBuiltIn(const Item& in, DescType to, Item* out, int depth) {
  if (depth > kMaxDepth) return errAECoercionFail;
  const Node* n = in.node;
  NodeKind kind = n ? n->kind : NodeKind::Data;

  // 4. Lists and records.
  if (to == typeAEList) {
    ListNode* l = NewList(NodeKind::List);
    if (!l) return memFullErr;
    if (in.type == typeAERecord && kind == NodeKind::Record) {
      l->items = static_cast<const ListNode*>(n)->items;  // keywords kept
      for (Item& it : l->items) Retain(it.node);
    } else {
      Item copy = in;
      copy.key = 0;
      copy.read = false;
      Retain(copy.node);
      l->items.push_back(copy);
    }
    *out = Item{0, typeAEList, l};
    return noErr;
  }
  if (kind == NodeKind::List) {
    const auto* list = static_cast<const ListNode*>(n);
    if (to == typeAERecord) {
      for (const Item& it : list->items)
        if (it.key == 0) return errAECoercionFail;
      ListNode* r = NewList(NodeKind::Record);
      if (!r) return memFullErr;
      r->items = list->items;
      for (Item& it : r->items) Retain(it.node);
      *out = Item{0, typeAERecord, r};
      return noErr;
    }
    // A list of one item stands for that item.
    if (list->items.size() == 1) {
      const Item& only = list->items[0];
      if (only.type == to) {
        *out = Item{0, to, Retain(only.node)};
        return noErr;
      }
      return CoerceBuiltIn(only, to, out, depth + 1);
    }
    return errAECoercionFail;
  }
  if (kind == NodeKind::Record) {
    if (to == typeAERecord || (in.type == typeAERecord && to == typeObjectSpecifier)) {
      *out = Item{0, to, Retain(in.node)};
      return noErr;
    }
    return errAECoercionFail;
  }
  if (kind == NodeKind::Event) return errAECoercionFail;

  if (IsNumericType(in.type) && IsNumericType(to)) {
    Number num;
    if (!ReadNumber(in, &num)) return errAECoercionFail;
    return WriteNumber(num, to, out);
  }
  if (IsTextSource(in.type) && IsTextTarget(to)) {
    std::u32string cps;
    if (!DecodeText(in, &cps)) return errAECoercionFail;
    return EncodeText(cps, to, out);
  }
  if (IsFileType(in.type) && IsFileType(to)) return CoerceFile(in, to, out);
  return errAECoercionFail;
}

}  // namespace

bool MacRomanToUTF8(const UInt8* bytes, size_t size, std::string* out) {
  std::u32string cps;
  DataNode* d = NewData(bytes, size);
  if (!d) return false;
  bool ok = DecodeText(Item{0, typeChar, d}, &cps);
  Release(d);
  if (ok) EncodeUTF8(cps, out);
  return ok;
}

bool UTF8ToMacRoman(const UInt8* bytes, size_t size, std::string* out) {
  std::u32string cps;
  if (!DecodeUTF8(bytes, size, &cps)) return false;
  for (char32_t c : cps) {
    UInt8 b;
    if (!text::UnicodeToMacRoman(c, &b)) return false;
    out->push_back(char(b));
  }
  return true;
}

OSErr CoerceItem(const Item& in, DescType to, Item* out) {
  if (to == typeWildCard || to == in.type) {
    *out = Item{0, in.type, Retain(in.node)};
    return noErr;
  }
  if (auto handler = FindHandler(in.type, to)) return CallHandler(*handler, in, to, out);
  return CoerceBuiltIn(in, to, out, 0);
}

}  // namespace macplatform::ae

using namespace macplatform::ae;

OSErr AECoercePtr(DescType typeCode, const void* dataPtr, Size dataSize, DescType toType,
                  AEDesc* result) {
  if (!result || dataSize < 0) return paramErr;
  Item in;
  OSErr err = MakeItem(typeCode, dataPtr, size_t(dataSize), &in);
  if (err != noErr) return err;
  Item out;
  err = CoerceItem(in, toType, &out);
  ReleaseItem(in);
  if (err != noErr) return err;
  ItemToDesc(out, result);
  return noErr;
}

OSErr AECoerceDesc(const AEDesc* theAEDesc, DescType toType, AEDesc* result) {
  if (!theAEDesc || !result) return paramErr;
  Item out;
  OSErr err = CoerceItem(Item{0, theAEDesc->descriptorType, NodeOf(theAEDesc)}, toType, &out);
  if (err != noErr) return err;
  ItemToDesc(out, result);
  return noErr;
}

OSErr AEInstallCoercionHandler(DescType fromType, DescType toType, AECoercionHandlerUPP handler,
                               SInt32 handlerRefcon, Boolean fromTypeIsDesc, Boolean isSysHandler) {
  if (!handler) return paramErr;
  std::lock_guard<std::mutex> lock(gCoercionMutex);
  auto& table = CoercionTable();
  for (CoercionEntry& e : table) {
    if (e.from == fromType && e.to == toType && e.isSys == bool(isSysHandler)) {
      e = CoercionEntry{fromType, toType, handler, handlerRefcon, bool(fromTypeIsDesc),
                        bool(isSysHandler)};
      return noErr;
    }
  }
  table.push_back(CoercionEntry{fromType, toType, handler, handlerRefcon, bool(fromTypeIsDesc),
                                bool(isSysHandler)});
  return noErr;
}

OSErr AERemoveCoercionHandler(DescType fromType, DescType toType, AECoercionHandlerUPP handler,
                              Boolean isSysHandler) {
  std::lock_guard<std::mutex> lock(gCoercionMutex);
  auto& table = CoercionTable();
  for (auto it = table.begin(); it != table.end(); ++it) {
    if (it->from == fromType && it->to == toType && it->isSys == bool(isSysHandler) &&
        (!handler || it->handler == handler)) {
      table.erase(it);
      return noErr;
    }
  }
  return errAEHandlerNotFound;
}
