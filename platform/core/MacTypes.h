// MacTypes.h — the basic types of the Mac API as this platform layer speaks it.
//
// Four-character codes are written as multi-character literals ('core' ==
// 0x636F7265); the build silences -Wmultichar once for the whole tree.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/core/MacErrors.h"

typedef uint8_t UInt8;
typedef int8_t SInt8;
typedef uint16_t UInt16;
typedef int16_t SInt16;
typedef uint32_t UInt32;
typedef int32_t SInt32;
typedef uint64_t UInt64;
typedef int64_t SInt64;
typedef float Float32;
typedef double Float64;

typedef unsigned char Boolean;

typedef SInt16 OSErr;
typedef SInt32 OSStatus;

typedef UInt32 FourCharCode;
typedef FourCharCode OSType;
typedef FourCharCode ResType;

typedef char* Ptr;
typedef Ptr* Handle;
typedef long Size;
typedef UInt32 ByteCount;
typedef UInt32 ItemCount;
typedef UInt16 UniChar;
typedef UInt32 UniCharCount;
typedef SInt8 SignedByte;
typedef UInt8 Byte;

typedef unsigned char Str255[256];
typedef unsigned char Str63[64];
typedef unsigned char Str31[32];
typedef unsigned char Str27[28];
typedef unsigned char* StringPtr;
typedef const unsigned char* ConstStringPtr;
typedef const unsigned char* ConstStr255Param;
typedef const unsigned char* ConstStr63Param;
typedef const unsigned char* ConstStr31Param;

struct Point {
  SInt16 v;
  SInt16 h;
};

struct Rect {
  SInt16 top;
  SInt16 left;
  SInt16 bottom;
  SInt16 right;
};

struct RGBColor {
  UInt16 red;
  UInt16 green;
  UInt16 blue;
};

// Time in seconds, as the Carbon event loop counts it.
typedef Float64 EventTime;
typedef EventTime EventTimeout;
typedef EventTime EventTimerInterval;
#define kEventDurationSecond ((EventTime)1.0)
#define kEventDurationMillisecond ((EventTime)(kEventDurationSecond / 1000))
#define kEventDurationNoWait ((EventTime)0.0)
#define kEventDurationForever ((EventTime)(-1.0))

// Classic event record, handed to idle procedures; nothing here fills it.
struct EventRecord {
  UInt16 what;
  UInt32 message;
  UInt32 when;
  Point where;
  UInt16 modifiers;
};

// Regions exist only as an opaque handle type for the idle procedure's mouse
// region, which callers always set to NULL.
struct OpaqueRgnHandle;
typedef struct OpaqueRgnHandle** RgnHandle;

// Builds a four-character code from a string of at least four bytes.
constexpr FourCharCode MacFourCC(const char* s) {
  return (FourCharCode(UInt8(s[0])) << 24) | (FourCharCode(UInt8(s[1])) << 16) |
         (FourCharCode(UInt8(s[2])) << 8) | FourCharCode(UInt8(s[3]));
}
