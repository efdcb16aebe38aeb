// LabelDB.h — the label database: the label of each item, kept in its
// Finder flags, and the table of the eight label names and colours.
#pragma once

#include "platform/core/MacTypes.h"
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
