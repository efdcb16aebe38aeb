// AEDescriptors.cpp — descriptors, lists, records, Apple events, parameters
// and attributes.
//
// Sections:
//   1. Nodes: allocation, sharing, copy on write.
//   2. Descriptors: AECreateDesc ... AEReplaceDescData.
//   3. Lists and records.
//   4. Apple events: creation, parameters, attributes, 'miss'.
//
// Every public function checks its pointers first (paramErr) and never
// changes a caller's descriptor on failure, except where it says so.
#include <algorithm>
#include <atomic>
#include <new>

#include "platform/appleevents/AEDispatch.h"
#include "platform/appleevents/AEInternal.h"

namespace macplatform::ae {

// ---------------------------------------------------------------------------
// 1. Nodes.

void Release(Node* n) {
  if (!n) return;
  if (n->refs.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  switch (n->kind) {
    case NodeKind::Data: {
      auto* d = static_cast<DataNode*>(n);
      d->~DataNode();
      ::operator delete(d);
      return;
    }
    case NodeKind::List:
    case NodeKind::Record: {
      auto* l = static_cast<ListNode*>(n);
      for (Item& it : l->items) Release(it.node);
      delete l;
      return;
    }
    case NodeKind::Event: {
      auto* e = static_cast<EventNode*>(n);
      for (Item& it : e->items) Release(it.node);
      for (Item& it : e->attributes) Release(it.node);
      delete e;
      return;
    }
  }
}

DataNode* NewData(const void* data, size_t size) {
  void* block = ::operator new(sizeof(DataNode) + size, std::nothrow);
  if (!block) return nullptr;
  auto* d = new (block) DataNode();
  d->size = size;
  if (size) {
    if (data)
      std::memcpy(d->bytes(), data, size);
    else
      std::memset(d->bytes(), 0, size);
  }
  return d;
}

ListNode* NewList(NodeKind kind) { return new (std::nothrow) ListNode(kind); }

namespace {

void RetainAll(std::vector<Item>& items) {
  for (Item& it : items) Retain(it.node);
}

}  // namespace

Node* CloneNode(const Node* n) {
  switch (n->kind) {
    case NodeKind::Data: {
      auto* d = static_cast<const DataNode*>(n);
      return NewData(d->bytes(), d->size);
    }
    case NodeKind::List:
    case NodeKind::Record: {
      auto* src = static_cast<const ListNode*>(n);
      auto* l = new (std::nothrow) ListNode(n->kind);
      if (!l) return nullptr;
      l->items = src->items;
      RetainAll(l->items);
      return l;
    }
    case NodeKind::Event: {
      auto* src = static_cast<const EventNode*>(n);
      auto* e = new (std::nothrow) EventNode();
      if (!e) return nullptr;
      e->items = src->items;
      e->attributes = src->attributes;
      e->eventClass = src->eventClass;
      e->eventID = src->eventID;
      e->returnID = src->returnID;
      e->transactionID = src->transactionID;
      RetainAll(e->items);
      RetainAll(e->attributes);
      return e;
    }
  }
  return nullptr;
}

ListNode* MutableList(AEDesc* d) {
  Node* n = NodeOf(d);
  if (!n || n->kind == NodeKind::Data) return nullptr;
  if (n->refs.load(std::memory_order_acquire) == 1) return static_cast<ListNode*>(n);
  Node* copy = CloneNode(n);
  if (!copy) return nullptr;
  Release(n);
  d->dataHandle = StorageOf(copy);
  return static_cast<ListNode*>(copy);
}

size_t ItemDataSize(const Item& it) {
  if (!it.node) return 0;
  if (auto* d = AsData(it.node)) return d->size;
  return FlattenedSize(it);
}

void CopyItemData(const Item& it, void* dst, size_t max) {
  if (!it.node || !dst || max == 0) return;
  if (auto* d = AsData(it.node)) {
    std::memcpy(dst, d->bytes(), std::min(max, d->size));
    return;
  }
  size_t size = FlattenedSize(it);
  if (max >= size) {
    FlattenTo(it, static_cast<UInt8*>(dst));
    return;
  }
  std::vector<UInt8> tmp(size);
  FlattenTo(it, tmp.data());
  std::memcpy(dst, tmp.data(), max);
}

OSErr MakeItem(DescType type, const void* data, size_t size, Item* out) {
  if (size > 0 && !data) return paramErr;
  Item it;
  it.type = type;
  const auto* bytes = static_cast<const UInt8*>(data);
  if (type == typeAEList || type == typeAERecord || type == typeAppleEvent) {
    if (size == 0) {
      Node* n = type == typeAppleEvent ? static_cast<Node*>(new (std::nothrow) EventNode())
                                       : NewList(type == typeAEList ? NodeKind::List
                                                                    : NodeKind::Record);
      if (!n) return memFullErr;
      it.node = n;
      *out = it;
      return noErr;
    }
    Item parsed;
    OSErr err = Unflatten(bytes, size, &parsed);
    if (err != noErr) return errAECorruptData;
    bool fits = parsed.type == type && parsed.node &&
                ((type == typeAEList && parsed.node->kind == NodeKind::List) ||
                 (type == typeAERecord && parsed.node->kind == NodeKind::Record) ||
                 (type == typeAppleEvent && parsed.node->kind == NodeKind::Event));
    if (!fits) {
      ReleaseItem(parsed);
      return errAECorruptData;
    }
    parsed.key = 0;
    *out = parsed;
    return noErr;
  }
  if (type == typeNull && size == 0) {
    *out = it;
    return noErr;
  }
  // The data of a record of another type ('obj ', ...) as AEGetDescData gave it.
  if (LooksFlattened(bytes, size)) {
    Item parsed;
    if (Unflatten(bytes, size, &parsed) == noErr) {
      if (parsed.type == type && parsed.node && parsed.node->kind == NodeKind::Record) {
        parsed.key = 0;
        *out = parsed;
        return noErr;
      }
      ReleaseItem(parsed);
    }
  }
  it.node = NewData(bytes, size);
  if (!it.node) return memFullErr;
  *out = it;
  return noErr;
}

const Item* FindKey(const ListNode* list, AEKeyword key) {
  for (const Item& it : list->items)
    if (it.key == key) return &it;
  return nullptr;
}

}  // namespace macplatform::ae

using namespace macplatform::ae;

namespace {

// Coerces `stored` as a getter asks: '****' or the same type give it as it is.
OSErr Coerced(const Item& stored, DescType desired, Item* out) {
  if (desired == typeWildCard || desired == stored.type) {
    *out = stored;
    Retain(out->node);
    return noErr;
  }
  return CoerceItem(stored, desired, out);
}

// The common tail of every ...Ptr getter.
OSErr OutputPtr(const Item& stored, DescType desired, DescType* typeCode, void* dataPtr,
                Size maximumSize, Size* actualSize) {
  Item value;
  OSErr err = Coerced(stored, desired, &value);
  if (err != noErr) return err;
  size_t size = ItemDataSize(value);
  if (maximumSize > 0 && dataPtr) CopyItemData(value, dataPtr, size_t(maximumSize));
  if (typeCode) *typeCode = value.type;
  if (actualSize) *actualSize = Size(size);
  ReleaseItem(value);
  return noErr;
}

OSErr OutputDesc(const Item& stored, DescType desired, AEDesc* result) {
  Item value;
  OSErr err = Coerced(stored, desired, &value);
  if (err != noErr) return err;
  ItemToDesc(value, result);
  return noErr;
}

const ListNode* ListOf(const AEDesc* d) { return AsList(NodeOf(d)); }

// Records and events (parameters); lists are refused.
const ListNode* KeyedOf(const AEDesc* d, OSErr* err) {
  const ListNode* l = ListOf(d);
  if (!l || l->kind == NodeKind::List) {
    *err = errAEWrongDataType;
    return nullptr;
  }
  return l;
}

OSErr PutKeyItem(AEDesc* record, Item& value) {
  const ListNode* l = ListOf(record);
  if (!l || l->kind == NodeKind::List) {
    ReleaseItem(value);
    return errAEWrongDataType;
  }
  ListNode* m = MutableList(record);
  if (!m) {
    ReleaseItem(value);
    return memFullErr;
  }
  for (Item& it : m->items) {
    if (it.key == value.key) {
      Release(it.node);
      it = value;
      return noErr;
    }
  }
  m->items.push_back(value);
  return noErr;
}

const Item* GetKeyItem(const AEDesc* record, AEKeyword key, OSErr* err) {
  const ListNode* l = KeyedOf(record, err);
  if (!l) return nullptr;
  const Item* it = FindKey(l, key);
  if (!it) {
    *err = errAEDescNotFound;
    return nullptr;
  }
  it->read = true;
  return it;
}

const Item* NthItem(const AEDesc* list, long index, OSErr* err) {
  const ListNode* l = ListOf(list);
  if (!l) {
    *err = errAEWrongDataType;
    return nullptr;
  }
  if (index < 1 || size_t(index) > l->items.size()) {
    *err = errAEIllegalIndex;
    return nullptr;
  }
  const Item* it = &l->items[size_t(index - 1)];
  it->read = true;
  return it;
}

OSErr PutNthItem(AEDescList* list, long index, Item& value) {
  const ListNode* l = ListOf(list);
  if (!l || l->kind != NodeKind::List) {
    ReleaseItem(value);
    return errAEWrongDataType;
  }
  size_t count = l->items.size();
  if (index < 0 || size_t(index) > count + 1) {
    ReleaseItem(value);
    return errAEIllegalIndex;
  }
  ListNode* m = MutableList(list);
  if (!m) {
    ReleaseItem(value);
    return memFullErr;
  }
  value.key = 0;
  if (index == 0 || size_t(index) == count + 1) {
    m->items.push_back(value);
  } else {
    Item& slot = m->items[size_t(index - 1)];
    Release(slot.node);
    slot = value;
  }
  return noErr;
}

std::atomic<UInt32> gNextReturnID{0};

AEReturnID NewReturnID() {
  for (;;) {
    auto id = AEReturnID(gNextReturnID.fetch_add(1, std::memory_order_relaxed) + 1);
    if (id != 0 && id != kAutoGenerateReturnID) return id;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// 2. Descriptors.

OSErr AECreateDesc(DescType typeCode, const void* dataPtr, Size dataSize, AEDesc* result) {
  if (!result || dataSize < 0) return paramErr;
  Item it;
  OSErr err = MakeItem(typeCode, dataPtr, size_t(dataSize), &it);
  if (err != noErr) return err;
  ItemToDesc(it, result);
  return noErr;
}

OSErr AEDisposeDesc(AEDesc* theAEDesc) {
  if (!theAEDesc) return paramErr;
  Release(NodeOf(theAEDesc));
  SetDesc(theAEDesc, typeNull, nullptr);
  return noErr;
}

OSErr AEDuplicateDesc(const AEDesc* theAEDesc, AEDesc* result) {
  if (!theAEDesc || !result) return paramErr;
  Node* n = NodeOf(theAEDesc);
  // An event gets its own top node, so that which parameters were read
  // ('miss') is kept apart for each copy.
  if (n && n->kind == NodeKind::Event) {
    n = CloneNode(n);
    if (!n) return memFullErr;
  } else {
    Retain(n);
  }
  SetDesc(result, theAEDesc->descriptorType, n);
  return noErr;
}

Size AEGetDescDataSize(const AEDesc* theAEDesc) {
  if (!theAEDesc) return 0;
  return Size(ItemDataSize(Item{0, theAEDesc->descriptorType, NodeOf(theAEDesc)}));
}

OSErr AEGetDescData(const AEDesc* theAEDesc, void* dataPtr, Size maximumSize) {
  if (!theAEDesc || (!dataPtr && maximumSize > 0) || maximumSize < 0) return paramErr;
  CopyItemData(Item{0, theAEDesc->descriptorType, NodeOf(theAEDesc)}, dataPtr,
               size_t(maximumSize));
  return noErr;
}

OSErr AEReplaceDescData(DescType typeCode, const void* dataPtr, Size dataSize, AEDesc* theAEDesc) {
  if (!theAEDesc || dataSize < 0) return paramErr;
  Item it;
  OSErr err = MakeItem(typeCode, dataPtr, size_t(dataSize), &it);
  if (err != noErr) return err;
  Release(NodeOf(theAEDesc));
  ItemToDesc(it, theAEDesc);
  return noErr;
}

// ---------------------------------------------------------------------------
// 3. Lists and records.

OSErr AECreateList(const void* /*factoringPtr*/, Size /*factoredSize*/, Boolean isRecord,
                   AEDescList* resultList) {
  if (!resultList) return paramErr;
  ListNode* l = NewList(isRecord ? NodeKind::Record : NodeKind::List);
  if (!l) return memFullErr;
  SetDesc(resultList, isRecord ? typeAERecord : typeAEList, l);
  return noErr;
}

OSErr AECountItems(const AEDescList* theAEDescList, long* theCount) {
  if (!theAEDescList || !theCount) return paramErr;
  const ListNode* l = ListOf(theAEDescList);
  if (!l) return errAEWrongDataType;
  *theCount = long(l->items.size());
  return noErr;
}

OSErr AEPutPtr(AEDescList* theAEDescList, long index, DescType typeCode, const void* dataPtr,
               Size dataSize) {
  if (!theAEDescList || dataSize < 0) return paramErr;
  Item it;
  OSErr err = MakeItem(typeCode, dataPtr, size_t(dataSize), &it);
  if (err != noErr) return err;
  return PutNthItem(theAEDescList, index, it);
}

OSErr AEPutDesc(AEDescList* theAEDescList, long index, const AEDesc* theAEDesc) {
  if (!theAEDescList || !theAEDesc) return paramErr;
  Item it = DescToItem(theAEDesc);
  return PutNthItem(theAEDescList, index, it);
}

OSErr AEGetNthPtr(const AEDescList* theAEDescList, long index, DescType desiredType,
                  AEKeyword* theAEKeyword, DescType* typeCode, void* dataPtr, Size maximumSize,
                  Size* actualSize) {
  if (!theAEDescList) return paramErr;
  OSErr err = noErr;
  const Item* it = NthItem(theAEDescList, index, &err);
  if (!it) return err;
  err = OutputPtr(*it, desiredType, typeCode, dataPtr, maximumSize, actualSize);
  if (err == noErr && theAEKeyword) *theAEKeyword = it->key ? it->key : AEKeyword(typeWildCard);
  return err;
}

OSErr AEGetNthDesc(const AEDescList* theAEDescList, long index, DescType desiredType,
                   AEKeyword* theAEKeyword, AEDesc* result) {
  if (!theAEDescList || !result) return paramErr;
  OSErr err = noErr;
  const Item* it = NthItem(theAEDescList, index, &err);
  if (!it) return err;
  err = OutputDesc(*it, desiredType, result);
  if (err == noErr && theAEKeyword) *theAEKeyword = it->key ? it->key : AEKeyword(typeWildCard);
  return err;
}

OSErr AESizeOfNthItem(const AEDescList* theAEDescList, long index, DescType* typeCode,
                      Size* dataSize) {
  if (!theAEDescList) return paramErr;
  OSErr err = noErr;
  const Item* it = NthItem(theAEDescList, index, &err);
  if (!it) return err;
  if (typeCode) *typeCode = it->type;
  if (dataSize) *dataSize = Size(ItemDataSize(*it));
  return noErr;
}

OSErr AEDeleteItem(AEDescList* theAEDescList, long index) {
  if (!theAEDescList) return paramErr;
  const ListNode* l = ListOf(theAEDescList);
  if (!l) return errAEWrongDataType;
  if (index < 1 || size_t(index) > l->items.size()) return errAEIllegalIndex;
  ListNode* m = MutableList(theAEDescList);
  if (!m) return memFullErr;
  Release(m->items[size_t(index - 1)].node);
  m->items.erase(m->items.begin() + (index - 1));
  return noErr;
}

Boolean AECheckIsRecord(const AEDesc* theDesc) {
  if (!theDesc) return false;
  const Node* n = NodeOf(theDesc);
  return n && n->kind == NodeKind::Record;
}

OSErr AEPutKeyPtr(AERecord* theAERecord, AEKeyword theAEKeyword, DescType typeCode,
                  const void* dataPtr, Size dataSize) {
  if (!theAERecord || dataSize < 0) return paramErr;
  Item it;
  OSErr err = MakeItem(typeCode, dataPtr, size_t(dataSize), &it);
  if (err != noErr) return err;
  it.key = theAEKeyword;
  return PutKeyItem(theAERecord, it);
}

OSErr AEPutKeyDesc(AERecord* theAERecord, AEKeyword theAEKeyword, const AEDesc* theAEDesc) {
  if (!theAERecord || !theAEDesc) return paramErr;
  Item it = DescToItem(theAEDesc, theAEKeyword);
  return PutKeyItem(theAERecord, it);
}

OSErr AEGetKeyPtr(const AERecord* theAERecord, AEKeyword theAEKeyword, DescType desiredType,
                  DescType* typeCode, void* dataPtr, Size maximumSize, Size* actualSize) {
  if (!theAERecord) return paramErr;
  OSErr err = noErr;
  const Item* it = GetKeyItem(theAERecord, theAEKeyword, &err);
  if (!it) return err;
  return OutputPtr(*it, desiredType, typeCode, dataPtr, maximumSize, actualSize);
}

OSErr AEGetKeyDesc(const AERecord* theAERecord, AEKeyword theAEKeyword, DescType desiredType,
                   AEDesc* result) {
  if (!theAERecord || !result) return paramErr;
  OSErr err = noErr;
  const Item* it = GetKeyItem(theAERecord, theAEKeyword, &err);
  if (!it) return err;
  return OutputDesc(*it, desiredType, result);
}

OSErr AESizeOfKeyDesc(const AERecord* theAERecord, AEKeyword theAEKeyword, DescType* typeCode,
                      Size* dataSize) {
  if (!theAERecord) return paramErr;
  OSErr err = noErr;
  const Item* it = GetKeyItem(theAERecord, theAEKeyword, &err);
  if (!it) return err;
  if (typeCode) *typeCode = it->type;
  if (dataSize) *dataSize = Size(ItemDataSize(*it));
  return noErr;
}

OSErr AEDeleteKeyDesc(AERecord* theAERecord, AEKeyword theAEKeyword) {
  if (!theAERecord) return paramErr;
  OSErr err = noErr;
  const ListNode* l = KeyedOf(theAERecord, &err);
  if (!l) return err;
  if (!FindKey(l, theAEKeyword)) return errAEDescNotFound;
  ListNode* m = MutableList(theAERecord);
  if (!m) return memFullErr;
  for (auto it = m->items.begin(); it != m->items.end(); ++it) {
    if (it->key == theAEKeyword) {
      Release(it->node);
      m->items.erase(it);
      break;
    }
  }
  return noErr;
}

// ---------------------------------------------------------------------------
// 4. Apple events.

OSErr AECreateAppleEvent(AEEventClass theAEEventClass, AEEventID theAEEventID,
                         const AEAddressDesc* target, AEReturnID returnID,
                         AETransactionID transactionID, AppleEvent* result) {
  if (!result) return paramErr;
  auto* e = new (std::nothrow) EventNode();
  if (!e) return memFullErr;
  e->eventClass = theAEEventClass;
  e->eventID = theAEEventID;
  e->returnID = returnID == kAutoGenerateReturnID ? NewReturnID() : returnID;
  e->transactionID = transactionID;
  if (target && (target->descriptorType != typeNull || NodeOf(target)))
    e->attributes.push_back(DescToItem(target, keyAddressAttr));
  SetDesc(result, typeAppleEvent, e);
  return noErr;
}

OSErr AEPutParamPtr(AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType typeCode,
                    const void* dataPtr, Size dataSize) {
  return AEPutKeyPtr(theAppleEvent, theAEKeyword, typeCode, dataPtr, dataSize);
}

OSErr AEPutParamDesc(AppleEvent* theAppleEvent, AEKeyword theAEKeyword, const AEDesc* theAEDesc) {
  return AEPutKeyDesc(theAppleEvent, theAEKeyword, theAEDesc);
}

OSErr AEGetParamPtr(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType desiredType,
                    DescType* typeCode, void* dataPtr, Size maximumSize, Size* actualSize) {
  return AEGetKeyPtr(theAppleEvent, theAEKeyword, desiredType, typeCode, dataPtr, maximumSize,
                     actualSize);
}

OSErr AEGetParamDesc(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword,
                     DescType desiredType, AEDesc* result) {
  return AEGetKeyDesc(theAppleEvent, theAEKeyword, desiredType, result);
}

OSErr AESizeOfParam(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType* typeCode,
                    Size* dataSize) {
  return AESizeOfKeyDesc(theAppleEvent, theAEKeyword, typeCode, dataSize);
}

OSErr AEDeleteParam(AppleEvent* theAppleEvent, AEKeyword theAEKeyword) {
  return AEDeleteKeyDesc(theAppleEvent, theAEKeyword);
}

namespace macplatform::ae {

namespace {

bool IsOptional(const EventNode* ev, AEKeyword key) {
  const Item* optk = nullptr;
  for (const Item& a : ev->attributes)
    if (a.key == keyOptionalKeywordAttr) optk = &a;
  if (!optk) return false;
  if (const ListNode* l = AsList(optk->node)) {
    for (const Item& k : l->items) {
      const DataNode* d = AsData(k.node);
      UInt32 code = 0;
      if (d && d->size == 4) std::memcpy(&code, d->bytes(), 4);
      if (d && d->size == 4 && code == key) return true;
    }
    return false;
  }
  const DataNode* d = AsData(optk->node);
  UInt32 code = 0;
  if (d && d->size == 4) std::memcpy(&code, d->bytes(), 4);
  return d && d->size == 4 && code == key;
}

OSErr FixedItem(DescType type, const void* data, size_t size, Item* out) {
  out->type = type;
  out->node = NewData(data, size);
  return out->node ? noErr : memFullErr;
}

}  // namespace

OSErr GetAttributeItem(const EventNode* ev, AEKeyword key, Item* out) {
  switch (key) {
    case keyEventClassAttr:
      return FixedItem(typeType, &ev->eventClass, 4, out);
    case keyEventIDAttr:
      return FixedItem(typeType, &ev->eventID, 4, out);
    case keyReturnIDAttr:
      return FixedItem(typeSInt16, &ev->returnID, 2, out);
    case keyTransactionIDAttr:
      return FixedItem(typeSInt32, &ev->transactionID, 4, out);
    case keyMissedKeywordAttr:
      for (const Item& p : ev->items) {
        if (!p.read && !IsOptional(ev, p.key)) return FixedItem(typeKeyword, &p.key, 4, out);
      }
      return errAEDescNotFound;
    default:
      break;
  }
  for (const Item& a : ev->attributes) {
    if (a.key == key) {
      *out = a;
      Retain(out->node);
      return noErr;
    }
  }
  return errAEDescNotFound;
}

OSErr SetAttributeItem(EventNode* ev, AEKeyword key, const Item& value, bool received) {
  auto fixed = [&](DescType type, void* field, size_t size) -> OSErr {
    Item v;
    OSErr err = CoerceItem(value, type, &v);
    if (err != noErr) return err;
    const DataNode* d = AsData(v.node);
    if (!d || d->size != size) err = errAEWrongDataType;
    if (err == noErr) std::memcpy(field, d->bytes(), size);
    ReleaseItem(v);
    return err;
  };
  switch (key) {
    case keyEventClassAttr:
      return fixed(typeType, &ev->eventClass, 4);
    case keyEventIDAttr:
      return fixed(typeType, &ev->eventID, 4);
    case keyReturnIDAttr:
      return fixed(typeSInt16, &ev->returnID, 2);
    case keyTransactionIDAttr:
      return fixed(typeSInt32, &ev->transactionID, 4);
    case keyMissedKeywordAttr:
      return errAENotModifiable;
    case keyEventSourceAttr:
    case keySenderPIDAttr:
    case keyOriginalAddressAttr:
      if (!received) return errAENotModifiable;
      break;
    default:
      break;
  }
  Item v = value;
  v.key = key;
  Retain(v.node);
  for (Item& a : ev->attributes) {
    if (a.key == key) {
      Release(a.node);
      a = v;
      return noErr;
    }
  }
  ev->attributes.push_back(v);
  return noErr;
}

}  // namespace macplatform::ae

namespace {

const EventNode* EventOf(const AppleEvent* e) { return AsEvent(NodeOf(e)); }

OSErr PutAttribute(AppleEvent* theAppleEvent, AEKeyword key, const Item& value, bool received) {
  if (!EventOf(theAppleEvent)) return errAENotAppleEvent;
  auto* m = static_cast<EventNode*>(MutableList(theAppleEvent));
  if (!m) return memFullErr;
  return SetAttributeItem(m, key, value, received);
}

}  // namespace

OSErr AEGetAttributePtr(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword,
                        DescType desiredType, DescType* typeCode, void* dataPtr, Size maximumSize,
                        Size* actualSize) {
  if (!theAppleEvent) return paramErr;
  const EventNode* ev = EventOf(theAppleEvent);
  if (!ev) return errAENotAppleEvent;
  Item stored;
  OSErr err = GetAttributeItem(ev, theAEKeyword, &stored);
  if (err != noErr) return err;
  err = OutputPtr(stored, desiredType, typeCode, dataPtr, maximumSize, actualSize);
  ReleaseItem(stored);
  return err;
}

OSErr AEGetAttributeDesc(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword,
                         DescType desiredType, AEDesc* result) {
  if (!theAppleEvent || !result) return paramErr;
  const EventNode* ev = EventOf(theAppleEvent);
  if (!ev) return errAENotAppleEvent;
  Item stored;
  OSErr err = GetAttributeItem(ev, theAEKeyword, &stored);
  if (err != noErr) return err;
  err = OutputDesc(stored, desiredType, result);
  ReleaseItem(stored);
  return err;
}

OSErr AEPutAttributePtr(AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType typeCode,
                        const void* dataPtr, Size dataSize) {
  if (!theAppleEvent || dataSize < 0) return paramErr;
  Item it;
  OSErr err = MakeItem(typeCode, dataPtr, size_t(dataSize), &it);
  if (err != noErr) return err;
  err = PutAttribute(theAppleEvent, theAEKeyword, it, false);
  ReleaseItem(it);
  return err;
}

OSErr AEPutAttributeDesc(AppleEvent* theAppleEvent, AEKeyword theAEKeyword,
                         const AEDesc* theAEDesc) {
  if (!theAppleEvent || !theAEDesc) return paramErr;
  Item it = DescToItem(theAEDesc);
  OSErr err = PutAttribute(theAppleEvent, theAEKeyword, it, false);
  ReleaseItem(it);
  return err;
}

OSErr macplatform::ae::SetReceivedAttribute(AppleEvent* event, AEKeyword key, DescType type,
                                             const void* data, Size size) {
  if (!event || size < 0) return paramErr;
  Item it;
  OSErr err = MakeItem(type, data, size_t(size), &it);
  if (err != noErr) return err;
  err = PutAttribute(event, key, it, true);
  ReleaseItem(it);
  return err;
}
