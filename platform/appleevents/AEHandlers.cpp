// AEHandlers.cpp — the event handler table and dispatch, the object accessor
// table and AEResolve, object specifiers, and the callback wrappers.
//
// Tables are process-wide and guarded by one mutex each; a handler or an
// accessor is always called with the lock released, so it may install
// handlers or send events to its own process (which dispatches again).
#include <mutex>
#include <new>
#include <optional>

#include "platform/appleevents/AEDispatch.h"
#include "platform/appleevents/AEInternal.h"

using namespace macplatform::ae;

namespace {

template <typename Proc>
struct Entry {
  UInt32 first;   // event class, or desired class
  UInt32 second;  // event ID, or container type
  Proc proc;
  SInt32 refcon;
  bool isSys;
};

// A table keyed by two codes where '****' matches any; the more specific
// entry wins: exact, then (first, '****'), then ('****', second), then
// ('****', '****'); the application's entries before the system's.
template <typename Proc>
class WildTable {
 public:
  OSErr Install(UInt32 a, UInt32 b, Proc proc, SInt32 refcon, bool isSys) {
    if (!proc) return paramErr;
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& e : entries_) {
      if (e.first == a && e.second == b && e.isSys == isSys) {
        e.proc = proc;
        e.refcon = refcon;
        return noErr;
      }
    }
    entries_.push_back(Entry<Proc>{a, b, proc, refcon, isSys});
    return noErr;
  }
  OSErr Remove(UInt32 a, UInt32 b, Proc proc, bool isSys) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
      if (it->first == a && it->second == b && it->isSys == isSys &&
          (!proc || it->proc == proc)) {
        entries_.erase(it);
        return noErr;
      }
    }
    return errAEHandlerNotFound;
  }
  std::optional<Entry<Proc>> Exact(UInt32 a, UInt32 b, bool isSys) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& e : entries_)
      if (e.first == a && e.second == b && e.isSys == isSys) return e;
    return std::nullopt;
  }
  std::optional<Entry<Proc>> Match(UInt32 a, UInt32 b) {
    const UInt32 any = typeWildCard;
    const std::pair<UInt32, UInt32> order[] = {{a, b}, {a, any}, {any, b}, {any, any}};
    std::lock_guard<std::mutex> lock(mutex_);
    for (bool sys : {false, true})
      for (auto [x, y] : order)
        for (auto& e : entries_)
          if (e.isSys == sys && e.first == x && e.second == y) return e;
    return std::nullopt;
  }

 private:
  std::mutex mutex_;
  std::vector<Entry<Proc>> entries_;
};

WildTable<AEEventHandlerUPP>& Handlers() {
  static WildTable<AEEventHandlerUPP> table;
  return table;
}

WildTable<OSLAccessorUPP>& Accessors() {
  static WildTable<OSLAccessorUPP> table;
  return table;
}

// The four-byte code of a specifier field, coerced to `type`.
OSErr CodeField(const ListNode* spec, AEKeyword key, DescType type, DescType* code) {
  const Item* it = FindKey(spec, key);
  if (!it) return errAENotAnObjSpec;
  Item v;
  OSErr err = CoerceItem(*it, type, &v);
  if (err != noErr) return errAENotAnObjSpec;
  const DataNode* d = AsData(v.node);
  if (d && d->size == 4)
    std::memcpy(code, d->bytes(), 4);
  else
    err = errAENotAnObjSpec;
  ReleaseItem(v);
  return err;
}

