// ProcessHelper.cpp — a program with a declared identity, run by the tests.
//
//   processes_helper declared   registers, prints its serial number, waits
//   processes_helper forkhold   registers, forks a child that keeps the
//                               entry file open and waits, prints
//                               "SERIAL CHILDPID", and exits
//   processes_helper forkstay   the same, but stays until a signal ends it
// It waits until a signal ends it.
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "platform/processes/Processes.h"

MAC_PROCESS_IDENTITY("Process Helper", 'APPL', 'TWph', modeOnlyBackground);

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  ProcessSerialNumber psn = {0, 0};
  OSErr err = GetCurrentProcess(&psn);
  if (err != noErr) {
    std::printf("error %d\n", err);
    return 1;
  }
  if (std::strcmp(argv[1], "declared") == 0) {
    std::printf("%u\n", static_cast<unsigned>(psn.lowLongOfPSN));
    std::fflush(stdout);
    for (;;) ::pause();
  }
  const bool stay = std::strcmp(argv[1], "forkstay") == 0;
  if (std::strcmp(argv[1], "forkhold") == 0 || stay) {
    std::fflush(stdout);
    pid_t child = ::fork();
    if (child == 0) {
      // Holds the inherited, locked entry file without registering itself.
      for (;;) ::pause();
    }
    std::printf("%u %d\n", static_cast<unsigned>(psn.lowLongOfPSN), static_cast<int>(child));
    std::fflush(stdout);
    if (stay)
      for (;;) ::pause();
    return 0;
  }
  return 2;
}
