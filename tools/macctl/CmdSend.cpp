// CmdSend.cpp — `macctl send` sends an Apple event built from the build
// language and prints the reply; `macctl quit` asks a process to quit.
//
// Targets: `psn:N` or a plain number (a serial number, as `macctl ps` shows
// it), `pid:N` (a Linux pid), `sign:CODE` (the first process with that
// creator), else the name of a process.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/appleevents/AppleEvents.h"
#include "platform/processes/ProcessRegistry.h"
#include "platform/processes/Processes.h"
#include "tools/macctl/Command.h"

namespace macctl {
namespace {

namespace mp = macplatform::processes;

bool AllDigits(const std::string& s) {
  return !s.empty() && s.size() <= 10 &&
         std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A code of 1 to 4 bytes, padded with spaces ("die" is 'die ').
bool ParseCode(const std::string& text, OSType* code) {
  if (text.empty() || text.size() > 4) return false;
  char c[4] = {' ', ' ', ' ', ' '};
  std::memcpy(c, text.data(), text.size());
  *code = MacFourCC(c);
  return true;
}

// The address of a target as its descriptor type and bytes.
struct Address {
  DescType type = typeNull;
  ProcessSerialNumber psn{0, 0};
  SInt32 pid = 0;
  OSType creator = 0;
  const void* data() const {
    return type == typeProcessSerialNumber ? static_cast<const void*>(&psn)
           : type == typeKernelProcessID   ? static_cast<const void*>(&pid)
                                           : static_cast<const void*>(&creator);
  }
  Size size() const { return type == typeProcessSerialNumber ? Size(sizeof psn) : Size(4); }
};

// Fills `address` for TARGET; an error message when it cannot be.
bool ParseTarget(const std::string& target, Address* address, std::string* error) {
  auto prefixed = [&](const char* prefix, std::string* rest) {
    const size_t n = std::strlen(prefix);
    if (target.compare(0, n, prefix) != 0) return false;
    *rest = target.substr(n);
    return true;
  };
  std::string rest;
  if (prefixed("psn:", &rest) || AllDigits(target)) {
    if (rest.empty()) rest = target;
    if (!AllDigits(rest) || std::stoull(rest) > 0xFFFFFFFFull) {
      *error = "bad serial number '" + rest + "'";
      return false;
    }
    address->type = typeProcessSerialNumber;
    address->psn = {0, UInt32(std::stoull(rest))};
    return true;
  }
  if (prefixed("pid:", &rest)) {
    if (!AllDigits(rest) || std::stoull(rest) > 0x7FFFFFFFull) {
      *error = "bad pid '" + rest + "'";
      return false;
    }
    address->type = typeKernelProcessID;
    address->pid = SInt32(std::stoull(rest));
    return true;
  }
  if (prefixed("sign:", &rest)) {
    if (!ParseCode(rest, &address->creator)) {
      *error = "bad creator '" + rest + "' (1 to 4 characters)";
      return false;
    }
    address->type = typeApplSignature;
    return true;
  }
  mp::Entry entry;
  if (mp::FindByName(target, &entry) != noErr) {
    *error = "no process named '" + target + "' (error " + std::to_string(procNotFound) + ")";
    return false;
  }
  address->type = typeProcessSerialNumber;
  address->psn = {0, entry.serial};
  return true;
}

// The handler's error in a reply, 0 when it reported none.
SInt16 HandlerError(const AppleEvent& reply) {
  if (reply.descriptorType == typeNull) return 0;
  SInt16 errn = 0;
  DescType type;
  Size size = 0;
  OSErr err = AEGetParamPtr(&reply, keyErrorNumber, typeSInt16, &type, &errn, sizeof errn, &size);
  return err == noErr ? errn : 0;
}

// Builds the event, sends it and reports. The reply is printed when one was
// asked for; the exit status is 1 when the send or the handler failed.
int SendAndReport(const char* command, const Address& address, OSType cls, OSType id,
                  const std::string& format, bool wantReply, bool printReply) {
  if (format.find('@') != std::string::npos)
    return Fail(command, "'@' takes an argument from a program; write the value itself");
  AppleEvent event{typeNull, nullptr};
  AppleEvent reply{typeNull, nullptr};
  AEBuildError buildError{};
  OSStatus err = AEBuildAppleEvent(cls, id, address.type, address.data(), address.size(),
                                   kAutoGenerateReturnID, kAnyTransactionID, &event, &buildError,
                                   format.c_str());
  if (err != noErr) {
    if (err == errAEBuildSyntaxError)
      return Fail(command, "syntax error " + std::to_string(buildError.fError) + " at offset " +
                               std::to_string(buildError.fErrorPos) + " of the format");
    return Fail(command, "cannot build the event: error " + std::to_string(err));
  }
  err = AESend(&event, &reply, wantReply ? kAEWaitReply : kAENoReply, kAENormalPriority,
               kAEDefaultTimeout, nullptr, nullptr);
  AEDisposeDesc(&event);
  if (err != noErr) return Fail(command, "send failed: error " + std::to_string(err));
  int status = 0;
  if (printReply && reply.descriptorType != typeNull) {
    Handle text = nullptr;
    if (AEPrintDescToHandle(&reply, &text) == noErr && text != nullptr) {
      std::printf("%s\n", *text);
      DisposeHandle(text);
    }
  }
  const SInt16 handlerError = HandlerError(reply);
  if (handlerError != 0) status = Fail(command, "the handler failed: error " + std::to_string(handlerError));
  AEDisposeDesc(&reply);
  return status;
}

int Send(const Args& args) {
  const char* usage = "usage: macctl send [--no-reply] TARGET CLASS ID [FORMAT...]";
  size_t i = 0;
  bool wantReply = true;
  if (i < args.size() && args[i] == "--no-reply") {
    wantReply = false;
    ++i;
  }
  if (args.size() < i + 3) return Fail("send", usage);
  Address address;
  std::string error;
  if (!ParseTarget(args[i], &address, &error)) return Fail("send", error);
  OSType cls = 0, id = 0;
  if (!ParseCode(args[i + 1], &cls) || !ParseCode(args[i + 2], &id))
    return Fail("send", "CLASS and ID are 1 to 4 characters");
  // The rest is the parameters' format, its words joined by blanks.
  std::string format;
  for (size_t k = i + 3; k < args.size(); ++k) format += (format.empty() ? "" : " ") + args[k];
  return SendAndReport("send", address, cls, id, format, wantReply, wantReply);
}

int Quit(const Args& args) {
  if (args.size() != 1) return Fail("quit", "usage: macctl quit TARGET");
  Address address;
  std::string error;
  if (!ParseTarget(args[0], &address, &error)) return Fail("quit", error);
  return SendAndReport("quit", address, kCoreEventClass, kAEQuitApplication, "", true, false);
}

}  // namespace

MACCTL_COMMAND("send", "send [--no-reply] TARGET CLASS ID [FORMAT...]  send an Apple event, print the reply", Send);
MACCTL_COMMAND("quit", "quit TARGET  send 'aevt'/'quit' and wait for the reply", Quit);

}  // namespace macctl
