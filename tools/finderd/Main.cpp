// Main.cpp — finderd, the stand-in Finder: a background application of
// name "Finder", type 'FNDR' and creator 'MACS' that owns a selection and
// answers the Apple events the system sends the Finder.
//
//   finderd
//
// It runs until it receives 'aevt'/'quit' (`macctl quit Finder`), then exits
// with status 0. Only one runs per user session: a second one says so on
// standard error and exits with status 1. It prints nothing else.
#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/core/RuntimeDir.h"
#include "platform/core/SysCalls.h"
#include "platform/eventloop/CarbonEvents.h"
#include "platform/processes/Processes.h"
#include "tools/finderd/Finder.h"
#include "tools/finderd/FinderdProtocol.h"

MAC_PROCESS_IDENTITY("Finder", finderd::kFinderType, finderd::kFinderCreator, 0);

namespace finderd {

namespace {

enum class Instance { kOnly, kAnotherRuns, kFailed };

// One Finder per session: an exclusive flock on RUNTIME/finderd.lock, held
// (through a descriptor closed on exec) until the process ends, however it
// ends. The lock is taken before the process registers or listens, so a
// refused second Finder never appears in the process list.
Instance TakeInstanceLock(int* fd, OSErr* error) {
  std::string dir;
  *error = macplatform::RuntimeDir(&dir);
  if (*error != noErr) return Instance::kFailed;
  const std::string path = dir + "/finderd.lock";
  *fd = macplatform::sys::Open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (*fd < 0) {
    *error = ioErr;
    return Instance::kFailed;
  }
  while (macplatform::sys::Flock(*fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno == EWOULDBLOCK) return Instance::kAnotherRuns;
    *error = ioErr;
    return Instance::kFailed;
  }
  return Instance::kOnly;
}

// The Finder comes to the front when it starts, unless another live process
// is in front already.
void BecomeFrontUnlessAnotherIs() {
  ProcessSerialNumber front = {0, 0};
  ProcessSerialNumber self = {0, kCurrentProcess};
  Boolean same = false;
  if (GetFrontProcess(&front) == noErr && SameProcess(&front, &self, &same) == noErr && !same) return;
  SetFrontProcess(&self);
}

}  // namespace

}  // namespace finderd

int main(int argc, char** argv) {
  using namespace finderd;
  if (argc != 1) {
    std::fprintf(stderr, "usage: %s\n", argv[0]);
    return 2;
  }
  int lock = -1;
  OSErr err = noErr;
  switch (TakeInstanceLock(&lock, &err)) {
    case Instance::kOnly:
      break;
    case Instance::kAnotherRuns:
      std::fprintf(stderr, "finderd: a Finder is already running\n");
      return 1;
    case Instance::kFailed:
      std::fprintf(stderr, "finderd: cannot take the Finder's lock in the runtime folder (error %d)\n", err);
      return 1;
  }
  err = InstallFinderHandlers();
  ProcessSerialNumber self = {0, 0};
  if (err == noErr) err = GetCurrentProcess(&self);
  if (err != noErr) {
    std::fprintf(stderr, "finderd: cannot install the Finder's event handlers (error %d)\n", err);
    return 1;
  }
  BecomeFrontUnlessAnotherIs();
  RunApplicationEventLoop();
  macplatform::sys::Close(lock);
  return 0;
}
