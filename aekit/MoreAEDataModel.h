// MoreAEDataModel.h — typed access to descriptor data: a handle copy of a
// descriptor's bytes, integers, Booleans, four-character codes, text as a
// Pascal or zero-terminated string, Unicode text as a CFString and back, the
// missing value, appending one list to another; and two memory helpers.
//
// Descriptors a function makes for its own use (a coerced copy, a list item)
// are disposed before it returns. What it makes for the caller (a handle, a
// CFString, a descriptor) is the caller's. Results are OSErr values; 0 is
// success. Data longer than a reader's fixed room gives errAECoercionFail
// (-1700) with a truncated copy.
#pragma once

#include "platform/appleevents/AppleEvents.h"
#include "platform/corefoundation/CoreFoundation.h"
#include "platform/memory/MacMemory.h"

// Room of MoreAEGetCStringFromDescriptor's buffer: 1024 bytes of text and a
// terminator.
enum { kMoreAECStringBufferSize = 1025 };

// ---------------------------------------------------------------------------
// Memory helpers.

// MemError(), or memFullErr when that is 0 but `block` (a Handle or Ptr) is
// NULL.
OSErr MoreMemError(const void* block);

// True when the first `count` bytes of both blocks are equal (as unsigned
// bytes); a count of 0 gives true.
Boolean MoreBlockCompare(const void* first, const void* second, Size count);

// ---------------------------------------------------------------------------
// Raw data.

// A new handle holding a copy of the descriptor's data, stored in `*handle`
// at once (NULL when the allocation failed). The handle is the caller's on
// every path on which it was allocated, also when the copy failed; the
// caller disposes of it with DisposeHandle.
OSStatus MoreAECopyDescriptorDataToHandle(const AEDesc* desc, Handle* handle);

// Copies at most `bufferSize` bytes of the data and sets `*actualSize` to
// the full size (0 for a descriptor without data). Reports no failure:
// callers tell a truncated copy by an actual size larger than the buffer.
void MoreAEGetRawDataFromDescriptor(const AEDesc* desc, void* buffer, Size bufferSize,
                                    Size* actualSize);

// ---------------------------------------------------------------------------
// Typed readers: coerce, then copy. Integer and Boolean outputs are cleared
// first and stay cleared when the coercion fails.

OSStatus MoreAEGetShortFromDescriptor(const AEDesc* desc, SInt16* value);
OSStatus MoreAEGetBooleanFromDescriptor(const AEDesc* desc, Boolean* value);
OSStatus MoreAEGetLongFromDescriptor(const AEDesc* desc, SInt32* value);
// Read as a 'long': the same as MoreAEGetLongFromDescriptor.
OSStatus MoreAEGetOSTypeFromDescriptor(const AEDesc* desc, OSType* value);

// Text ('TEXT') as a Pascal string. Once the coercion succeeded the length
// byte is 0 until the text is known to fit; more than 255 bytes: -1700,
// length byte 0, the first 255 bytes in place.
OSStatus MoreAEGetPStringFromDescriptor(const AEDesc* desc, Str255 value);

// Text ('TEXT') as a zero-terminated string in a buffer of
// kMoreAECStringBufferSize (1025) bytes. More than 1024 bytes: the first 1024
// are copied, the terminator goes into byte 1024, and the result is -1700.
// A failed coercion leaves the buffer as it was.
OSStatus MoreAEGetCStringFromDescriptor(const AEDesc* desc, char* buffer);

// ---------------------------------------------------------------------------
// Unicode text and CFStrings, only through 'utxt'.

// A new CFString of the descriptor coerced to 'utxt' (an odd trailing byte
// is dropped), released by the caller. NULL out pointer: paramErr.
OSStatus MoreAEGetCFStringFromDescriptor(const AEDesc* desc, CFStringRef* string);

// A new 'utxt' descriptor of the string's UTF-16 code units. NULL string or
// descriptor: paramErr.
OSStatus MoreAECreateAEDescFromCFString(CFStringRef string, AEDesc* desc);

// ---------------------------------------------------------------------------
// The missing value ('type' holding 'msng') and lists.

OSStatus MoreAECreateMissingValue(AEDesc* desc);
Boolean MoreAEIsMissingValue(const AEDesc* desc);

// Appends every item of `source` (without keywords) to `destination`. Stops
// at the first failure, leaving the items appended so far.
OSStatus MoreAEAppendListToList(const AEDescList* source, AEDescList* destination);
