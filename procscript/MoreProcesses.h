// MoreProcesses.h — process lookup: which process has a given creator (and
// file type), what a process's name, type, creator, application file and
// mode are, and whether it is the front process.
//
// A thin, stateless layer over the Process Manager. Wherever a serial number
// is an input, NULL means the calling process (kCurrentProcess). Results are
// OSStatus values: the Process Manager's codes passed on unchanged, plus
// paramErr (-50) for a missing output pointer.
#pragma once

#include "platform/core/MacTypes.h"
#include "platform/files/Files.h"
#include "platform/processes/Processes.h"

// The first process of the list whose creator is `creator` and whose file
// type is `type` (the Finder: 'MACS', 'FNDR'). procNotFound (-600) when none.
OSStatus MoreProcFindProcessBySignature(OSType creator, OSType type, ProcessSerialNumber* psn);

// The first process of the list whose creator is `creator`, whatever its type.
OSStatus MoreProcFindProcessByCreator(OSType creator, ProcessSerialNumber* psn);

// Fills the caller's record (no name, no FSSpec).
OSStatus MoreProcGetProcessInformation(const ProcessSerialNumber* psn, ProcessInfoRec* info);

// Writes the process's name as a Pascal string into `name` (a Str31 is enough).
OSStatus MoreProcGetProcessName(const ProcessSerialNumber* psn, StringPtr name);

// The process's file type and creator; both outputs are left alone on failure.
OSStatus MoreProcGetProcessTypeSignature(const ProcessSerialNumber* psn, OSType* type, OSType* creator);

// The FSSpec of the process's application file.
OSStatus MoreProcGetProcessAppFile(const ProcessSerialNumber* psn, FSSpec* appFile);

// The FSSpec of the calling process's application file.
OSStatus MoreProcGetCurrentProcessFSSpec(FSSpec* appFile);

// Stores 1 when the process is background-only, else 0; left alone on failure.
OSStatus MoreProcIsProcessBackgroundOnly(const ProcessSerialNumber* psn, Boolean* backgroundOnly);

// Whether the process is the front process; every failure gives false.
Boolean MoreProcIsProcessAtFront(const ProcessSerialNumber* psn);
