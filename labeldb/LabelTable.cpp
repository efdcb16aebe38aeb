// LabelTable.cpp — the table of the eight label names and colours, kept in
// the preferences of "com.tolvane.tintwell" and shared between processes.
//
// Sections:
//   - process-wide state
//   - reading stored values (what the preferences may hold is checked here)
//   - the system's labels (seeding)
//   - load, initialise, flush, reload, the reload observer
//   - getters and setters
#include <stdint.h>
#include <stdlib.h>

#include "labeldb/LabelTableInternal.h"
#include "platform/dyld/MachOSymbols.h"
#include "platform/labels/Labels.h"
#include "platform/preferences/CFPreferences.h"

static_assert(sizeof(LabelColor) == 6, "LabelColor is three 16-bit components");
static_assert(sizeof(LabelColor) == sizeof(RGBColor), "LabelColor has RGBColor's layout");

// ---------------------------------------------------------------------------
// Process-wide state. The table is NULL until the first operation loads it.

UInt32 gTWFeatures = 0;

CFMutableArrayRef gLabelNames = NULL;
CFMutableArrayRef gLabelColors = NULL;
Boolean gReloadObserverAdded = false;
CopyLabelColorAndNameProcPtr gCopyLabelColorAndName = NULL;
UInt32 gLabelTableLoads = 0;

#define kTWdbApplicationID CFSTR("com.tolvane.tintwell")
#define kTWdbLabelNamesKey CFSTR("LabelNames")
#define kTWdbLabelColorsKey CFSTR("LabelColors")
#define kTWdbAffectFileModDateKey CFSTR("AffectFileModDate")
#define kTWdbReloadObject CFSTR("reload-label-data")

namespace {

enum {
  kTWdbLabelCount = 8,
  // Bit of gTWFeatures: the system has the modern labels (10.3 and later).
  kTWdbFeatureModernLabels = 2,
};

// The observer's identity: any constant works, as it is never removed.
const void* const kTWdbReloadObserver = reinterpret_cast<const void*>(0x12345678);

// ---------------------------------------------------------------------------
// Reading stored values. The preferences are a file any program of the user
// can write, so every value is checked for its type before use: a wrong type
// reads as if the key or element were absent.

Boolean TWdb_i_IsA(CFTypeRef value, CFTypeID type) {
  return value != NULL && CFGetTypeID(value) == type;
}

// One component of a stored colour. The component is written as a signed
// 16-bit number, so its 16 bits may come back from -32768 to 32767; a value
// written by hand as 0 to 65535 means the same 16 bits and is taken too.
// Anything else (absent, not a number, a fraction, out of 16 bits) is false.
Boolean TWdb_i_GetComponent(CFDictionaryRef entry, CFStringRef key, UInt16* component) {
  CFTypeRef value = CFDictionaryGetValue(entry, key);
  if (!TWdb_i_IsA(value, CFNumberGetTypeID())) return false;
  SInt64 wide = 0;
  if (!CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberSInt64Type, &wide)) return false;
  if (wide < INT16_MIN || wide > UINT16_MAX) return false;
  *component = static_cast<UInt16>(wide);
  return true;
}

// A colour record for the table, or NULL when the entry is not a dictionary
// with all three components.
LabelColor* TWdb_i_NewColorFromEntry(CFTypeRef entry) {
  if (!TWdb_i_IsA(entry, CFDictionaryGetTypeID())) return NULL;
  CFDictionaryRef dict = static_cast<CFDictionaryRef>(entry);
  LabelColor color;
  if (!TWdb_i_GetComponent(dict, CFSTR("R"), &color.red) ||
      !TWdb_i_GetComponent(dict, CFSTR("G"), &color.green) ||
      !TWdb_i_GetComponent(dict, CFSTR("B"), &color.blue))
    return NULL;
  LabelColor* record = static_cast<LabelColor*>(malloc(sizeof(LabelColor)));
  if (record != NULL) *record = color;
  return record;
}

// The stored names as the table: every string of the stored array, in
// order; anything that is not a string is left out.
CFMutableArrayRef TWdb_i_NamesFromStored(CFTypeRef stored) {
  if (!TWdb_i_IsA(stored, CFArrayGetTypeID())) return NULL;
  CFMutableArrayRef names = CFArrayCreateMutableCopy(kCFAllocatorDefault, 0, static_cast<CFArrayRef>(stored));
  if (names == NULL) return NULL;
  for (CFIndex i = CFArrayGetCount(names) - 1; i >= 0; --i) {
    if (!TWdb_i_IsA(CFArrayGetValueAtIndex(names, i), CFStringGetTypeID()))
      CFArrayRemoveValueAtIndex(names, i);
  }
  return names;
}

