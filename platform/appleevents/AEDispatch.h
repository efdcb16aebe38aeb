// AEDispatch.h — the seam between the Apple Event Manager's data model and
// its transport.
//
// Internal to platform/. The transport (AESend, the listening socket) hands
// every event that arrives, or that is addressed to this process itself, to
// DispatchAppleEvent; the data model owns the handler table.
#pragma once

#include "platform/appleevents/AppleEvents.h"

namespace macplatform::ae {

// Makes the reply record for `event`: an Apple event of class 'aevt', ID
// 'ansr', with the event's return ID and transaction ID, no address.
OSErr CreateReplyFor(const AppleEvent* event, AppleEvent* reply);

// Calls the installed handler of the event's class and ID ('****' matches
// any, the more specific entry wins) with its reference constant. Before the
// call the event's parameters are all marked unread (for 'miss'). When the
// handler returns nonzero and `reply` is not the null descriptor, the code
// is put into the reply under 'errn' (unless the handler put one itself).
// No handler: errAEEventNotHandled, also put under 'errn'. Returns the
// handler's result.
OSErr DispatchAppleEvent(const AppleEvent* event, AppleEvent* reply);

// Sets an attribute that AEPutAttributePtr refuses to callers (the sender's
// address 'addr' on receipt, for instance).
OSErr SetReceivedAttribute(AppleEvent* event, AEKeyword key, DescType type, const void* data,
                           Size size);

// Starts listening for events from other processes (idempotent; the
// transport's; called when a handler is installed).
void EnsureListening();

}  // namespace macplatform::ae
