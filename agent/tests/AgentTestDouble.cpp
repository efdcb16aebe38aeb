// AgentTestDouble.cpp — a small program the agent's tests run beside
// twhelper and finderd.
//
//   agent_test_double front          registers as "Agent Test Double" and
//                                    waits: a process other than the Finder
//                                    that a test can bring to the front
//   agent_test_double slow-finder S  plays the Finder (type 'FNDR', creator
//                                    'MACS'), comes to the front, and answers
//                                    every 'core'/'getd' with an empty list,
//                                    S seconds after it arrived
//
// Once registered it prints "ready" on standard output; the slow Finder also
// prints "asked" when a request arrives, before it starts to wait. It runs
// until a signal ends it.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/appleevents/AppleEvents.h"
#include "platform/eventloop/CarbonEvents.h"
#include "platform/processes/Processes.h"

MAC_PROCESS_IDENTITY("Agent Test Double", 'APPL', 'TWtd', modeOnlyBackground);

namespace {

unsigned gReplyDelay = 0;

void Say(const char* line) {
  std::printf("%s\n", line);
  std::fflush(stdout);
}

// Holds the reply back on purpose: the process does nothing else meanwhile,
// as a Finder busy with a long request would.
OSErr SlowGetData(const AppleEvent*, AppleEvent* reply, SInt32) {
  Say("asked");
  ::sleep(gReplyDelay);
  AEDescList empty = {typeNull, nullptr};
  OSErr err = AECreateList(nullptr, 0, false, &empty);
  if (err == noErr) err = AEPutParamDesc(reply, keyDirectObject, &empty);
  AEDisposeDesc(&empty);
  return err;
}

int Front() {
  ProcessSerialNumber self = {0, 0};
  if (GetCurrentProcess(&self) != noErr) return 1;
  Say("ready");
  for (;;) ::pause();
}

int SlowFinder(const char* seconds) {
  gReplyDelay = static_cast<unsigned>(std::atoi(seconds));
  const MacProcessIdentity finder = {"Finder", 'FNDR', 'MACS', 0};
  if (MacProcessTakeIdentity(&finder) != noErr) return 1;
  if (AEInstallEventHandler(kAECoreSuite, kAEGetData, SlowGetData, 0, false) != noErr) return 1;
  ProcessSerialNumber self = {0, kCurrentProcess};
  if (SetFrontProcess(&self) != noErr) return 1;
  Say("ready");
  RunApplicationEventLoop();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "front") == 0) return Front();
  if (argc == 3 && std::strcmp(argv[1], "slow-finder") == 0) return SlowFinder(argv[2]);
  std::fprintf(stderr, "usage: agent_test_double front | slow-finder SECONDS\n");
  return 2;
}
