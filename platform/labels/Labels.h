// Labels.h — the system's Finder labels: their names and colours.
//
// Two generations, as on the Mac: GetLabel answers with the classic System 7
// labels (names as Pascal strings); CopyLabelColorAndName, the function the
// Finder of Mac OS X 10.3 and later exported, answers with the modern ones.
// Both live in the shared library libmacplatform_labels.so, from which
// CopyLabelColorAndName is exported with C linkage so that a program can
// find it at run time (NSLookupAndBindSymbol("_CopyLabelColorAndName")).
// The values are listed in docs/platform.md, section "Labels".
#pragma once

#include "platform/core/MacTypes.h"
#include "platform/corefoundation/CoreFoundation.h"

// Colour and name of classic label `labelNumber` (0 to 7; 0 is "None",
// black). `labelColor` and `labelString` may each be NULL. paramErr for a
// number outside 0 to 7, leaving both outputs untouched.
OSErr GetLabel(SInt16 labelNumber, RGBColor* labelColor, Str255 labelString);

extern "C" {
// Colour and name of modern label `label` (0 None, 1 Gray, 2 Green, 3 Purple,
// 4 Blue, 5 Yellow, 6 Red, 7 Orange). `*name` receives a new string that the
// caller releases. `color` and `name` may each be NULL. paramErr for a label
// above 7, leaving both outputs untouched.
OSStatus CopyLabelColorAndName(UInt32 label, RGBColor* color, CFStringRef* name);
}
