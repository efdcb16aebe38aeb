// LabelTable.cpp — the two label tables (built into a shared library).
//
// The library takes the CoreFoundation functions it calls from the program
// that loads it, so that strings it makes belong to the program's own
// CoreFoundation; programs link platform_corefoundation after it.
#include <cstring>

#include "platform/labels/Labels.h"

#define MACPLATFORM_EXPORT __attribute__((visibility("default")))

namespace {

struct LabelEntry {
  const char* name;  // ASCII, so the same bytes in Mac Roman and UTF-8
  RGBColor color;
};

// System 7's labels; the colours are QuickDraw's standard ones where the label
// used one (red, magenta, cyan, blue, green), orange and brown otherwise.
constexpr LabelEntry kClassicLabels[8] = {
    {"None", {0x0000, 0x0000, 0x0000}},
    {"Essential", {0xFF00, 0x6600, 0x0000}},
    {"Hot", {0xDD6B, 0x08C2, 0x06A2}},
    {"In Progress", {0xF2D7, 0x0856, 0x84E6}},
    {"Cool", {0x0241, 0xAB54, 0xEAFF}},
    {"Personal", {0x0000, 0x0000, 0xD400}},
    {"Project 1", {0x0000, 0x8000, 0x11B0}},
    {"Project 2", {0x5600, 0x2C00, 0x0500}},
};

// The Finder's labels since Mac OS X 10.3 (8-bit values widened by 257).
constexpr LabelEntry kModernLabels[8] = {
    {"None", {0x0000, 0x0000, 0x0000}},
    {"Gray", {0xA8A8, 0xA8A8, 0xA8A8}},
    {"Green", {0xB3B3, 0xD9D9, 0x5555}},
    {"Purple", {0xC1C1, 0x8D8D, 0xD8D8}},
    {"Blue", {0x6262, 0xA5A5, 0xF9F9}},
    {"Yellow", {0xF9F9, 0xD6D6, 0x4949}},
    {"Red", {0xFCFC, 0x6565, 0x5959}},
    {"Orange", {0xF7F7, 0xA2A2, 0x4545}},
};

}  // namespace

MACPLATFORM_EXPORT OSErr GetLabel(SInt16 labelNumber, RGBColor* labelColor, Str255 labelString) {
  if (labelNumber < 0 || labelNumber > 7) return paramErr;
  const LabelEntry& entry = kClassicLabels[labelNumber];
  if (labelColor != nullptr) *labelColor = entry.color;
  if (labelString != nullptr) {
    size_t n = std::strlen(entry.name);
    labelString[0] = static_cast<unsigned char>(n);
    std::memcpy(labelString + 1, entry.name, n);
  }
  return noErr;
}

extern "C" MACPLATFORM_EXPORT OSStatus CopyLabelColorAndName(UInt32 label, RGBColor* color,
                                                             CFStringRef* name) {
  if (label > 7) return paramErr;
  const LabelEntry& entry = kModernLabels[label];
  if (color != nullptr) *color = entry.color;
  if (name != nullptr) *name = CFStringCreateWithCString(nullptr, entry.name, kCFStringEncodingUTF8);
  return noErr;
}
