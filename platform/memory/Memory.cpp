// Memory.cpp — handles and pointers on the C heap.
//
// A handle is the address of the first field of a MasterPointer record, so
// `*h` is the block. Pointer blocks carry their size in a header in front of
// the address handed out, so GetPtrSize needs no table.
#include "platform/memory/MacMemory.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

thread_local OSErr tMemError = noErr;
thread_local unsigned tFailAfter = 0;
thread_local unsigned tFailCount = 0;

struct MasterPointer {
  Ptr block;  // must stay the first field: a Handle points here
  Size size;
  SInt8 state;
};

struct PtrHeader {
  Size size;
  Size pad;  // keeps the block 16-byte aligned
};

// Applies the test hook; true when this allocation must fail.
bool ShouldFail() {
  if (tFailCount == 0) return false;
  if (tFailAfter > 0) {
    --tFailAfter;
    return false;
  }
  --tFailCount;
  return true;
}

MasterPointer* Master(Handle h) { return reinterpret_cast<MasterPointer*>(h); }

// Every handle call starts here: a NULL handle is reported, not touched.
bool IsNilHandle(Handle h) {
  if (h != nullptr) return false;
  tMemError = nilHandleErr;
  return true;
}

Handle Allocate(Size byteCount, bool clear) {
  if (byteCount < 0) {
    tMemError = paramErr;
    return nullptr;
  }
  if (ShouldFail()) {
    tMemError = memFullErr;
    return nullptr;
  }
  auto* mp = static_cast<MasterPointer*>(std::malloc(sizeof(MasterPointer)));
  // Always a real block, also for 0 bytes, so *h is never NULL.
  Ptr block = static_cast<Ptr>(clear ? std::calloc(1, byteCount + 1) : std::malloc(byteCount + 1));
  if (mp == nullptr || block == nullptr) {
    std::free(mp);
    std::free(block);
    tMemError = memFullErr;
    return nullptr;
  }
  mp->block = block;
  mp->size = byteCount;
  mp->state = 0;
  tMemError = noErr;
  return reinterpret_cast<Handle>(mp);
}

Ptr AllocatePtr(Size byteCount, bool clear) {
  if (byteCount < 0) {
    tMemError = paramErr;
    return nullptr;
  }
  if (ShouldFail()) {
    tMemError = memFullErr;
    return nullptr;
  }
  size_t total = sizeof(PtrHeader) + static_cast<size_t>(byteCount);
  auto* header = static_cast<PtrHeader*>(clear ? std::calloc(1, total) : std::malloc(total));
  if (header == nullptr) {
    tMemError = memFullErr;
    return nullptr;
  }
  header->size = byteCount;
  tMemError = noErr;
  return reinterpret_cast<Ptr>(header + 1);
}

}  // namespace

OSErr MemError(void) { return tMemError; }

Handle NewHandle(Size byteCount) { return Allocate(byteCount, false); }
Handle NewHandleClear(Size byteCount) { return Allocate(byteCount, true); }

void DisposeHandle(Handle h) {
  if (IsNilHandle(h)) return;
  MasterPointer* mp = Master(h);
  std::free(mp->block);
  std::free(mp);
  tMemError = noErr;
}

Size GetHandleSize(Handle h) {
  if (IsNilHandle(h)) return 0;
  tMemError = noErr;
  return Master(h)->size;
}

void SetHandleSize(Handle h, Size newSize) {
  if (IsNilHandle(h)) return;
  if (newSize < 0) {
    tMemError = paramErr;
    return;
  }
  MasterPointer* mp = Master(h);
  if (newSize > mp->size) {
    // A locked block may not move; growing it in place is all we could do,
    // and realloc does not promise that, so refuse as the Mac did.
    if (mp->state & kHandleLockedMask) {
      tMemError = memLockedErr;
      return;
    }
    if (ShouldFail()) {
      tMemError = memFullErr;
      return;
    }
  }
  Ptr grown = static_cast<Ptr>(std::realloc(mp->block, newSize + 1));
  if (grown == nullptr) {
    tMemError = memFullErr;
    return;
  }
  mp->block = grown;
  mp->size = newSize;
  tMemError = noErr;
}

void HLock(Handle h) {
  if (IsNilHandle(h)) return;
  Master(h)->state |= kHandleLockedMask;
  tMemError = noErr;
}

void HUnlock(Handle h) {
  if (IsNilHandle(h)) return;
  Master(h)->state &= ~kHandleLockedMask;
  tMemError = noErr;
}

SInt8 HGetState(Handle h) {
  if (IsNilHandle(h)) return 0;
  tMemError = noErr;
  return Master(h)->state;
}

void HSetState(Handle h, SInt8 flags) {
  if (IsNilHandle(h)) return;
  Master(h)->state = flags;
  tMemError = noErr;
}

Ptr NewPtr(Size byteCount) { return AllocatePtr(byteCount, false); }
Ptr NewPtrClear(Size byteCount) { return AllocatePtr(byteCount, true); }

void DisposePtr(Ptr p) {
  if (p == nullptr) {
    tMemError = noErr;
    return;
  }
  std::free(reinterpret_cast<PtrHeader*>(p) - 1);
  tMemError = noErr;
}

Size GetPtrSize(Ptr p) {
  if (p == nullptr) {
    tMemError = nilHandleErr;
    return 0;
  }
  tMemError = noErr;
  return (reinterpret_cast<PtrHeader*>(p) - 1)->size;
}

OSErr PtrToHand(const void* data, Handle* h, long byteCount) {
  if (h == nullptr || (data == nullptr && byteCount > 0)) return tMemError = paramErr;
  *h = NewHandle(byteCount);
  if (*h == nullptr) return tMemError;
  if (byteCount > 0) std::memcpy(**h, data, static_cast<size_t>(byteCount));
  return noErr;
}

void MacMemoryFailAllocations(unsigned after, unsigned count) {
  tFailAfter = after;
  tFailCount = count;
}
