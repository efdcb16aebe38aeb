// LabelTableInternal.h — the label table's process-wide state and internal
// steps, for LabelTable.cpp and its tests.
#pragma once

#include "labeldb/LabelDB.h"
#include "platform/notifications/CFNotificationCenter.h"

// The system function "_CopyLabelColorAndName", found at run time.
typedef OSStatus (*CopyLabelColorAndNameProcPtr)(UInt32 label, RGBColor* color, CFStringRef* name);

// The table: NULL until loaded; both exist after any initialisation.
// gLabelNames retains its strings; gLabelColors holds raw pointers to 6-byte
// LabelColor blocks on the C heap that the table owns.
extern CFMutableArrayRef gLabelNames;
extern CFMutableArrayRef gLabelColors;
// The reload observer is registered (once per process, never removed).
extern Boolean gReloadObserverAdded;
// The system function once found; NULL until then.
extern CopyLabelColorAndNameProcPtr gCopyLabelColorAndName;
// How many times this process has read the table from the preferences, so
// that tests can tell how many reloads a notification caused.
extern UInt32 gLabelTableLoads;

// Loads, registers the reload observer, seeds what is missing.
void TWdb_i_Initialize(void);
// Reads "AffectFileModDate", "LabelNames" and "LabelColors".
void TWdb_i_Load(void);
// Writes "LabelNames" and "LabelColors" (colours 0 to 7).
void TWdb_i_Flush(void);
// Releases both arrays, the colour records and the names, leaving both NULL.
void TWdb_i_Discard(void);
// The reload observer's callback: ignores its arguments and reloads.
void TWdb_i_NotifyCallback(CFNotificationCenterRef center, void* observer, CFStringRef name,
                           const void* object, CFDictionaryRef userInfo);
