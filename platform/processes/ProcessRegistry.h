// ProcessRegistry.h — the process list as the platform's other managers see it.
//
// Internal to platform/ (and macctl): the Apple Event Manager asks for its
// own serial number and finds the process an address names; the stand-in
// Finder and macctl look processes up by name. Every lookup sees the list as
// it is in the runtime folder at that moment and hands out live entries only.
// Entries already read are kept, parsed and with their files open; a watch
// on the folder and a pidfd per process tell when one must be proved alive
// again (lock, process) or read afresh. The public face of the same list
// is platform/processes/Processes.h.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/MacTypes.h"

struct MacProcessIdentity;

namespace macplatform::processes {

// Serial numbers are the low word of a ProcessSerialNumber whose high word
// is 0. The first one of a login session; 0, 1 and 2 are kNoProcess,
// kSystemProcess and kCurrentProcess.
constexpr UInt32 kFirstSerial = 4096;

// One registered process, as its entry file records it.
struct Entry {
  UInt32 serial = 0;
  pid_t pid = 0;
  UInt64 startTime = 0;  // clock ticks after boot (field 22 of /proc/PID/stat)
  UInt32 launcher = 0;   // serial of the registered parent process, 0 when none
  OSType type = 0;
  OSType creator = 0;
  UInt32 mode = 0;
  std::string name;      // at most 31 bytes
  std::string exe;       // absolute path of the executable, empty when unknown
  bool alive = false;    // true in every entry handed out below
};

// Registers the caller if it is not registered yet (with its declared or
// default identity) and gives its serial number. Also registers again when
// the caller was forked from a registered process, or when its entry has
// gone (another runtime folder, a removed file).
OSErr EnsureRegistered(UInt32* serial);
// The caller's own entry; registers it like EnsureRegistered.
OSErr CurrentEntry(Entry* entry);
// Registers the caller again, at once, with `identity` (see
// MacProcessTakeIdentity).
OSErr TakeIdentity(const MacProcessIdentity* identity);

// The live process with this serial number; procNotFound when unknown or
// when it has quit.
OSErr LookUp(UInt32 serial, Entry* entry);
// The first live process registered after `serial` (0: the first of all);
// procNotFound after the last one. GetNextProcess is built on it.
OSErr NextAfter(UInt32 serial, Entry* entry);
// The first live process, in list order, with this creator (for 'sign'
// addresses), this pid (for 'kpid' addresses), or this name (for macctl).
// procNotFound when there is none. None of them registers the caller.
OSErr FindByCreator(OSType creator, Entry* entry);
OSErr FindByPid(pid_t pid, Entry* entry);
OSErr FindByName(std::string_view name, Entry* entry);
// Every live process, in registration order. Dead entries met on the way
// are removed; garbage and foreign files are skipped.
OSErr List(std::vector<Entry>* entries);
// Whether the process of an entry handed out earlier is still running.
bool IsAlive(const Entry& entry);

// The front process's serial number; procNotFound when none is set or when
// that process has quit.
OSErr FrontSerial(UInt32* serial);
// Makes a live process front; procNotFound when it is not live.
OSErr SetFrontSerial(UInt32 serial);

// The entry file format (see docs/platform.md). Parsing is strict: any
// missing, repeated, malformed or out-of-range field refuses the whole file.
bool ParseEntry(const void* data, size_t size, Entry* entry);
std::string FormatEntry(const Entry& entry);

// Fields of /proc/PID/stat: start time (field 22) and user+system time
// (fields 14 and 15), in clock ticks. false when the text is malformed.
bool ParseProcStat(std::string_view stat, UInt64* startTime, UInt64* cpuTime);
// Reads them for a running process; false when it is not running.
bool ReadProcStat(pid_t pid, UInt64* startTime, UInt64* cpuTime);
// User and system time of the process of an entry handed out earlier;
// false when that process is no longer running. The /proc file is kept open
// with a kept entry, so asking again costs one read.
bool CpuTime(const Entry& entry, UInt64* cpuTime);

}  // namespace macplatform::processes
