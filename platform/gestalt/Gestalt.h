// Gestalt.h — the Gestalt Manager: facts about the system, by selector.
//
// Defaults describe a Mac OS X 10.4 system with Apple events and a Finder
// that supports them. Tests set or remove any selector with the
// New/Replace/Delete calls.
#pragma once

#include "platform/core/MacTypes.h"

enum {
  gestaltSystemVersion = 'sysv',
  gestaltFinderAttr = 'fndr',
  gestaltAppleEventsAttr = 'evnt',
  gestaltAppleEventsPresent = 0,
  gestaltOSAttr = 'os  ',
  gestaltFinderDropEvent = 0,
  gestaltFinderMagicPlacement = 1,
  gestaltFinderCallsAEProcess = 2,
  gestaltOSLCompliantFinder = 3,
  gestaltFinderSupports4GBVolumes = 4,
  gestaltFinderHasClippings = 6,
};

// The value the system reports for gestaltSystemVersion (10.4.11).
enum { kMacPlatformSystemVersion = 0x104B };

OSErr Gestalt(OSType selector, SInt32* response);
OSErr NewGestaltValue(OSType selector, SInt32 value);
OSErr ReplaceGestaltValue(OSType selector, SInt32 value);
OSErr DeleteGestaltValue(OSType selector);
