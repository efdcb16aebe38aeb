// AppleEventHandlers.cpp — what twhelper installs and hands to the event
// machinery: the quit handler with its parameter check, and the idle
// procedure that keeps the agent's event loop running while a Finder request
// waits for its reply.
#include <cstdio>

#include "agent/TWHelper.h"

ProcessSerialNumber gFinderPSN = {0, kNoProcess};

namespace {

const char kQuitMessage[] = "[twhelper] Quit Apple event received\n";

}  // namespace

OSErr twInitAppleEvents(void) {
  return AEInstallEventHandler(kCoreEventClass, kAEQuitApplication,
                               NewAEEventHandlerUPP(QuitEventHandler), 'quit', false);
}

OSErr QuitEventHandler(const AppleEvent* event, AppleEvent* reply, SInt32 refcon) {
  (void)reply;
  if (refcon == static_cast<SInt32>('quit')) {
    fprintf(stderr, "%s", kQuitMessage);
    QuitApplicationEventLoop();
  }
  return static_cast<OSErr>(CheckRequiredParams(event));
}

OSErr CheckRequiredParams(const AppleEvent* event) {
  DescType type = typeNull;
  Size size = 0;
  OSErr err = AEGetAttributePtr(event, keyMissedKeywordAttr, typeWildCard, &type, NULL, 0, &size);
  // Every parameter read (-1701) and one left unread (0) both count as
  // success: the quit handler reads no parameter and must still quit.
  if (err == errAEDescNotFound || err == noErr) return noErr;
  return errAEEventNotHandled;
}

Boolean SelectionIdleProc(EventRecord* event, SInt32* sleepTime, RgnHandle* mouseRgn) {
  (void)event;
  (void)RunCurrentEventLoop(0.001);
  *sleepTime = 30;
  *mouseRgn = NULL;
  return false;
}
