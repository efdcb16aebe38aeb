// TWHelper.h — twhelper, the label agent: its command line and two modes,
// the conversion of the Finder selection into file references, and the
// selection snapshot it publishes in server mode.
#pragma once

#include "platform/appleevents/AppleEvents.h"
#include "platform/eventloop/CarbonEvents.h"
#include "platform/files/Files.h"
#include "platform/processes/Processes.h"

// ---------------------------------------------------------------------------
// Command line and modes (TWHelper.cpp).

// The Finder's process, found once at server start and compared with the
// front process on every tick.
extern ProcessSerialNumber gFinderPSN;

// Installs QuitEventHandler for 'aevt'/'quit'; returns the installation's result.
OSErr twInitAppleEvents(void);

// The quit handler: with reference constant 'quit' it prints the quit message
// on standard error and ends the event loop. Never writes into the reply.
OSErr QuitEventHandler(const AppleEvent* event, AppleEvent* reply, SInt32 refcon);

// The quit handler's own parameter check: 0 whether or not every parameter
// was read; errAEEventNotHandled when the check itself fails.
OSErr CheckRequiredParams(const AppleEvent* event);

// Runs the agent's event loop for a millisecond while a Finder request waits
// for its reply; asks to be called again after 30 ticks; never cancels.
Boolean SelectionIdleProc(EventRecord* event, SInt32* sleepTime, RgnHandle* mouseRgn);

// ---------------------------------------------------------------------------
// Selection resolution (SelectionResolution.cpp).

// Turns the Finder selection into a heap array of FSRef records, last list
// item first, and stores the count. NULL and 0 when no item resolved. The
// caller frees the array with free and keeps the selection.
FSRef* GetFSObjects(const AEDesc* selection, UInt32* count);

// ---------------------------------------------------------------------------
// Selection snapshot publisher (SnapshotPublisher.cpp).

// The 36-byte record of the named scrap "com.tolvane.tintwell", flavor
// 'xyu!': nine 32-bit words in the machine's native byte order, each 0 or 1.
struct SelectionSnapshot {
  UInt32 labelPresent[8];  // a resolved item has this label (0 also: unreadable)
  UInt32 writable;         // a resolved item accepted a write of its Finder information
};
static_assert(sizeof(SelectionSnapshot) == 36, "the snapshot is 36 bytes");

// The timer callback: publishes a snapshot while the Finder is in front, then
// re-arms the one-shot timer for 1.0 s later.
void EventTimer(EventLoopTimerRef timer, void* userData);

// Builds the snapshot and publishes it, or clears the scrap when no item
// resolved. Returns the result of the last scrap operation.
OSStatus write_selection(void);

// True when the item's Finder information can be read and written back.
Boolean HavePermissionsForFSRef(const FSRef* ref);
