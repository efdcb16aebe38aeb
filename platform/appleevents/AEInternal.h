// AEInternal.h — how descriptors are stored, for the sources of the Apple
// Event Manager only.
//
// A descriptor's dataHandle points at a Node: an immutable, reference-counted
// block shared by every copy. AEDuplicateDesc and putting a descriptor into a
// list only take a reference; a change to a shared node first copies it
// (copy on write), and the copy is shallow: its items keep sharing their own
// nodes. So building, copying and walking lists, records and events costs one
// allocation per node that really changes.
//
//   Data    one block: the node header followed by the bytes.
//   List    ordered items, each with an optional keyword (a record coerced to
//           a list keeps them).
//   Record  keyed items; any descriptor type ('reco', 'obj ', ...).
//   Event   a record (its items are the parameters) plus the attributes.
//
// A NULL node means "no data" (the null descriptor, and descriptors such as a
// bare property code that carry a type only).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "platform/appleevents/AppleEvents.h"

namespace macplatform::ae {

enum class NodeKind : UInt8 { Data, List, Record, Event };

struct Node;

// One element of a list, record or event, and a free-standing value inside
// the manager (type plus owned reference).
struct Item {
  AEKeyword key = 0;
  DescType type = typeNull;
  Node* node = nullptr;       // one reference owned by the item
  mutable bool read = false;  // parameters of events: read since dispatch
};

struct Node {
  std::atomic<UInt32> refs{1};
  NodeKind kind;
  explicit Node(NodeKind k) : kind(k) {}
};

struct DataNode : Node {
  size_t size = 0;
  DataNode() : Node(NodeKind::Data) {}
  UInt8* bytes() { return reinterpret_cast<UInt8*>(this + 1); }
  const UInt8* bytes() const { return reinterpret_cast<const UInt8*>(this + 1); }
};

struct ListNode : Node {
  std::vector<Item> items;
  explicit ListNode(NodeKind k) : Node(k) {}
};

struct EventNode : ListNode {
  AEEventClass eventClass = 0;
  AEEventID eventID = 0;
  AEReturnID returnID = 0;
  AETransactionID transactionID = 0;
  std::vector<Item> attributes;  // everything else: 'addr', 'optk', 'timo', ...
  EventNode() : ListNode(NodeKind::Event) {}
};

// Limits that keep hostile or runaway input from exhausting the stack.
constexpr int kMaxDepth = 64;

// --- References ------------------------------------------------------------
inline Node* Retain(Node* n) {
  if (n) n->refs.fetch_add(1, std::memory_order_relaxed);
  return n;
}
void Release(Node* n);
inline void ReleaseItem(Item& it) {
  Release(it.node);
  it.node = nullptr;
  it.type = typeNull;
}

inline Node* NodeOf(const AEDesc* d) { return reinterpret_cast<Node*>(d->dataHandle); }
inline AEDataStorage StorageOf(Node* n) { return reinterpret_cast<AEDataStorage>(n); }
inline void SetDesc(AEDesc* d, DescType type, Node* n) {
  d->descriptorType = type;
  d->dataHandle = StorageOf(n);
}
// Hands an item's reference over to a descriptor.
inline void ItemToDesc(Item& it, AEDesc* d) {
  SetDesc(d, it.type, it.node);
  it.node = nullptr;
  it.type = typeNull;
}
inline Item DescToItem(const AEDesc* d, AEKeyword key = 0) {
  Item it;
  it.key = key;
  it.type = d->descriptorType;
  it.node = Retain(NodeOf(d));
  return it;
}

inline const DataNode* AsData(const Node* n) {
  return n && n->kind == NodeKind::Data ? static_cast<const DataNode*>(n) : nullptr;
}
inline const ListNode* AsList(const Node* n) {
  return n && n->kind != NodeKind::Data ? static_cast<const ListNode*>(n) : nullptr;
}
inline const EventNode* AsEvent(const Node* n) {
  return n && n->kind == NodeKind::Event ? static_cast<const EventNode*>(n) : nullptr;
}

// A new data node holding a copy of `size` bytes (NULL data gives zeros);
// NULL when memory ran out.
DataNode* NewData(const void* data, size_t size);
ListNode* NewList(NodeKind kind);
// Shallow copy: the items share their nodes.
Node* CloneNode(const Node* n);

// The node of `d`, copied first when another holder shares it, so that it
// may be changed in place.
ListNode* MutableList(AEDesc* d);

// --- Values ------------------------------------------------------------------
// The bytes of an item: a data node's bytes; for a list, record or event the
// flattened form (so that AEGetDescData and AECreateDesc round-trip them).
size_t ItemDataSize(const Item& it);
void CopyItemData(const Item& it, void* dst, size_t max);

// Makes an item of `type` from bytes, as AECreateDesc does: 'list', 'reco'
// and 'aevt' data (and other data in the flattened form of a record) become
// structured nodes; `type` 'null' with no bytes is the null descriptor.
OSErr MakeItem(DescType type, const void* data, size_t size, Item* out);

// Coerces `in` to `to` (the built-in table and the installed handlers).
OSErr CoerceItem(const Item& in, DescType to, Item* out);

// Lists and records: the item with `key`, or NULL.
const Item* FindKey(const ListNode* list, AEKeyword key);

// Events: attributes as items.
OSErr GetAttributeItem(const EventNode* ev, AEKeyword key, Item* out);
OSErr SetAttributeItem(EventNode* ev, AEKeyword key, const Item& value, bool received);

// Wire form (AEFlatten.cpp).
size_t FlattenedSize(const Item& it);
// Writes the flattened form (header included) at `out`, which holds
// FlattenedSize(it) bytes.
void FlattenTo(const Item& it, UInt8* out);
// Reads a flattened form of exactly `size` bytes.
OSErr Unflatten(const UInt8* bytes, size_t size, Item* out);
// True when the bytes begin with the flattened form's magic.
bool LooksFlattened(const UInt8* bytes, size_t size);

// Printing (AEPrint.cpp).
void PrintItem(const Item& it, std::string* out);

// Text conversions (AECoercion.cpp), for printing.
bool MacRomanToUTF8(const UInt8* bytes, size_t size, std::string* out);
bool UTF8ToMacRoman(const UInt8* bytes, size_t size, std::string* out);

// Big-endian helpers for codes and wire fields.
inline void PutBE32(UInt8* p, UInt32 v) {
  p[0] = UInt8(v >> 24);
  p[1] = UInt8(v >> 16);
  p[2] = UInt8(v >> 8);
  p[3] = UInt8(v);
}
inline UInt32 GetBE32(const UInt8* p) {
  return (UInt32(p[0]) << 24) | (UInt32(p[1]) << 16) | (UInt32(p[2]) << 8) | UInt32(p[3]);
}

}  // namespace macplatform::ae