OSErr Resolve(const Item& spec, int depth, AEDesc* token) {
  if (spec.type == typeNull && !spec.node) {
    SetDesc(token, typeNull, nullptr);
    return noErr;
  }
  if (depth > kMaxDepth) return errAENoSuchObject;
  const ListNode* rec = AsList(spec.node);
  if (spec.type != typeObjectSpecifier || !rec || rec->kind != NodeKind::Record)
    return errAENotAnObjSpec;
  DescType want = 0, form = 0;
  OSErr err = CodeField(rec, keyAEDesiredClass, typeType, &want);
  if (err == noErr) err = CodeField(rec, keyAEKeyForm, typeEnumerated, &form);
  if (err != noErr) return err;
  const Item* from = FindKey(rec, keyAEContainer);
  const Item* seld = FindKey(rec, keyAEKeyData);

  AEDesc container = {typeNull, nullptr};
  if (from) {
    err = Resolve(*from, depth + 1, &container);
    if (err != noErr) return err;
  }
  auto accessor = Accessors().Match(want, container.descriptorType);
  if (!accessor) {
    AEDisposeDesc(&container);
    return errAEAccessorNotFound;
  }
  AEDesc keyData = {typeNull, nullptr};
  if (seld) SetDesc(&keyData, seld->type, seld->node);
  AEDesc value = {typeNull, nullptr};
  err = accessor->proc(want, &container, container.descriptorType, form, &keyData, &value,
                       accessor->refcon);
  AEDisposeDesc(&container);
  if (err != noErr) {
    AEDisposeDesc(&value);
    return err;
  }
  *token = value;
  return noErr;
}

}  // namespace

// ---------------------------------------------------------------------------
// Callback wrappers: a UPP is the function pointer itself.

AEEventHandlerUPP NewAEEventHandlerUPP(AEEventHandlerProcPtr userRoutine) { return userRoutine; }
void DisposeAEEventHandlerUPP(AEEventHandlerUPP) {}
OSErr InvokeAEEventHandlerUPP(const AppleEvent* theAppleEvent, AppleEvent* reply,
                              SInt32 handlerRefcon, AEEventHandlerUPP userUPP) {
  return userUPP(theAppleEvent, reply, handlerRefcon);
}
AEIdleUPP NewAEIdleUPP(AEIdleProcPtr userRoutine) { return userRoutine; }
void DisposeAEIdleUPP(AEIdleUPP) {}
OSLAccessorUPP NewOSLAccessorUPP(OSLAccessorProcPtr userRoutine) { return userRoutine; }
void DisposeOSLAccessorUPP(OSLAccessorUPP) {}
OSErr InvokeOSLAccessorUPP(DescType desiredClass, const AEDesc* container, DescType containerClass,
                           DescType form, const AEDesc* selectionData, AEDesc* value,
                           SInt32 accessorRefcon, OSLAccessorUPP userUPP) {
  return userUPP(desiredClass, container, containerClass, form, selectionData, value,
                 accessorRefcon);
}

// ---------------------------------------------------------------------------
// Event handlers.

OSErr AEInstallEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID,
                            AEEventHandlerUPP handler, SInt32 handlerRefcon,
                            Boolean isSysHandler) {
  OSErr err = Handlers().Install(theAEEventClass, theAEEventID, handler, handlerRefcon,
                                 isSysHandler);
  if (err == noErr) EnsureListening();
  return err;
}

OSErr AERemoveEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID,
                           AEEventHandlerUPP handler, Boolean isSysHandler) {
  return Handlers().Remove(theAEEventClass, theAEEventID, handler, isSysHandler);
}

OSErr AEGetEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID,
                        AEEventHandlerUPP* handler, SInt32* handlerRefcon, Boolean isSysHandler) {
  auto e = Handlers().Exact(theAEEventClass, theAEEventID, isSysHandler);
  if (!e) return errAEHandlerNotFound;
  if (handler) *handler = e->proc;
  if (handlerRefcon) *handlerRefcon = e->refcon;
  return noErr;
}

OSErr macplatform::ae::CreateReplyFor(const AppleEvent* event, AppleEvent* reply) {
  if (!event || !reply) return paramErr;
  const EventNode* ev = AsEvent(NodeOf(event));
  if (!ev) return errAENotAppleEvent;
  OSErr err = AECreateAppleEvent(kCoreEventClass, kAEAnswer, nullptr, 0, ev->transactionID, reply);
  if (err == noErr) static_cast<EventNode*>(NodeOf(reply))->returnID = ev->returnID;
  return err;
}

