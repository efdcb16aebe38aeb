// Quit.cpp — 'aevt'/'quit': finderd answers, then leaves its event loop.
//
// The loop ends on its next turn rather than inside the handler, so the
// reply has left before the process exits.
#include "platform/eventloop/CarbonEvents.h"
#include "tools/finderd/Finder.h"

namespace finderd {

namespace {

void QuitSoon(EventLoopTimerRef, void*) { QuitApplicationEventLoop(); }

}  // namespace

OSErr HandleQuit(const AppleEvent*, AppleEvent*, SInt32) {
  OSStatus err = InstallEventLoopTimer(GetMainEventLoop(), 0, 0, QuitSoon, nullptr, nullptr);
  if (err != noErr) QuitApplicationEventLoop();
  return noErr;
}

}  // namespace finderd
