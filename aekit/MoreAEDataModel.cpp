// MoreAEDataModel.cpp — typed access to descriptor data.
//
// Sections:
//   1. Memory helpers.
//   2. Raw data.
//   3. Typed readers.
//   4. CFStrings.
//   5. The missing value and lists.
#include "aekit/MoreAEDataModel.h"

#include <cstring>

#include "aekit/MoreAppleEvents.h"

// ---------------------------------------------------------------------------
// 1. Memory helpers.

OSErr MoreMemError(const void* block) {
  OSErr err = MemError();
  if (err == noErr && block == nullptr) err = memFullErr;
  return err;
}

Boolean MoreBlockCompare(const void* first, const void* second, Size count) {
  const unsigned char* a = static_cast<const unsigned char*>(first);
  const unsigned char* b = static_cast<const unsigned char*>(second);
  for (Size i = 0; i < count; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// 2. Raw data.

OSStatus MoreAECopyDescriptorDataToHandle(const AEDesc* desc, Handle* handle) {
  if (desc == nullptr || handle == nullptr) return paramErr;
  const Size size = AEGetDescDataSize(desc);
  Handle h = NewHandle(size);
  *handle = h;  // the caller's from here on, also when the copy fails
  OSStatus err = MoreMemError(h);
  if (err != noErr) return err;
  HLock(h);
  err = AEGetDescData(desc, *h, size);
  HUnlock(h);
  return err;
}

void MoreAEGetRawDataFromDescriptor(const AEDesc* desc, void* buffer, Size bufferSize,
                                    Size* actualSize) {
  if (actualSize == nullptr) return;
  *actualSize = 0;
  if (desc == nullptr || desc->dataHandle == nullptr) return;
  *actualSize = AEGetDescDataSize(desc);
  const Size copy = *actualSize < bufferSize ? *actualSize : bufferSize;
  if (copy > 0 && buffer != nullptr) (void)AEGetDescData(desc, buffer, copy);
}

// ---------------------------------------------------------------------------
// 3. Typed readers. Each coerces into a descriptor of its own, copies at most
// its room, and reports longer data as a failed coercion.

namespace {

OSStatus ReadFixed(const AEDesc* desc, DescType type, void* value, Size room) {
  AEDesc local;
  MoreAENullDesc(&local);
  OSStatus err = AECoerceDesc(desc, type, &local);
  if (err == noErr) {
    Size size = 0;
    MoreAEGetRawDataFromDescriptor(&local, value, room, &size);
    if (size > room) err = errAECoercionFail;
  }
  MoreAEDisposeDesc(&local);
  return err;
}

}  // namespace

OSStatus MoreAEGetShortFromDescriptor(const AEDesc* desc, SInt16* value) {
  if (desc == nullptr || value == nullptr) return paramErr;
  *value = 0;
  return ReadFixed(desc, typeSInt16, value, sizeof(*value));
}

OSStatus MoreAEGetBooleanFromDescriptor(const AEDesc* desc, Boolean* value) {
  if (desc == nullptr || value == nullptr) return paramErr;
  *value = false;
  return ReadFixed(desc, typeBoolean, value, sizeof(*value));
}

OSStatus MoreAEGetLongFromDescriptor(const AEDesc* desc, SInt32* value) {
  if (desc == nullptr || value == nullptr) return paramErr;
  *value = 0;
  return ReadFixed(desc, typeLongInteger, value, sizeof(*value));
}

OSStatus MoreAEGetOSTypeFromDescriptor(const AEDesc* desc, OSType* value) {
  static_assert(sizeof(OSType) == sizeof(SInt32));
  return MoreAEGetLongFromDescriptor(desc, reinterpret_cast<SInt32*>(value));
}

OSStatus MoreAEGetPStringFromDescriptor(const AEDesc* desc, Str255 value) {
  if (desc == nullptr || value == nullptr) return paramErr;
  AEDesc local;
  MoreAENullDesc(&local);
  OSStatus err = AECoerceDesc(desc, typeChar, &local);
  if (err == noErr) {
    value[0] = 0;
    Size size = 0;
    MoreAEGetRawDataFromDescriptor(&local, &value[1], 255, &size);
    if (size > 255) {
      err = errAECoercionFail;  // the length byte stays 0
    } else {
      value[0] = static_cast<unsigned char>(size);
    }
  }
  MoreAEDisposeDesc(&local);
  return err;
}

// Text longer than 1024 bytes is cut to 1024 with the terminator in the
// buffer's last byte, so the caller always gets a usable string, and the cut
// is reported as errAECoercionFail, like the Pascal-string reader, so that it
// is never taken for the whole text.
OSStatus MoreAEGetCStringFromDescriptor(const AEDesc* desc, char* buffer) {
  if (desc == nullptr || buffer == nullptr) return paramErr;
  constexpr Size kRoom = kMoreAECStringBufferSize - 1;
  AEDesc local;
  MoreAENullDesc(&local);
  OSStatus err = AECoerceDesc(desc, typeChar, &local);
  if (err == noErr) {
    Size size = 0;
    MoreAEGetRawDataFromDescriptor(&local, buffer, kRoom, &size);
    if (size > kRoom) {
      err = errAECoercionFail;
      size = kRoom;
    }
    buffer[size] = '\0';
  }
  MoreAEDisposeDesc(&local);
  return err;
}

// ---------------------------------------------------------------------------
// 4. CFStrings: UTF-16 code units in native byte order, two bytes each.

OSStatus MoreAEGetCFStringFromDescriptor(const AEDesc* desc, CFStringRef* string) {
  if (string == nullptr || desc == nullptr) return paramErr;
  AEDesc local;
  MoreAENullDesc(&local);
  OSStatus err = AECoerceDesc(desc, typeUnicodeText, &local);
  if (err != noErr) return err;
  if (local.descriptorType == typeUnicodeText) {
    const Size size = AEGetDescDataSize(&local);
    Ptr buffer = NewPtr(size);
    err = MemError();
    if (err == noErr && buffer != nullptr) {
      err = AEGetDescData(&local, buffer, size);
      if (err == noErr) {
        *string = CFStringCreateWithCharacters(kCFAllocatorDefault,
                                               reinterpret_cast<const UniChar*>(buffer), size / 2);
      }
    }
    if (buffer != nullptr) DisposePtr(buffer);
  }
  MoreAEDisposeDesc(&local);
  return err;
}

OSStatus MoreAECreateAEDescFromCFString(CFStringRef string, AEDesc* desc) {
  if (string == nullptr || desc == nullptr) return paramErr;
  const CFIndex length = CFStringGetLength(string);
  Ptr buffer = NewPtr(2 * length);
  if (buffer == nullptr) {
    OSStatus err = MemError();
    return err != noErr ? err : memFullErr;
  }
  CFStringGetCharacters(string, CFRangeMake(0, length), reinterpret_cast<UniChar*>(buffer));
  OSStatus err = AECreateDesc(typeUnicodeText, buffer, 2 * length, desc);
  DisposePtr(buffer);
  return err;
}

// ---------------------------------------------------------------------------
// 5. The missing value and lists.

OSStatus MoreAECreateMissingValue(AEDesc* desc) {
  if (desc == nullptr) return paramErr;
  const DescType missing = cMissingValue;
  return AECreateDesc(typeType, &missing, sizeof(missing), desc);
}

Boolean MoreAEIsMissingValue(const AEDesc* desc) {
  if (desc == nullptr || desc->descriptorType != typeType) return false;
  if (AEGetDescDataSize(desc) != sizeof(DescType)) return false;
  DescType value = 0;
  if (AEGetDescData(desc, &value, sizeof(value)) != noErr) return false;
  return value == cMissingValue;
}

OSStatus MoreAEAppendListToList(const AEDescList* source, AEDescList* destination) {
  if (source == nullptr || destination == nullptr) return paramErr;
  long count = 0;
  OSStatus err = AECountItems(source, &count);
  if (err != noErr) return err;
  for (long index = 1; index <= count && err == noErr; ++index) {
    AEDesc item;
    MoreAENullDesc(&item);
    AEKeyword keyword = typeWildCard;  // read and not used: items go in without keywords
    err = AEGetNthDesc(source, index, typeWildCard, &keyword, &item);
    if (err == noErr) err = AEPutDesc(destination, 0, &item);
    MoreAEDisposeDesc(&item);
  }
  return err;
}