OSErr macplatform::ae::DispatchAppleEvent(const AppleEvent* event, AppleEvent* reply) {
  if (!event) return paramErr;
  const EventNode* ev = AsEvent(NodeOf(event));
  if (!ev) return errAENotAppleEvent;
  for (const Item& p : ev->items) p.read = false;
  auto entry = Handlers().Match(ev->eventClass, ev->eventID);
  OSErr err = entry ? entry->proc(event, reply, entry->refcon) : OSErr(errAEEventNotHandled);
  if (err != noErr && reply && reply->descriptorType != typeNull) {
    const ListNode* r = AsList(NodeOf(reply));
    if (r && r->kind != NodeKind::List && !FindKey(r, keyErrorNumber)) {
      SInt32 code = err;
      AEPutParamPtr(reply, keyErrorNumber, typeSInt32, &code, sizeof code);
    }
  }
  return err;
}

// ---------------------------------------------------------------------------
// Object specifiers and accessors.

OSErr CreateObjSpecifier(DescType desiredClass, AEDesc* theContainer, DescType keyForm,
                         AEDesc* keyData, Boolean disposeInputs, AEDesc* objSpecifier) {
  if (!keyData || !objSpecifier) return paramErr;
  ListNode* rec = NewList(NodeKind::Record);
  if (!rec) return memFullErr;
  DataNode* want = NewData(&desiredClass, 4);
  DataNode* form = NewData(&keyForm, 4);
  if (!want || !form) {
    Release(want);
    Release(form);
    Release(rec);
    return memFullErr;
  }
  rec->items.reserve(4);
  rec->items.push_back(Item{keyAEDesiredClass, typeType, want});
  if (theContainer)
    rec->items.push_back(DescToItem(theContainer, keyAEContainer));
  else
    rec->items.push_back(Item{keyAEContainer, typeNull, nullptr});
  rec->items.push_back(Item{keyAEKeyForm, typeEnumerated, form});
  rec->items.push_back(DescToItem(keyData, keyAEKeyData));
  if (disposeInputs) {
    if (theContainer) AEDisposeDesc(theContainer);
    AEDisposeDesc(keyData);
  }
  SetDesc(objSpecifier, typeObjectSpecifier, rec);
  return noErr;
}

OSErr AEObjectInit(void) { return noErr; }

OSErr AEInstallObjectAccessor(DescType desiredClass, DescType containerType,
                              OSLAccessorUPP theAccessor, SInt32 accessorRefcon,
                              Boolean isSysHandler) {
  return Accessors().Install(desiredClass, containerType, theAccessor, accessorRefcon,
                             isSysHandler);
}

OSErr AEGetObjectAccessor(DescType desiredClass, DescType containerType,
                          OSLAccessorUPP* accessor, SInt32* accessorRefcon, Boolean isSysHandler) {
  auto e = Accessors().Exact(desiredClass, containerType, isSysHandler);
  if (!e) return errAEAccessorNotFound;
  if (accessor) *accessor = e->proc;
  if (accessorRefcon) *accessorRefcon = e->refcon;
  return noErr;
}

OSErr AERemoveObjectAccessor(DescType desiredClass, DescType containerType,
                             OSLAccessorUPP theAccessor, Boolean isSysHandler) {
  OSErr err = Accessors().Remove(desiredClass, containerType, theAccessor, isSysHandler);
  return err == errAEHandlerNotFound ? OSErr(errAEAccessorNotFound) : err;
}

OSErr AEResolve(const AEDesc* objectSpecifier, SInt16 /*callbackFlags*/, AEDesc* theToken) {
  if (!objectSpecifier || !theToken) return paramErr;
  return Resolve(Item{0, objectSpecifier->descriptorType, NodeOf(objectSpecifier)}, 0, theToken);
}
