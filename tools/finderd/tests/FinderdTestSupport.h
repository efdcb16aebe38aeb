// FinderdTestSupport.h — a finderd started by a test, and the small helpers
// its tests (and macctl finder's) use to talk to it like any client.
#pragma once

#include <gtest/gtest.h>

#include <cstdarg>
#include <memory>
#include <string>
#include <vector>

#include "platform/appleevents/AppleEvents.h"
#include "platform/appleevents/tests/AETestSupport.h"
#include "platform/files/Files.h"
#include "platform/processes/ProcessRegistry.h"
#include "platform/processes/Processes.h"
#include "testing/TestSupport.h"

namespace finderd_test {

// Descriptors disposed of at the end of the scope, and readable renderings,
// as the Apple Event Manager's own tests use them.
using aetest::Desc;
using aetest::Print;

// A running build/bin/finderd; quit (or killed) when the object goes away.
class RunningFinder {
 public:
  RunningFinder() {
    // The test process registers in this environment's process list before
    // finderd does. Left to AESend, a test process that already sent events
    // in an earlier environment kept its old serial number there, which the
    // new finderd could be given too; events to it then went to the test.
    ProcessSerialNumber self;
    GetCurrentProcess(&self);
    child_ = std::make_unique<tw::test::Child>(std::vector<std::string>{"finderd"});
    ready_ = tw::test::WaitFor([&] {
      macplatform::processes::Entry entry;
      if (macplatform::processes::FindByCreator('MACS', &entry) != noErr) return false;
      if (entry.pid != child_->pid()) return false;
      psn_ = {0, entry.serial};
      return true;
    }) && child_->running();
  }
  ~RunningFinder() {
    if (child_->running()) Quit();
  }
  RunningFinder(const RunningFinder&) = delete;
  RunningFinder& operator=(const RunningFinder&) = delete;

  bool ok() const { return ready_; }
  tw::test::Child& child() { return *child_; }
  const ProcessSerialNumber& psn() const { return psn_; }

  // Sends 'aevt'/'quit' and waits for the exit; the exit status.
  int Quit() {
    AppleEvent event = {typeNull, nullptr}, reply = {typeNull, nullptr};
    AEBuildError error;
    if (AEBuildAppleEvent(kCoreEventClass, kAEQuitApplication, typeProcessSerialNumber, &psn_, sizeof psn_,
                          kAutoGenerateReturnID, kAnyTransactionID, &event, &error, "") == noErr)
      AESend(&event, &reply, kAEWaitReply, kAENormalPriority, 30 * 60, nullptr, nullptr);
    AEDisposeDesc(&event);
    AEDisposeDesc(&reply);
    return child_->Wait();
  }

 private:
  std::unique_ptr<tw::test::Child> child_;
  ProcessSerialNumber psn_ = {0, 0};
  bool ready_ = false;
};

// Builds an event for the Finder from a build-language format and sends it,
// waiting for the reply. Returns the send's result; the handler's error is
// in the reply (ReplyError).
inline OSErr SendToFinder(const ProcessSerialNumber& finder, AEEventClass cls, AEEventID id, AppleEvent* reply,
                          const char* format, ...) {
  AppleEvent event = {typeNull, nullptr};
  AEBuildError error;
  va_list args;
  va_start(args, format);
  OSErr err = OSErr(vAEBuildAppleEvent(cls, id, typeProcessSerialNumber, &finder, sizeof finder,
                                       kAutoGenerateReturnID, kAnyTransactionID, &event, &error, format, args));
  va_end(args);
  if (err == noErr) err = AESend(&event, reply, kAEWaitReply, kAENormalPriority, 30 * 60, nullptr, nullptr);
  AEDisposeDesc(&event);
  return err;
}

// The reply's 'errn', 0 when there is none.
inline SInt32 ReplyError(const AppleEvent* reply) {
  SInt32 code = 0;
  DescType type;
  Size size;
  if (AEGetParamPtr(reply, keyErrorNumber, typeSInt32, &type, &code, sizeof code, &size) != noErr) return 0;
  return code;
}

// An alias record of `path` as an 'alis' descriptor.
inline OSErr AliasDescOfPath(const std::string& path, AEDesc* desc) {
  FSRef ref;
  OSErr err = FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), &ref, nullptr);
  if (err != noErr) return err;
  AliasHandle alias = nullptr;
  err = FSNewAlias(nullptr, &ref, &alias);
  if (err != noErr) return err;
  err = AECreateDesc(typeAlias, *alias, GetHandleSize(reinterpret_cast<Handle>(alias)), desc);
  DisposeHandle(reinterpret_cast<Handle>(alias));
  return err;
}

// The path an 'alis' descriptor resolves to ("" when it does not).
inline std::string PathOfAliasDesc(const AEDesc* desc) {
  Desc ref;
  if (AECoerceDesc(desc, typeFSRef, &ref) != noErr) return "";
  FSRef fsref;
  if (AEGetDescData(ref.get(), &fsref, sizeof fsref) != noErr) return "";
  UInt8 path[4096];
  if (FSRefMakePath(&fsref, path, sizeof path) != noErr) return "";
  return reinterpret_cast<const char*>(path);
}

}  // namespace finderd_test
