// Processes.h — the Process Manager: the list of running processes of this
// user session, their identity, and the front process.
//
// A process appears in the list once it registers, which happens the first
// time it needs its own entry (GetCurrentProcess, SetFrontProcess, a serial
// number of kCurrentProcess, sending or receiving an Apple event) or when it
// takes an identity with MacProcessTakeIdentity. Looking at other processes
// (GetNextProcess, GetProcessInformation of another process) does not
// register the caller. The list is in registration order; serial numbers are
// never reused within a login session. A process leaves the list when it
// ends, however it ends. See docs/platform.md for how this maps onto Linux.
//
// No function here throws or prints; every failure is a result code.
#pragma once

#include <sys/types.h>

#include "platform/core/MacTypes.h"
#include "platform/files/Files.h"

// ---------------------------------------------------------------------------
// Serial numbers.

// {0, n}: the high word of every serial number this platform hands out is 0.
struct ProcessSerialNumber {
  UInt32 highLongOfPSN;
  UInt32 lowLongOfPSN;
};
typedef ProcessSerialNumber* ProcessSerialNumberPtr;

enum {
  kNoProcess = 0,       // before the first process of the list
  kSystemProcess = 1,   // never a process of this platform
  kCurrentProcess = 2,  // the caller
};

// ---------------------------------------------------------------------------
// Process information.

// Bits of processMode.
enum {
  modeReserved = 0x01000000,
  modeControlPanel = 0x00080000,
  modeLaunchDontSwitch = 0x00040000,
  modeDeskAccessory = 0x00020000,
  modeMultiLaunch = 0x00010000,
  modeNeedSuspendResume = 0x00004000,
  modeCanBackground = 0x00001000,
  modeDoesActivateOnFGSwitch = 0x00000800,
  modeOnlyBackground = 0x00000400,
  modeGetFrontClicks = 0x00000200,
  modeGetAppDiedMsg = 0x00000100,
  mode32BitCompatible = 0x00000080,
  modeHighLevelEventAware = 0x00000040,
  modeLocalAndRemoteHLEvents = 0x00000020,
  modeStationeryAware = 0x00000010,
  modeUseTextEditServices = 0x00000008,
  modeDisplayManagerAware = 0x00000004,
};

// The classic size of ProcessInfoRec; callers put it in processInfoLength.
enum { kProcessInfoRecClassicSize = 60 };

// Names are at most 31 bytes, so a Str31 always holds processName.
enum { kProcessNameMaxLength = 31 };

struct ProcessInfoRec {
  UInt32 processInfoLength;     // in: must be 60
  StringPtr processName;        // in: NULL or a buffer for a Pascal string (Str31 is enough)
  ProcessSerialNumber processNumber;
  UInt32 processType;           // file type of the application
  OSType processSignature;      // creator of the application
  UInt32 processMode;           // mode bits above
  Ptr processLocation;          // always NULL: no partitions here
  UInt32 processSize;           // always 0
  UInt32 processFreeMem;        // always 0
  ProcessSerialNumber processLauncher;  // the registered parent, else kNoProcess
  UInt32 processLaunchDate;     // ticks (1/60 s) after system start-up
  UInt32 processActiveTime;     // processor time used, in ticks
  FSSpec* processAppSpec;       // in: NULL or a record for the executable's FSSpec
};
typedef ProcessInfoRec* ProcessInfoRecPtr;

// ---------------------------------------------------------------------------
// Walking the list and reading it.

// Given kNoProcess, the first process of the list; given a process, the next
// one after it (also when that process has quit meanwhile, so a walk goes
// on); given kCurrentProcess, the one after the caller (which registers it).
// procNotFound after the last one, and the serial number is set to
// kNoProcess. paramErr for NULL or a serial number this platform never gave.
OSErr GetNextProcess(ProcessSerialNumber* psn);

// Fills `info` for the process. processInfoLength must be 60, else paramErr.
// The name goes into processName and the executable's FSSpec into
// *processAppSpec when those pointers are not NULL. procNotFound when the
// process has quit; the FSSpec's own error (fnfErr, ...) when the executable
// cannot be found any more, after every other field was filled.
OSErr GetProcessInformation(const ProcessSerialNumber* psn, ProcessInfoRec* info);

// The caller's own serial number (never kCurrentProcess); registers the caller.
OSErr GetCurrentProcess(ProcessSerialNumber* psn);

// The process that last called or was named by SetFrontProcess. procNotFound
// when no process was made front or when that process has quit: then no
// process is in front.
OSErr GetFrontProcess(ProcessSerialNumber* psn);

// Makes a live process the front process. Any process of the user may bring
// any live process of the user to the front (macctl does it for others).
// procNotFound when the process has quit.
OSErr SetFrontProcess(const ProcessSerialNumber* psn);

// Whether the two serial numbers name the same process; kCurrentProcess
// stands for the caller. Only the numbers are compared: a process that quit
// is still the same as itself.
OSErr SameProcess(const ProcessSerialNumber* psn1, const ProcessSerialNumber* psn2, Boolean* result);

// The Linux process id of a live process, and the other way round.
OSStatus GetProcessPID(const ProcessSerialNumber* psn, pid_t* pid);
OSStatus GetProcessForPID(pid_t pid, ProcessSerialNumber* psn);

// ---------------------------------------------------------------------------
// Identity.

// What a program is: the name shown in the process list, its file type and
// creator, and its mode bits (modeOnlyBackground for a background agent).
struct MacProcessIdentity {
  const char* name;
  OSType type;
  OSType creator;
  UInt32 mode;
};

// Declares the program's identity; written once at file scope beside main:
//   MAC_PROCESS_IDENTITY("Finder", 'FNDR', 'MACS', 0);
// A program without it registers with its name from /proc/self/comm, type
// 'APPL' and creator '????'. A second declaration in one program is a link
// error. Names longer than 31 bytes are cut.
#define MAC_PROCESS_IDENTITY(name, type, creator, mode)                  \
  extern "C" const MacProcessIdentity gMacProcessDeclaredIdentity = { \
      (name), static_cast<OSType>(type), static_cast<OSType>(creator), static_cast<UInt32>(mode)}

// Takes on another identity from now on (tests use it to play the Finder:
// type 'FNDR', creator 'MACS'). The caller is registered again at once under
// a new serial number, as if it were a new process: its old entry leaves the
// list (and the front, if it was in front). The strings are copied. A NULL
// name keeps the name from /proc/self/comm. paramErr for a NULL identity.
OSErr MacProcessTakeIdentity(const MacProcessIdentity* identity);
