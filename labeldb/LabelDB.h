// LabelDB.h — the label database: the label of each item, kept in its
// Finder flags, and the table of the eight label names and colours.
#pragma once

#include "platform/core/MacTypes.h"
#include "platform/corefoundation/CoreFoundation.h"
#include "platform/files/Files.h"

// ---------------------------------------------------------------------------
// Per-file labels (LabelFile.cpp).
//
// A label is 0 (none) to 7, kept in bits 1 to 3 (mask kColor) of the
// finderFlags word, bytes 8-9 of the item's Finder information. Writes keep
// every other bit and byte.

// When true, a label write also sets the item's content modification date to
// now. Initially false; only the label table's load sets it.
extern Boolean gAffectFileModDate;

// No effect; called before label operations.
void TWdb_Initialize(void);

// The item's label, 0 to 7; 0 also when its Finder information cannot be read.
SInt16 TWdb_GetLabel(const FSRef* ref);

// Writes the low three bits of `label`. noErr, or the platform's error. With
// gAffectFileModDate, a date refused with afpAccessDenied is dropped and the
// label is written alone.
OSStatus TWdb_SetLabel(const FSRef* ref, SInt16 label);

// ---------------------------------------------------------------------------
// Label names and colours (LabelTable.cpp).
//
// The eight label names and colours live in the preferences of the
// application "com.tolvane.tintwell" under "LabelNames" (array of strings)
// and "LabelColors" (array of dictionaries with "R", "G" and "B", each a
// 16-bit number stored as kCFNumberSInt16Type, so 65535 is kept as -1). The
// first table operation of a process loads them; when neither key is stored
// the table is seeded from the system's labels and written back. The same
// load refreshes gAffectFileModDate from "AffectFileModDate".
//
// Changes stay in this process until TWdb_Flush, which stores the table and
// posts the distributed notification "com.tolvane.tintwell" with the object
// "reload-label-data"; every process that has the table loaded rebuilds it
// from the preferences when its event loop delivers that notification.
// Everything here is for the main thread.

// A label's colour: the layout of RGBColor, each component 0 to 65535.
typedef struct LabelColor {
  UInt16 red;
  UInt16 green;
  UInt16 blue;
} LabelColor;

// The feature word of the process, initially 0. The bit of value 2 (systems
// from 10.3 on) makes seeding take the modern system labels
// (CopyLabelColorAndName) instead of the classic ones (GetLabel). The agent
// sets it at start; it is defined here so the table needs no agent.
extern UInt32 gTWFeatures;

// The name of label `index`, or NULL outside the table. The table keeps the
// string: the caller does not release it, and it stays valid until the next
// reload (which a return to the event loop may bring) or until the entry is
// replaced.
CFStringRef TWdb_GetLabelName(SInt16 index);

// The table's own colour record of label `index`, or NULL outside the table.
// Valid until the next reload, like a name.
LabelColor* TWdb_GetLabelColor(SInt16 index);

// Replaces the name of label `index`; the table retains `name` and releases
// the old one. An index outside the table, or a name that is not a string,
// changes nothing.
void TWdb_SetLabelName(SInt16 index, CFStringRef name);

// Copies `*color` into the record of label `index`. An index outside the
// table, or a NULL color, changes nothing.
void TWdb_SetLabelColor(SInt16 index, const LabelColor* color);

// Stores the table in the preferences and tells every process to reload it.
void TWdb_Flush(void);

// Discards the table (names and colour records handed out go with it) and
// loads it again from the preferences.
void TWdb_Reload(void);
