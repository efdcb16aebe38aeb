// MacMemory.h — the Memory Manager: handles and pointers.
//
// A Handle points to a master pointer that points to the block, so a block
// can move (SetHandleSize) while every holder of the handle still finds it.
// MemError() reports the calling thread's last Memory Manager result.
#pragma once

#include "platform/core/MacTypes.h"

// Bits of the handle state byte (HGetState/HSetState).
enum {
  kHandleIsResourceBit = 5,
  kHandlePurgeableBit = 6,
  kHandleLockedBit = 7,
  kHandleLockedMask = 0x80,
  kHandlePurgeableMask = 0x40,
  kHandleIsResourceMask = 0x20,
};

OSErr MemError(void);

Handle NewHandle(Size byteCount);
Handle NewHandleClear(Size byteCount);
void DisposeHandle(Handle h);
Size GetHandleSize(Handle h);
void SetHandleSize(Handle h, Size newSize);
void HLock(Handle h);
void HUnlock(Handle h);
SInt8 HGetState(Handle h);
void HSetState(Handle h, SInt8 flags);

Ptr NewPtr(Size byteCount);
Ptr NewPtrClear(Size byteCount);
void DisposePtr(Ptr p);
Size GetPtrSize(Ptr p);

// Makes a new handle holding a copy of `byteCount` bytes at `data`.
OSErr PtrToHand(const void* data, Handle* h, long byteCount);

// Test hook: the next `count` allocations of this thread (NewHandle, NewPtr,
// SetHandleSize growth) fail with memFullErr after `after` successful ones.
void MacMemoryFailAllocations(unsigned after, unsigned count);
