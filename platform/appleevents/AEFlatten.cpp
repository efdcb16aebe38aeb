// AEFlatten.cpp — the wire form of descriptors: what travels between
// processes, and what AEGetDescData gives for a list, record or event.
//
// The layout is documented in docs/platform.md ("Flattened form"). Headers
// are big-endian; data bytes are copied as they are stored (the host's byte
// order: both ends are on the same machine). Reading never trusts a size: each
// length is checked against the bytes that remain before anything is
// allocated, item counts against the smallest size an item can have, and
// nesting is limited to kMaxDepth.
#include <new>

#include "platform/appleevents/AEInternal.h"

namespace macplatform::ae {

namespace {

constexpr UInt32 kMagic = 'AEfl';
constexpr UInt16 kVersion = 1;
constexpr size_t kTopHeader = 8;
constexpr size_t kElementHeader = 12;
constexpr size_t kMinItem = 4 + kElementHeader;  // keyword + an element without body

enum : UInt8 { kNoData = 0, kData = 1, kList = 2, kRecord = 3, kEvent = 4 };

size_t ElementSize(const Item& it);

size_t ItemsSize(const std::vector<Item>& items) {
  size_t n = 4;
  for (const Item& it : items) n += 4 + ElementSize(it);
  return n;
}

size_t ElementSize(const Item& it) {
  const Node* n = it.node;
  if (!n) return kElementHeader;
  switch (n->kind) {
    case NodeKind::Data:
      return kElementHeader + static_cast<const DataNode*>(n)->size;
    case NodeKind::List:
    case NodeKind::Record:
      return kElementHeader + ItemsSize(static_cast<const ListNode*>(n)->items);
    case NodeKind::Event: {
      auto* e = static_cast<const EventNode*>(n);
      return kElementHeader + 16 + ItemsSize(e->attributes) + ItemsSize(e->items);
    }
  }
  return kElementHeader;
}

UInt8* WriteElement(const Item& it, UInt8* p);

UInt8* WriteItems(const std::vector<Item>& items, UInt8* p) {
  PutBE32(p, UInt32(items.size()));
  p += 4;
  for (const Item& it : items) {
    PutBE32(p, it.key);
    p = WriteElement(it, p + 4);
  }
  return p;
}

UInt8* WriteElement(const Item& it, UInt8* p) {
  UInt8* header = p;
  PutBE32(header, it.type);
  header[5] = header[6] = header[7] = 0;
  p += kElementHeader;
  const Node* n = it.node;
  if (!n) {
    header[4] = kNoData;
  } else {
    switch (n->kind) {
      case NodeKind::Data: {
        auto* d = static_cast<const DataNode*>(n);
        header[4] = kData;
        if (d->size) std::memcpy(p, d->bytes(), d->size);
        p += d->size;
        break;
      }
      case NodeKind::List:
      case NodeKind::Record:
        header[4] = n->kind == NodeKind::List ? kList : kRecord;
        p = WriteItems(static_cast<const ListNode*>(n)->items, p);
        break;
      case NodeKind::Event: {
        auto* e = static_cast<const EventNode*>(n);
        header[4] = kEvent;
        PutBE32(p, e->eventClass);
        PutBE32(p + 4, e->eventID);
        PutBE32(p + 8, UInt32(UInt16(e->returnID)) << 16);
        PutBE32(p + 12, UInt32(e->transactionID));
        p = WriteItems(e->attributes, p + 16);
        p = WriteItems(e->items, p);
        break;
      }
    }
  }
  PutBE32(header + 8, UInt32(p - header - kElementHeader));
  return p;
}

OSErr ReadElement(const UInt8* p, size_t avail, int depth, Item* out, size_t* used);

// Reads a count and that many keyed elements, filling exactly `len` bytes.
OSErr ReadItems(const UInt8* p, size_t len, int depth, std::vector<Item>* items, size_t* used) {
  if (len < 4) return errAECorruptData;
  UInt32 count = GetBE32(p);
  size_t pos = 4;
  if (count > (len - pos) / kMinItem) return errAECorruptData;
  items->reserve(count);
  for (UInt32 i = 0; i < count; ++i) {
    if (len - pos < kMinItem) return errAECorruptData;
    AEKeyword key = GetBE32(p + pos);
    pos += 4;
    Item it;
    size_t n = 0;
    OSErr err = ReadElement(p + pos, len - pos, depth, &it, &n);
    if (err != noErr) return err;
    it.key = key;
    items->push_back(it);
    pos += n;
  }
  *used = pos;
  return noErr;
}

void ReleaseAll(std::vector<Item>& items) {
  for (Item& it : items) Release(it.node);
  items.clear();
}

OSErr ReadElement(const UInt8* p, size_t avail, int depth, Item* out, size_t* used) {
  if (depth > kMaxDepth) return errAECorruptData;
  if (avail < kElementHeader) return errAECorruptData;
  DescType type = GetBE32(p);
  UInt8 kind = p[4];
  if (p[5] || p[6] || p[7]) return errAECorruptData;
  size_t len = GetBE32(p + 8);
  if (len > avail - kElementHeader) return errAECorruptData;
  const UInt8* body = p + kElementHeader;
  bool structuredType = type == typeAEList || type == typeAERecord || type == typeAppleEvent;
  Item it;
  it.type = type;
  switch (kind) {
    case kNoData:
      if (len != 0 || structuredType) return errAECorruptData;
      break;
    case kData:
      if (structuredType) return errAECorruptData;
      it.node = NewData(body, len);
      if (!it.node) return memFullErr;
      break;
    case kList:
    case kRecord: {
      if (kind == kList ? type != typeAEList : (type == typeAEList || type == typeAppleEvent))
        return errAECorruptData;
      ListNode* l = NewList(kind == kList ? NodeKind::List : NodeKind::Record);
      if (!l) return memFullErr;
      size_t n = 0;
      OSErr err = ReadItems(body, len, depth + 1, &l->items, &n);
      if (err == noErr && n != len) err = errAECorruptData;
      if (err != noErr) {
        Release(l);
        return err;
      }
      it.node = l;
      break;
    }
    case kEvent: {
      if (type != typeAppleEvent || len < 16) return errAECorruptData;
      auto* e = new (std::nothrow) EventNode();
      if (!e) return memFullErr;
      e->eventClass = GetBE32(body);
      e->eventID = GetBE32(body + 4);
      UInt32 rt = GetBE32(body + 8);
      e->returnID = AEReturnID(UInt16(rt >> 16));
      e->transactionID = AETransactionID(GetBE32(body + 12));
      std::vector<Item> attrs;
      size_t pos = 16, n = 0;
      OSErr err = (rt & 0xFFFF) ? errAECorruptData : noErr;
      if (err == noErr) err = ReadItems(body + pos, len - pos, depth + 1, &attrs, &n);
      if (err == noErr) {
        pos += n;
        err = ReadItems(body + pos, len - pos, depth + 1, &e->items, &n);
      }
      if (err == noErr && pos + n != len) err = errAECorruptData;
      for (const Item& a : attrs) {
        if (err != noErr) break;
        if (SetAttributeItem(e, a.key, a, true) != noErr) err = errAECorruptData;
      }
      ReleaseAll(attrs);
      if (err != noErr) {
        Release(e);
        return err;
      }
      it.node = e;
      break;
    }
    default:
      return errAECorruptData;
  }
  *out = it;
  *used = kElementHeader + len;
  return noErr;
}

}  // namespace

size_t FlattenedSize(const Item& it) { return kTopHeader + ElementSize(it); }

void FlattenTo(const Item& it, UInt8* out) {
  PutBE32(out, kMagic);
  PutBE32(out + 4, UInt32(kVersion) << 16);
  WriteElement(it, out + kTopHeader);
}

bool LooksFlattened(const UInt8* bytes, size_t size) {
  return bytes && size >= kTopHeader + kElementHeader && GetBE32(bytes) == kMagic &&
         GetBE32(bytes + 4) == (UInt32(kVersion) << 16);
}

OSErr Unflatten(const UInt8* bytes, size_t size, Item* out) {
  if (!bytes || size < kTopHeader + kElementHeader || GetBE32(bytes) != kMagic)
    return errAECorruptData;
  if ((GetBE32(bytes + 4) >> 16) != kVersion) return errAENewerVersion;
  if ((GetBE32(bytes + 4) & 0xFFFF) != 0) return errAECorruptData;
  size_t used = 0;
  OSErr err = ReadElement(bytes + kTopHeader, size - kTopHeader, 0, out, &used);
  if (err != noErr) return err;
  if (used != size - kTopHeader) {
    ReleaseItem(*out);
    return errAECorruptData;
  }
  out->key = 0;
  return noErr;
}

}  // namespace macplatform::ae

