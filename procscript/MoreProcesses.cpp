// MoreProcesses.cpp — process lookup over the Process Manager; keeps no state.
#include "procscript/MoreProcesses.h"

#include <cstddef>

namespace {

const ProcessSerialNumber kCurrentPSN = {0, kCurrentProcess};

// A record for GetProcessInformation with the classic length and no name or
// file wanted.
void MoreProcInitInfo(ProcessInfoRec* info) {
  info->processInfoLength = kProcessInfoRecClassicSize;
  info->processName = NULL;
  info->processAppSpec = NULL;
}

// The walk shared by the two find operations: the first process whose
// creator matches and, when `matchType` is set, whose type matches too.
OSStatus MoreProcFindProcess(OSType creator, Boolean matchType, OSType type, ProcessSerialNumber* psn) {
  OSStatus err;
  ProcessInfoRec info;

  if (psn == NULL) return paramErr;
  psn->highLongOfPSN = 0;
  psn->lowLongOfPSN = kNoProcess;
  for (;;) {
    err = GetNextProcess(psn);
    if (err != noErr) return err;  // procNotFound after the last process
    if (MoreProcGetProcessInformation(psn, &info) != noErr) continue;  // quit meanwhile
    if (info.processSignature == creator && (!matchType || info.processType == type)) return noErr;
  }
}

}  // namespace

OSStatus MoreProcFindProcessBySignature(OSType creator, OSType type, ProcessSerialNumber* psn) {
  return MoreProcFindProcess(creator, true, type, psn);
}

OSStatus MoreProcFindProcessByCreator(OSType creator, ProcessSerialNumber* psn) {
  return MoreProcFindProcess(creator, false, 0, psn);
}

OSStatus MoreProcGetProcessInformation(const ProcessSerialNumber* psn, ProcessInfoRec* info) {
  if (info == NULL) return paramErr;
  if (psn == NULL) psn = &kCurrentPSN;
  MoreProcInitInfo(info);
  return GetProcessInformation(psn, info);
}

OSStatus MoreProcGetProcessName(const ProcessSerialNumber* psn, StringPtr name) {
  ProcessInfoRec info;

  if (name == NULL) return paramErr;
  if (psn == NULL) psn = &kCurrentPSN;
  MoreProcInitInfo(&info);
  info.processName = name;
  return GetProcessInformation(psn, &info);
}

OSStatus MoreProcGetProcessTypeSignature(const ProcessSerialNumber* psn, OSType* type, OSType* creator) {
  OSStatus err;
  ProcessInfoRec info;

  if (type == NULL || creator == NULL) return paramErr;
  if (psn == NULL) psn = &kCurrentPSN;
  MoreProcInitInfo(&info);
  err = GetProcessInformation(psn, &info);
  if (err == noErr) {
    *type = info.processType;
    *creator = info.processSignature;
  }
  return err;
}

OSStatus MoreProcGetProcessAppFile(const ProcessSerialNumber* psn, FSSpec* appFile) {
  ProcessInfoRec info;

  if (appFile == NULL) return paramErr;
  if (psn == NULL) psn = &kCurrentPSN;
  MoreProcInitInfo(&info);
  info.processAppSpec = appFile;
  return GetProcessInformation(psn, &info);
}

OSStatus MoreProcGetCurrentProcessFSSpec(FSSpec* appFile) { return MoreProcGetProcessAppFile(NULL, appFile); }

OSStatus MoreProcIsProcessBackgroundOnly(const ProcessSerialNumber* psn, Boolean* backgroundOnly) {
  OSStatus err;
  ProcessInfoRec info;

  if (backgroundOnly == NULL) return paramErr;
  err = MoreProcGetProcessInformation(psn, &info);
  if (err == noErr) *backgroundOnly = (info.processMode & modeOnlyBackground) != 0 ? 1 : 0;
  return err;
}

Boolean MoreProcIsProcessAtFront(const ProcessSerialNumber* psn) {
  ProcessSerialNumber front;
  Boolean same = false;

  if (psn == NULL) psn = &kCurrentPSN;
  if (GetFrontProcess(&front) != noErr) return false;
  if (SameProcess(psn, &front, &same) != noErr) return false;
  return same ? true : false;
}
