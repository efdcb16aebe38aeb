// MoreAppleEvents.cpp — targets, sending and replies.
//
// Sections:
//   1. Descriptor primitives.
//   2. Targets and event creation.
//   3. Sending and reading the reply.
//   4. The idle procedure.
#include "aekit/MoreAppleEvents.h"

#include "procscript/MoreProcesses.h"

// ---------------------------------------------------------------------------
// 1. Descriptor primitives. Everything else in the toolkit starts its own
// descriptors null and disposes of them with MoreAEDisposeDesc, so that a
// clean-up path may run over a descriptor whether or not it was ever filled.

void MoreAENullDesc(AEDesc* desc) {
  if (desc == nullptr) return;
  desc->descriptorType = typeNull;
  desc->dataHandle = nullptr;
}

void MoreAEDisposeDesc(AEDesc* desc) {
  if (desc == nullptr) return;
  (void)AEDisposeDesc(desc);
  MoreAENullDesc(desc);
}

// ---------------------------------------------------------------------------
// 2. Targets and event creation.

namespace {

// Creates the event from an address made of (addressType, bytes); the
// address is the function's own and is disposed on every path, since the
// event keeps its own copy of the target.
OSStatus CreateAddressedEvent(DescType addressType, const void* addressData, Size addressSize,
                              AEEventClass eventClass, AEEventID eventID, AppleEvent* event) {
  if (event == nullptr) return paramErr;
  AEAddressDesc address;
  MoreAENullDesc(&address);
  OSStatus err = AECreateDesc(addressType, addressData, addressSize, &address);
  if (err == noErr) {
    err = AECreateAppleEvent(eventClass, eventID, &address, kAutoGenerateReturnID,
                             kAnyTransactionID, event);
  }
  MoreAEDisposeDesc(&address);
  return err;
}

}  // namespace

OSStatus MoreAECreateProcessTarget(const ProcessSerialNumber* psn, AEAddressDesc* address) {
  if (address == nullptr) return paramErr;
  const ProcessSerialNumber self = {0, kCurrentProcess};
  if (psn == nullptr) psn = &self;
  return AECreateDesc(typeProcessSerialNumber, psn, sizeof(ProcessSerialNumber), address);
}

OSStatus MoreAECreateAppleEventProcessTarget(const ProcessSerialNumber* psn,
                                             AEEventClass eventClass, AEEventID eventID,
                                             AppleEvent* event) {
  if (psn == nullptr) return paramErr;
  return CreateAddressedEvent(typeProcessSerialNumber, psn, sizeof(ProcessSerialNumber),
                              eventClass, eventID, event);
}

OSStatus MoreAECreateAppleEventSelfTarget(AEEventClass eventClass, AEEventID eventID,
                                          AppleEvent* event) {
  const ProcessSerialNumber self = {0, kCurrentProcess};
  return MoreAECreateAppleEventProcessTarget(&self, eventClass, eventID, event);
}

OSStatus MoreAECreateAppleEventSignatureTarget(OSType processType, OSType processCreator,
                                               AEEventClass eventClass, AEEventID eventID,
                                               AppleEvent* event) {
  if (event == nullptr) return paramErr;
  ProcessSerialNumber psn = {0, kNoProcess};
  // The lookup takes the creator first, then the type.
  OSStatus err = MoreProcFindProcessBySignature(processCreator, processType, &psn);
  if (err != noErr) return err;
  return MoreAECreateAppleEventProcessTarget(&psn, eventClass, eventID, event);
}

OSStatus MoreAECreateAppleEventCreatorTarget(AEEventClass eventClass, AEEventID eventID,
                                             OSType applCreator, AppleEvent* event) {
  return CreateAddressedEvent(typeApplSignature, &applCreator, sizeof(applCreator), eventClass,
                              eventID, event);
}

// ---------------------------------------------------------------------------
// 3. Sending and reading the reply.
//
// The reply is this file's own: it starts null and is disposed on every path,
// also after a failed send, in case the transport left something in it.

OSStatus MoreAEGetHandlerError(const AppleEvent* reply) {
  if (reply == nullptr || reply->descriptorType == typeNull) return noErr;
  SInt16 handlerError = 0;
  DescType actualType = typeNull;
  Size actualSize = 0;
  OSStatus err = AEGetParamPtr(reply, keyErrorNumber, typeSInt16, &actualType, &handlerError,
                               sizeof(handlerError), &actualSize);
  if (err == errAEDescNotFound) return noErr;  // the handler reported no error
  // 'errn' is there but cannot be read as a 16-bit integer: the value is
  // undefined, so the fetch's own error stands for it. Callers treat any
  // nonzero result as a failure.
  if (err != noErr) return err;
  return handlerError;
}

