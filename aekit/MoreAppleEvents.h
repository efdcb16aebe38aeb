// MoreAppleEvents.h — event targets, sending, reply handling and the two
// descriptor primitives the rest of the Apple event toolkit rests on.
//
// Every descriptor a function here makes for its own use (an address, a
// reply) starts as the null descriptor and is disposed before the function
// returns. A descriptor filled for the caller (an event, an address, a result
// descriptor or list) belongs to the caller, who disposes of it with
// AEDisposeDesc or MoreAEDisposeDesc. An event handed to a send function
// stays the caller's. Results are OSErr values (sign-extended); 0 is success.
// Nothing here prints; nothing is retried except the second send of
// MoreAESendEventReturnPString after a coercion failure.
#pragma once

#include "platform/appleevents/AppleEvents.h"
#include "platform/processes/Processes.h"

// ---------------------------------------------------------------------------
// Descriptor primitives.

// Makes `desc` the null descriptor {typeNull, NULL}. Frees nothing: for
// descriptors that hold nothing yet.
void MoreAENullDesc(AEDesc* desc);

// Disposes of what `desc` holds (AEDisposeDesc, result ignored) and leaves it
// null. Harmless on a null descriptor, and when called twice.
void MoreAEDisposeDesc(AEDesc* desc);

// ---------------------------------------------------------------------------
// Targets and event creation. Events get kAutoGenerateReturnID and
// kAnyTransactionID. The out event is written only by AECreateAppleEvent.

// A 'psn ' address of the 8-byte serial number into `address` (the
// caller's). A NULL serial number stands for the current process {0, 2}.
OSStatus MoreAECreateProcessTarget(const ProcessSerialNumber* psn, AEAddressDesc* address);

// A new event of the class and ID addressed to the process `psn`.
OSStatus MoreAECreateAppleEventProcessTarget(const ProcessSerialNumber* psn,
                                             AEEventClass eventClass, AEEventID eventID,
                                             AppleEvent* event);

// A new event addressed to this process ({0, kCurrentProcess}).
OSStatus MoreAECreateAppleEventSelfTarget(AEEventClass eventClass, AEEventID eventID,
                                          AppleEvent* event);

// A new event addressed to the first running process of that type and
// creator (the Finder: 'FNDR', 'MACS'). procNotFound (-600) when none runs;
// then no event is created and `event` is left as it was.
OSStatus MoreAECreateAppleEventSignatureTarget(OSType processType, OSType processCreator,
                                               AEEventClass eventClass, AEEventID eventID,
                                               AppleEvent* event);

// A new event addressed by application signature ('sign', 4 bytes).
OSStatus MoreAECreateAppleEventCreatorTarget(AEEventClass eventClass, AEEventID eventID,
                                             OSType applCreator, AppleEvent* event);

// ---------------------------------------------------------------------------
// Sending. Every send uses kAENormalPriority, kNoTimeOut and no filter; a
// wanted reply means kAEWaitReply, none kAENoReply. The reply is made and
// disposed here on every path. A nonzero 'errn' in the reply wins over its
// value: the direct object is then not fetched and the outputs stay as they
// were. A reply that is the null descriptor leaves the outputs untouched and
// gives 0.

// With an idle procedure: waits and returns the handler's error. Without
// one: sends with kAENoReply and returns the send's result.
OSStatus MoreAESendEventNoReturnValue(AEIdleUPP idleProc, const AppleEvent* event);

// Waits and fetches the reply's direct object coerced to `desiredType` into
// `result` (the caller's). A NULL idle procedure: paramErr, nothing sent.
OSStatus MoreAESendEventReturnAEDesc(AEIdleUPP idleProc, const AppleEvent* event,
                                     DescType desiredType, AEDesc* result);

// As MoreAESendEventReturnAEDesc with typeAEList; a NULL idle procedure is
// passed on to AESend (which then waits without calling one).
OSStatus MoreAESendEventReturnAEDescList(AEIdleUPP idleProc, const AppleEvent* event,
                                         AEDescList* result);

// Waits and copies the reply's direct object, coerced to `desiredType`, into
// `dataPtr` (at most `maximumSize` bytes); `actualType` and `actualSize` are
// what AEGetParamPtr reports (the full size). A NULL idle procedure:
// paramErr, nothing sent.
OSStatus MoreAESendEventReturnData(AEIdleUPP idleProc, const AppleEvent* event,
                                   DescType desiredType, DescType* actualType, void* dataPtr,
                                   Size maximumSize, Size* actualSize);

// The reply's direct object as a 16-bit integer.
OSStatus MoreAESendEventReturnSInt16(AEIdleUPP idleProc, const AppleEvent* event, SInt16* value);

// The reply's direct object as a Pascal string. When it cannot be coerced to
// 'pstr' (errAECoercionFail), the event is sent a second time and the direct
// object fetched as 'TEXT' into bytes 1..255; more than 255 bytes of text
// give errAECoercionFail and leave the length byte unset.
OSStatus MoreAESendEventReturnPString(AEIdleUPP idleProc, const AppleEvent* event, Str255 value);

// The handler error carried in `reply` under 'errn': 0 for a null reply or
// when 'errn' is absent; the fetch's own nonzero error when 'errn' is there
// but cannot be read as a 16-bit integer.
OSStatus MoreAEGetHandlerError(const AppleEvent* reply);

// ---------------------------------------------------------------------------
// The idle procedure: asks for 30 ticks of sleep and no mouse region, leaves
// the event alone, and returns false (go on waiting).
Boolean MoreAESimpleIdleFunction(EventRecord* event, SInt32* sleepTime, RgnHandle* mouseRgn);
