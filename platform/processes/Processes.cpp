// Processes.cpp — the Process Manager calls, on top of the process list.
//
// Serial numbers {0, n} with n >= kFirstSerial name entries of the list;
// {0, kCurrentProcess} is the caller and registers it; anything else names
// no process.
#include "platform/processes/Processes.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/processes/ProcessRegistry.h"

namespace mp = macplatform::processes;

namespace {

// The list entry a serial number names, kCurrentProcess included.
OSErr Resolve(const ProcessSerialNumber* psn, UInt32* serial) {
  if (psn->highLongOfPSN != 0) return procNotFound;
  if (psn->lowLongOfPSN == kCurrentProcess) return mp::EnsureRegistered(serial);
  if (psn->lowLongOfPSN < mp::kFirstSerial) return procNotFound;
  *serial = psn->lowLongOfPSN;
  return noErr;
}

// Clock ticks of /proc to the 1/60 s ticks of the Mac, clamped to 32 bits.
UInt32 ToMacTicks(UInt64 clockTicks) {
  static const long kHz = ::sysconf(_SC_CLK_TCK) > 0 ? ::sysconf(_SC_CLK_TCK) : 100;
  UInt64 ticks = clockTicks / static_cast<UInt64>(kHz) * 60 + clockTicks % static_cast<UInt64>(kHz) * 60 / static_cast<UInt64>(kHz);
  return ticks > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<UInt32>(ticks);
}

}  // namespace

OSErr GetNextProcess(ProcessSerialNumber* psn) {
  if (psn == nullptr || psn->highLongOfPSN != 0) return paramErr;
  UInt32 after = 0;
  if (psn->lowLongOfPSN == kCurrentProcess) {
    OSErr err = mp::EnsureRegistered(&after);
    if (err != noErr) return err;
  } else if (psn->lowLongOfPSN == kNoProcess) {
    after = 0;
  } else if (psn->lowLongOfPSN < mp::kFirstSerial) {
    return paramErr;
  } else {
    after = psn->lowLongOfPSN;
  }
  mp::Entry next;
  OSErr err = mp::NextAfter(after, &next);
  if (err != noErr) {
    psn->highLongOfPSN = 0;
    psn->lowLongOfPSN = kNoProcess;
    return err;
  }
  psn->highLongOfPSN = 0;
  psn->lowLongOfPSN = next.serial;
  return noErr;
}

OSErr GetProcessInformation(const ProcessSerialNumber* psn, ProcessInfoRec* info) {
  if (psn == nullptr || info == nullptr) return paramErr;
  if (info->processInfoLength != kProcessInfoRecClassicSize) return paramErr;
  mp::Entry entry;
  OSErr err;
  if (psn->highLongOfPSN == 0 && psn->lowLongOfPSN == kCurrentProcess) {
    err = mp::CurrentEntry(&entry);
  } else {
    UInt32 serial = 0;
    err = Resolve(psn, &serial);
    if (err == noErr) err = mp::LookUp(serial, &entry);
  }
  if (err != noErr) return err;

  info->processNumber = ProcessSerialNumber{0, entry.serial};
  info->processType = entry.type;
  info->processSignature = entry.creator;
  info->processMode = entry.mode;
  info->processLocation = nullptr;
  info->processSize = 0;
  info->processFreeMem = 0;
  info->processLauncher = ProcessSerialNumber{0, entry.launcher};
  info->processLaunchDate = ToMacTicks(entry.startTime);
  UInt64 cpu = 0;
  info->processActiveTime = mp::CpuTime(entry, &cpu) ? ToMacTicks(cpu) : 0;
  if (info->processName != nullptr) {
    size_t length = std::min<size_t>(entry.name.size(), kProcessNameMaxLength);
    info->processName[0] = static_cast<unsigned char>(length);
    std::memcpy(info->processName + 1, entry.name.data(), length);
  }
  if (info->processAppSpec != nullptr) {
    if (entry.exe.empty()) return fnfErr;
    FSRef ref;
    OSStatus status = FSPathMakeRef(reinterpret_cast<const UInt8*>(entry.exe.c_str()), &ref, nullptr);
    if (status != noErr) return static_cast<OSErr>(status);
    return FSGetCatalogInfo(&ref, kFSCatInfoNone, nullptr, nullptr, info->processAppSpec, nullptr);
  }
  return noErr;
}

OSErr GetCurrentProcess(ProcessSerialNumber* psn) {
  if (psn == nullptr) return paramErr;
  UInt32 serial = 0;
  OSErr err = mp::EnsureRegistered(&serial);
  if (err != noErr) return err;
  *psn = ProcessSerialNumber{0, serial};
  return noErr;
}

OSErr GetFrontProcess(ProcessSerialNumber* psn) {
  if (psn == nullptr) return paramErr;
  UInt32 serial = 0;
  OSErr err = mp::FrontSerial(&serial);
  if (err != noErr) return err;
  *psn = ProcessSerialNumber{0, serial};
  return noErr;
}

OSErr SetFrontProcess(const ProcessSerialNumber* psn) {
  if (psn == nullptr) return paramErr;
  UInt32 serial = 0;
  OSErr err = Resolve(psn, &serial);
  if (err != noErr) return err;
  return mp::SetFrontSerial(serial);
}

OSErr SameProcess(const ProcessSerialNumber* psn1, const ProcessSerialNumber* psn2, Boolean* result) {
  if (psn1 == nullptr || psn2 == nullptr || result == nullptr) return paramErr;
  ProcessSerialNumber a = *psn1, b = *psn2;
  for (ProcessSerialNumber* p : {&a, &b}) {
    if (p->highLongOfPSN == 0 && p->lowLongOfPSN == kCurrentProcess) {
      OSErr err = mp::EnsureRegistered(&p->lowLongOfPSN);
      if (err != noErr) return err;
    }
  }
  *result = a.highLongOfPSN == b.highLongOfPSN && a.lowLongOfPSN == b.lowLongOfPSN;
  return noErr;
}

OSStatus GetProcessPID(const ProcessSerialNumber* psn, pid_t* pid) {
  if (psn == nullptr || pid == nullptr) return paramErr;
  UInt32 serial = 0;
  OSErr err = Resolve(psn, &serial);
  if (err != noErr) return err;
  mp::Entry entry;
  err = mp::LookUp(serial, &entry);
  if (err != noErr) return err;
  *pid = entry.pid;
  return noErr;
}

OSStatus GetProcessForPID(pid_t pid, ProcessSerialNumber* psn) {
  if (psn == nullptr || pid <= 0) return paramErr;
  UInt32 serial = 0;
  if (pid == ::getpid()) {
    OSErr err = mp::EnsureRegistered(&serial);
    if (err != noErr) return err;
  } else {
    mp::Entry entry;
    OSErr err = mp::FindByPid(pid, &entry);
    if (err != noErr) return err;
    serial = entry.serial;
  }
  *psn = ProcessSerialNumber{0, serial};
  return noErr;
}

OSErr MacProcessTakeIdentity(const MacProcessIdentity* identity) { return mp::TakeIdentity(identity); }
