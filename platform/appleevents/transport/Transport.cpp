// Transport.cpp — Apple events between processes (placeholder until the
// socket transport lands): events to other processes are not sent yet.
#include "platform/appleevents/AEDispatch.h"
#include "platform/appleevents/AppleEvents.h"

namespace macplatform::ae {
void EnsureListening() {}
}  // namespace macplatform::ae

OSErr AESend(const AppleEvent*, AppleEvent*, AESendMode, AESendPriority, SInt32, AEIdleUPP,
             AEFilterUPP) {
  return unimpErr;
}