using namespace macplatform::ae;

Size AESizeOfFlattenedDesc(const AEDesc* theAEDesc) {
  if (!theAEDesc) return 0;
  return Size(FlattenedSize(Item{0, theAEDesc->descriptorType, NodeOf(theAEDesc)}));
}

OSStatus AEFlattenDesc(const AEDesc* theAEDesc, Ptr buffer, Size bufferSize, Size* actualSize) {
  if (!theAEDesc || !buffer || bufferSize < 0) return paramErr;
  Item it{0, theAEDesc->descriptorType, NodeOf(theAEDesc)};
  size_t size = FlattenedSize(it);
  if (actualSize) *actualSize = Size(size);
  if (size_t(bufferSize) < size) return errAEBufferTooSmall;
  FlattenTo(it, reinterpret_cast<UInt8*>(buffer));
  return noErr;
}

OSStatus AEUnflattenDesc(const void* buffer, AEDesc* result) {
  if (!buffer || !result) return paramErr;
  const auto* p = static_cast<const UInt8*>(buffer);
  if (GetBE32(p) != 'AEfl') return errAECorruptData;
  size_t size = 8 + 12 + size_t(GetBE32(p + 8 + 8));
  return AEUnflattenDescFromBytes(buffer, Size(size), result);
}

OSStatus AEUnflattenDescFromBytes(const void* buffer, Size bufferSize, AEDesc* result) {
  if (!buffer || !result || bufferSize < 0) return paramErr;
  Item it;
  OSErr err = Unflatten(static_cast<const UInt8*>(buffer), size_t(bufferSize), &it);
  if (err != noErr) return err;
  ItemToDesc(it, result);
  return noErr;
}
