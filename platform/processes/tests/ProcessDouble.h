// ProcessDouble.h — a forked copy of the test program that plays another
// process: it takes an identity, optionally makes itself front, reports its
// serial number through a pipe, and waits until the test ends it.
//
// Quit() ends it with SIGTERM (a normal end), Crash() with SIGKILL; both
// reap it. The destructor crashes it if it is still there.
#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/processes/Processes.h"

namespace tw::test {

class ProcessDouble {
 public:
  ProcessDouble(const std::string& name, OSType type, OSType creator, UInt32 mode = 0, bool front = false) {
    int ready[2];
    if (::pipe(ready) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(ready[0]);
      MacProcessIdentity identity = {name.c_str(), type, creator, mode};
      OSErr err = MacProcessTakeIdentity(&identity);
      ProcessSerialNumber psn = {0, 0};
      if (err == noErr) err = GetCurrentProcess(&psn);
      if (err == noErr && front) err = SetFrontProcess(&psn);
      UInt32 message[2] = {static_cast<UInt32>(static_cast<SInt32>(err)), psn.lowLongOfPSN};
      if (::write(ready[1], message, sizeof message) != sizeof message) ::_exit(1);
      for (;;) ::pause();
    }
    ::close(ready[1]);
    if (pid_ > 0) {
      struct pollfd p = {ready[0], POLLIN, 0};
      UInt32 message[2] = {0, 0};
      // A generous deadline: registration takes milliseconds.
      if (::poll(&p, 1, 60000) == 1 && ::read(ready[0], message, sizeof message) == sizeof message) {
        err_ = static_cast<OSErr>(static_cast<SInt32>(message[0]));
        psn_ = ProcessSerialNumber{0, message[1]};
      }
    }
    ::close(ready[0]);
  }
  ~ProcessDouble() { Crash(); }
  ProcessDouble(const ProcessDouble&) = delete;
  ProcessDouble& operator=(const ProcessDouble&) = delete;

  // noErr once the double has registered; its own error otherwise.
  OSErr err() const { return err_; }
  bool ok() const { return pid_ > 0 && err_ == noErr && psn_.lowLongOfPSN != 0; }
  const ProcessSerialNumber& psn() const { return psn_; }
  pid_t pid() const { return pid_; }

  void Quit() { End(SIGTERM); }
  void Crash() { End(SIGKILL); }

 private:
  void End(int sig) {
    if (pid_ <= 0) return;
    ::kill(pid_, sig);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
  }

  pid_t pid_ = -1;
  OSErr err_ = ioErr;
  ProcessSerialNumber psn_ = {0, 0};
};

}  // namespace tw::test