OSStatus MoreAESendEventNoReturnValue(AEIdleUPP idleProc, const AppleEvent* event) {
  if (event == nullptr) return paramErr;
  AppleEvent reply;
  MoreAENullDesc(&reply);
  const AESendMode mode = idleProc != nullptr ? kAEWaitReply : kAENoReply;
  OSStatus err = AESend(event, &reply, mode, kAENormalPriority, kNoTimeOut, idleProc, nullptr);
  if (err == noErr && mode == kAEWaitReply) err = MoreAEGetHandlerError(&reply);
  MoreAEDisposeDesc(&reply);
  return err;
}

namespace {

// Sends `event`, waits, and reads the handler error; the caller fetches the
// value from `reply` only when the result is 0 and the reply is not null.
OSStatus SendAndWait(AEIdleUPP idleProc, const AppleEvent* event, AppleEvent* reply) {
  OSStatus err =
      AESend(event, reply, kAEWaitReply, kAENormalPriority, kNoTimeOut, idleProc, nullptr);
  if (err != noErr) return err;
  return MoreAEGetHandlerError(reply);
}

OSStatus SendAndFetchDesc(AEIdleUPP idleProc, const AppleEvent* event, DescType desiredType,
                          AEDesc* result) {
  if (event == nullptr || result == nullptr) return paramErr;
  AppleEvent reply;
  MoreAENullDesc(&reply);
  OSStatus err = SendAndWait(idleProc, event, &reply);
  if (err == noErr && reply.descriptorType != typeNull) {
    err = AEGetParamDesc(&reply, keyDirectObject, desiredType, result);
  }
  MoreAEDisposeDesc(&reply);
  return err;
}

}  // namespace

OSStatus MoreAESendEventReturnAEDesc(AEIdleUPP idleProc, const AppleEvent* event,
                                     DescType desiredType, AEDesc* result) {
  if (idleProc == nullptr) return paramErr;
  return SendAndFetchDesc(idleProc, event, desiredType, result);
}

OSStatus MoreAESendEventReturnAEDescList(AEIdleUPP idleProc, const AppleEvent* event,
                                         AEDescList* result) {
  // No idle-procedure test here: AESend waits without one.
  return SendAndFetchDesc(idleProc, event, typeAEList, result);
}

OSStatus MoreAESendEventReturnData(AEIdleUPP idleProc, const AppleEvent* event,
                                   DescType desiredType, DescType* actualType, void* dataPtr,
                                   Size maximumSize, Size* actualSize) {
  if (idleProc == nullptr || event == nullptr) return paramErr;
  AppleEvent reply;
  MoreAENullDesc(&reply);
  OSStatus err = SendAndWait(idleProc, event, &reply);
  if (err == noErr && reply.descriptorType != typeNull) {
    err = AEGetParamPtr(&reply, keyDirectObject, desiredType, actualType, dataPtr, maximumSize,
                        actualSize);
  }
  MoreAEDisposeDesc(&reply);
  return err;
}

OSStatus MoreAESendEventReturnSInt16(AEIdleUPP idleProc, const AppleEvent* event, SInt16* value) {
  if (value == nullptr) return paramErr;
  DescType actualType = typeNull;
  Size actualSize = 0;
  return MoreAESendEventReturnData(idleProc, event, typeSInt16, &actualType, value,
                                   sizeof(SInt16), &actualSize);
}

OSStatus MoreAESendEventReturnPString(AEIdleUPP idleProc, const AppleEvent* event, Str255 value) {
  if (value == nullptr) return paramErr;
  DescType actualType = typeNull;
  Size actualSize = 0;
  OSStatus err = MoreAESendEventReturnData(idleProc, event, typePString, &actualType, value,
                                           sizeof(Str255), &actualSize);
  if (err != errAECoercionFail) return err;

  // The receiver's value is not a Pascal string: ask again for plain text,
  // which lands after the length byte.
  err = MoreAESendEventReturnData(idleProc, event, typeChar, &actualType, &value[1],
                                  sizeof(Str255) - 1, &actualSize);
  if (err != noErr) return err;
  if (actualSize > 255) return errAECoercionFail;
  value[0] = static_cast<unsigned char>(actualSize);
  return noErr;
}

// ---------------------------------------------------------------------------
// 4. The idle procedure.

Boolean MoreAESimpleIdleFunction(EventRecord* /*event*/, SInt32* sleepTime, RgnHandle* mouseRgn) {
  if (sleepTime != nullptr) *sleepTime = 30;
  if (mouseRgn != nullptr) *mouseRgn = nullptr;
  return false;
}
