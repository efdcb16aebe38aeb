// CommandLine.cpp — twhelper's entry point: `twhelper N` labels the Finder
// selection with N, `twhelper -s` publishes the selection snapshot every
// second until it receives the quit Apple event.
#include "agent/TWHelper.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "finderkit/MoreFinderEvents.h"
#include "labeldb/LabelDB.h"
#include "platform/gestalt/Gestalt.h"
#include "platform/notifications/CFNotificationCenter.h"
#include "procscript/MoreProcesses.h"

// A faceless agent: background-only, never the front process.
MAC_PROCESS_IDENTITY("twhelper", 'APPL', 'TWhp', modeOnlyBackground);

namespace {

const char kUsageMessage[] = "twhelper: wrong usage. what are you doing here, anyway?\n";

// Systems from 10.3 on get the bit of value 2 in gTWFeatures.
const SInt32 kLastVersionWithoutModernLabels = 0x102F;
const UInt32 kTWFeatureModernLabels = 2;

void PrintUsageAndExit() {
  printf("%s", kUsageMessage);
  exit(1);
}

void SetLabelOfSelection(SInt16 label) {
  TWdb_Initialize();

  AEDescList selection = {typeNull, NULL};
  if (MoreFEGetSelection(SelectionIdleProc, &selection) == noErr) {
    UInt32 count = 0;
    FSRef* refs = GetFSObjects(&selection, &count);
    if (refs != NULL) {
      // The array holds the items in the reverse of the Finder's order, so
      // the last selected item is labelled first. One item's failure does
      // not stop the others.
      for (UInt32 i = 0; i < count; ++i) {
        (void)TWdb_SetLabel(&refs[i], label);
        (void)MoreFEUpdateItemFSRef(&refs[i]);
      }
      if (count > 0) {
        CFNotificationCenterPostNotification(CFNotificationCenterGetDistributedCenter(),
                                             CFSTR("com.tolvane.tintwell"), CFSTR("set-label"),
                                             NULL, true);
      }
      free(refs);
    }
  }
  AEDisposeDesc(&selection);
  exit(0);
}

void RunServer() {
  if (MoreProcFindProcessBySignature('MACS', 'FNDR', &gFinderPSN) != noErr) exit(1);

  SInt32 version = 0;
  if (Gestalt(gestaltSystemVersion, &version) == noErr && version > kLastVersionWithoutModernLabels)
    gTWFeatures |= kTWFeatureModernLabels;

  (void)InstallEventLoopTimer(GetMainEventLoop(), 1.0, 0.0, NewEventLoopTimerUPP(EventTimer), NULL,
                              NULL);
  (void)twInitAppleEvents();
  RunApplicationEventLoop();
  exit(0);
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 2) PrintUsageAndExit();
  if (strcmp(argv[1], "-s") == 0) RunServer();

  // Anything else is a label: optional white space and sign, then digits;
  // what follows the digits is ignored and no digits at all mean 0.
  int label = atoi(argv[1]);
  if (label < 0 || label > 7) PrintUsageAndExit();
  SetLabelOfSelection(static_cast<SInt16>(label));
  return 0;
}