// The stored colours as the table: one record per complete entry, in order.
// An entry without all three components is dropped, so the ones after it
// answer for one label number lower.
CFMutableArrayRef TWdb_i_ColorsFromStored(CFTypeRef stored) {
  if (!TWdb_i_IsA(stored, CFArrayGetTypeID())) return NULL;
  CFArrayRef entries = static_cast<CFArrayRef>(stored);
  CFMutableArrayRef colors = CFArrayCreateMutable(kCFAllocatorDefault, 0, NULL);
  if (colors == NULL) return NULL;
  CFIndex count = CFArrayGetCount(entries);
  for (CFIndex i = 0; i < count; ++i) {
    LabelColor* record = TWdb_i_NewColorFromEntry(CFArrayGetValueAtIndex(entries, i));
    if (record != NULL) CFArrayAppendValue(colors, record);
  }
  return colors;
}

CFNumberRef TWdb_i_NewComponent(UInt16 component) {
  SInt16 bits = static_cast<SInt16>(component);  // 65535 is stored as -1
  return CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt16Type, &bits);
}

// ---------------------------------------------------------------------------
// The system's labels, from which a first load seeds the table.

// Colour and name of system label `label`. `*color` is left as the caller
// set it when the system gives no colour; `*name` stays NULL when it gives
// no name, else receives a string the caller releases.
void TWdb_i_GetSystemLabel(SInt16 label, RGBColor* color, CFStringRef* name) {
  if (gTWFeatures & kTWdbFeatureModernLabels) {
    if (gCopyLabelColorAndName == NULL) {
      gCopyLabelColorAndName = reinterpret_cast<CopyLabelColorAndNameProcPtr>(
          NSAddressOfSymbol(NSLookupAndBindSymbol("_CopyLabelColorAndName")));
    }
    if (gCopyLabelColorAndName != NULL)
      (void)gCopyLabelColorAndName(static_cast<UInt32>(label), color, name);
  } else {
    Str255 pascalName;
    pascalName[0] = 0;
    (void)GetLabel(label, color, pascalName);
    *name = CFStringCreateWithPascalString(kCFAllocatorDefault, pascalName, kCFStringEncodingMacRoman);
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Load, initialise, flush, reload.

void TWdb_i_Discard(void) {
  if (gLabelNames != NULL) {
    CFRelease(gLabelNames);
    gLabelNames = NULL;
  }
  if (gLabelColors != NULL) {
    while (CFArrayGetCount(gLabelColors) > 0) {
      free(const_cast<void*>(CFArrayGetValueAtIndex(gLabelColors, 0)));
      CFArrayRemoveValueAtIndex(gLabelColors, 0);
    }
    CFRelease(gLabelColors);
    gLabelColors = NULL;
  }
}

void TWdb_i_Load(void) {
  TWdb_i_Discard();  // a load replaces whatever table there was
  ++gLabelTableLoads;

  (void)CFPreferencesAppSynchronize(kTWdbApplicationID);
  gAffectFileModDate = CFPreferencesGetAppBooleanValue(kTWdbAffectFileModDateKey, kTWdbApplicationID, NULL);

  CFPropertyListRef stored = CFPreferencesCopyAppValue(kTWdbLabelNamesKey, kTWdbApplicationID);
  if (stored != NULL) {
    gLabelNames = TWdb_i_NamesFromStored(stored);
    CFRelease(stored);
  }

  stored = CFPreferencesCopyAppValue(kTWdbLabelColorsKey, kTWdbApplicationID);
  if (stored != NULL) {
    gLabelColors = TWdb_i_ColorsFromStored(stored);
    CFRelease(stored);
  }
}

void TWdb_i_Initialize(void) {
  TWdb_i_Load();
  TWdb_Initialize();

  if (!gReloadObserverAdded) {
    CFNotificationCenterAddObserver(CFNotificationCenterGetDistributedCenter(), kTWdbReloadObserver,
                                    TWdb_i_NotifyCallback, kTWdbApplicationID, kTWdbReloadObject,
                                    kCFNotificationSuspensionBehaviorDeliverImmediately);
    gReloadObserverAdded = true;
  }

  // A stored table is used as it is: the system is not consulted and
  // nothing is written.
  if (gLabelColors != NULL && gLabelNames != NULL) return;

  // Seed only what is missing: a stored half keeps its entries and order.
  Boolean seedNames = gLabelNames == NULL;
  Boolean seedColors = gLabelColors == NULL;
  if (seedColors) gLabelColors = CFArrayCreateMutable(kCFAllocatorDefault, 0, NULL);
  if (seedNames) gLabelNames = CFArrayCreateMutable(kCFAllocatorDefault, 0, &kCFTypeArrayCallBacks);

  for (SInt16 label = 0; label < kTWdbLabelCount; ++label) {
    // Black when the system gives no colour (its function is missing).
    RGBColor color = {0, 0, 0};
    CFStringRef name = NULL;
    TWdb_i_GetSystemLabel(label, &color, &name);
    if (name != NULL) {
      if (seedNames) CFArrayAppendValue(gLabelNames, name);
      CFRelease(name);
    }
    if (seedColors) {
      // A record for every label number, so colours keep their indices.
      LabelColor* record = static_cast<LabelColor*>(malloc(sizeof(LabelColor)));
      if (record != NULL) {
        record->red = color.red;
        record->green = color.green;
        record->blue = color.blue;
      }
      CFArrayAppendValue(gLabelColors, record);
    }
  }

  TWdb_i_Flush();
}

void TWdb_i_Flush(void) {
  if (gLabelNames == NULL || gLabelColors == NULL) return;

  (void)CFPreferencesAppSynchronize(kTWdbApplicationID);
  CFPreferencesSetAppValue(kTWdbLabelNamesKey, gLabelNames, kTWdbApplicationID);

  // Colours 0 to 7 only; a label without a colour is left out.
  CFMutableArrayRef stored = CFArrayCreateMutable(kCFAllocatorDefault, 0, &kCFTypeArrayCallBacks);
  if (stored == NULL) return;
  for (SInt16 label = 0; label < kTWdbLabelCount; ++label) {
    const LabelColor* color = TWdb_GetLabelColor(label);
    if (color == NULL) continue;
    CFMutableDictionaryRef entry = CFDictionaryCreateMutable(
        kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    if (entry == NULL) continue;
    const struct {
      CFStringRef key;
      UInt16 value;
    } components[] = {{CFSTR("R"), color->red}, {CFSTR("G"), color->green}, {CFSTR("B"), color->blue}};
    for (const auto& component : components) {
      CFNumberRef number = TWdb_i_NewComponent(component.value);
      if (number == NULL) continue;
      CFDictionarySetValue(entry, component.key, number);
      CFRelease(number);
    }
    CFArrayAppendValue(stored, entry);
    CFRelease(entry);
  }
  CFPreferencesSetAppValue(kTWdbLabelColorsKey, stored, kTWdbApplicationID);
  CFRelease(stored);
  (void)CFPreferencesAppSynchronize(kTWdbApplicationID);
}

void TWdb_Flush(void) {
  TWdb_i_Flush();
  CFNotificationCenterPostNotification(CFNotificationCenterGetDistributedCenter(), kTWdbApplicationID,
                                       kTWdbReloadObject, NULL, true);
}

void TWdb_Reload(void) {
  TWdb_i_Discard();
  TWdb_i_Initialize();
}

void TWdb_i_NotifyCallback(CFNotificationCenterRef, void*, CFStringRef, const void*, CFDictionaryRef) {
  TWdb_Reload();
}

// ---------------------------------------------------------------------------
// Getters and setters: each loads the table first if its array is missing.

CFStringRef TWdb_GetLabelName(SInt16 index) {
  if (gLabelNames == NULL) TWdb_i_Initialize();
  if (gLabelNames == NULL || index < 0 || index >= CFArrayGetCount(gLabelNames)) return NULL;
  return static_cast<CFStringRef>(CFArrayGetValueAtIndex(gLabelNames, index));
}

LabelColor* TWdb_GetLabelColor(SInt16 index) {
  if (gLabelColors == NULL) TWdb_i_Initialize();
  if (gLabelColors == NULL || index < 0 || index >= CFArrayGetCount(gLabelColors)) return NULL;
  return static_cast<LabelColor*>(const_cast<void*>(CFArrayGetValueAtIndex(gLabelColors, index)));
}

void TWdb_SetLabelName(SInt16 index, CFStringRef name) {
  if (gLabelNames == NULL) TWdb_i_Initialize();
  // Callers pass label values the table holds; anything else is ignored
  // rather than written past the table, and only strings can be stored.
  if (gLabelNames == NULL || index < 0 || index >= CFArrayGetCount(gLabelNames)) return;
  if (!TWdb_i_IsA(name, CFStringGetTypeID())) return;
  CFArraySetValueAtIndex(gLabelNames, index, name);  // retains the new, releases the old
}

void TWdb_SetLabelColor(SInt16 index, const LabelColor* color) {
  if (gLabelColors == NULL) TWdb_i_Initialize();
  if (color == NULL) return;
  LabelColor* record = TWdb_GetLabelColor(index);
  if (record == NULL) return;  // outside the table, or a record that could not be made
  record->red = color->red;
  record->green = color->green;
  record->blue = color->blue;
}
