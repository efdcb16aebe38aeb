// AEPeer.cpp — a process that answers Apple events, for the transport's
// tests, macctl's and the round-trip benchmark.
//
//   ae_peer [--name NAME] [--creator CODE] [--no-listen]
//
// Takes the identity given (type 'APPL'), installs its handlers (which makes
// it listen), prints "ready SERIAL" and runs the application event loop
// until it receives 'aevt'/'quit'; then prints "quit" and exits 0. With
// --no-listen it only registers in the process list and waits for a signal.
//
// Events ('test' class unless noted):
//   'core'/'getd'  reply '----' = "ok" (the benchmark's small round trip)
//   'echo'         reply '----' = the event's '----', 'addr' = its sender
//   'slow'         runs the loop for '----' milliseconds, then replies them
//   'die '         exits at once (status 3) without replying
//   'back'         sends 'test'/'echo' with '----' = "nested" back to the
//                  sender, waits (idle procedure), replies its '----'
//   'fail'         handler error errAENoSuchObject
//   'cnt '         reply '----' = how many other events arrived
//   'aevt'/'quit'  quits the loop
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/appleevents/AppleEvents.h"
#include "platform/eventloop/CarbonEvents.h"
#include "platform/processes/Processes.h"

namespace {

SInt32 gCount = 0;

Boolean RunLoopIdle(EventRecord*, SInt32* sleepTime, RgnHandle* mouseRgn) {
  RunCurrentEventLoop(0.001);
  *sleepTime = 1;
  *mouseRgn = nullptr;
  return false;
}

OSErr CopyParam(const AppleEvent* from, AEKeyword key, AppleEvent* to, AEKeyword toKey) {
  AEDesc d{typeNull, nullptr};
  OSErr err = AEGetParamDesc(from, key, typeWildCard, &d);
  if (err == noErr) err = AEPutParamDesc(to, toKey, &d);
  AEDisposeDesc(&d);
  return err;
}

OSErr HandleEvent(const AppleEvent* event, AppleEvent* reply, SInt32) {
  AEEventClass cls = 0;
  AEEventID id = 0;
  DescType type;
  Size size;
  AEGetAttributePtr(event, keyEventClassAttr, typeType, &type, &cls, sizeof cls, &size);
  AEGetAttributePtr(event, keyEventIDAttr, typeType, &type, &id, sizeof id, &size);
  if (id != 'cnt ') ++gCount;
  if (cls == kCoreEventClass && id == kAEQuitApplication) {
    QuitApplicationEventLoop();
    return noErr;
  }
  if (cls == kAECoreSuite && id == kAEGetData)
    return AEPutParamPtr(reply, keyDirectObject, typeChar, "ok", 2);
  switch (id) {
    case 'echo': {
      OSErr err = CopyParam(event, keyDirectObject, reply, keyDirectObject);
      AEDesc addr{typeNull, nullptr};
      if (AEGetAttributeDesc(event, keyAddressAttr, typeWildCard, &addr) == noErr)
        AEPutParamDesc(reply, keyAddressAttr, &addr);
      AEDisposeDesc(&addr);
      return err == errAEDescNotFound ? OSErr(noErr) : err;
    }
    case 'slow': {
      SInt32 ms = 0;
      AEGetParamPtr(event, keyDirectObject, typeSInt32, &type, &ms, sizeof ms, &size);
      const EventTime end = GetCurrentEventTime() + ms / 1000.0;
      while (GetCurrentEventTime() < end) RunCurrentEventLoop(0.005);
      return AEPutParamPtr(reply, keyDirectObject, typeSInt32, &ms, sizeof ms);
    }
    case 'die ':
      std::fflush(stdout);
      ::_exit(3);
    case 'back': {
      AEAddressDesc sender{typeNull, nullptr};
      AppleEvent nested{typeNull, nullptr};
      AppleEvent answer{typeNull, nullptr};
      OSErr err = AEGetAttributeDesc(event, keyAddressAttr, typeWildCard, &sender);
      if (err == noErr)
        err = AECreateAppleEvent('test', 'echo', &sender, kAutoGenerateReturnID, kAnyTransactionID, &nested);
      if (err == noErr) err = AEPutParamPtr(&nested, keyDirectObject, typeChar, "nested", 6);
      if (err == noErr) err = AESend(&nested, &answer, kAEWaitReply, kAENormalPriority, kNoTimeOut, RunLoopIdle, nullptr);
      if (err == noErr) err = CopyParam(&answer, keyDirectObject, reply, keyDirectObject);
      AEDisposeDesc(&sender);
      AEDisposeDesc(&nested);
      AEDisposeDesc(&answer);
      return err;
    }
    case 'fail':
      return errAENoSuchObject;
    case 'cnt ':
      return AEPutParamPtr(reply, keyDirectObject, typeSInt32, &gCount, sizeof gCount);
    default:
      return errAEEventNotHandled;
  }
}

OSType Code(const char* s) {
  char c[4] = {' ', ' ', ' ', ' '};
  std::memcpy(c, s, std::min<size_t>(4, std::strlen(s)));
  return MacFourCC(c);
}

}  // namespace

int main(int argc, char** argv) {
  std::string name = "ae_peer";
  OSType creator = 'TWap';
  bool listen = true;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--name" && i + 1 < argc) {
      name = argv[++i];
    } else if (a == "--creator" && i + 1 < argc) {
      creator = Code(argv[++i]);
    } else if (a == "--no-listen") {
      listen = false;
    } else {
      std::fprintf(stderr, "usage: ae_peer [--name NAME] [--creator CODE] [--no-listen]\n");
      return 2;
    }
  }
  const MacProcessIdentity identity{name.c_str(), 'APPL', creator, modeOnlyBackground};
  if (MacProcessTakeIdentity(&identity) != noErr) return 1;
  if (listen) {
    AEEventHandlerUPP handler = NewAEEventHandlerUPP(HandleEvent);
    if (AEInstallEventHandler(typeWildCard, typeWildCard, handler, 0, false) != noErr) return 1;
  }
  ProcessSerialNumber psn{0, 0};
  GetCurrentProcess(&psn);
  std::printf("ready %u\n", unsigned(psn.lowLongOfPSN));
  std::fflush(stdout);
  if (!listen) {
    for (;;) ::pause();
  }
  RunApplicationEventLoop();
  std::printf("quit\n");
  return 0;
}
