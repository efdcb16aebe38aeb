// AppleEvents.h — the Apple Event Manager: descriptors, lists and records,
// Apple events and their parameters and attributes, coercion, the build
// language, printing, flattening, object specifiers and their resolution,
// event handlers, and sending events to this and other processes.
//
// Descriptors own their data: whatever a call fills belongs to the caller,
// who disposes of it with AEDisposeDesc. Disposing the null descriptor
// {typeNull, NULL} is harmless.
#pragma once

#include <cstdarg>

#include "platform/core/MacTypes.h"
#include "platform/memory/MacMemory.h"

typedef FourCharCode DescType;
typedef FourCharCode AEKeyword;
typedef FourCharCode AEEventClass;
typedef FourCharCode AEEventID;
typedef SInt16 AEReturnID;
typedef SInt32 AETransactionID;
typedef SInt32 AESendMode;
typedef SInt16 AESendPriority;

// Opaque storage of a descriptor's data; NULL in the null descriptor.
typedef struct OpaqueAEDataStorageType* AEDataStorageType;
typedef AEDataStorageType* AEDataStorage;

struct AEDesc {
  DescType descriptorType;
  AEDataStorage dataHandle;
};
typedef AEDesc AEAddressDesc;
typedef AEDesc AEDescList;
typedef AEDesc AERecord;
typedef AEDesc AppleEvent;

struct AEKeyDesc {
  AEKeyword descKey;
  AEDesc descContent;
};

// ---------------------------------------------------------------------------
// Descriptor types.
enum {
  typeWildCard = '****',
  typeNull = 'null',
  typeAEList = 'list',
  typeAERecord = 'reco',
  typeAppleEvent = 'aevt',
  typeBoolean = 'bool',
  typeTrue = 'true',
  typeFalse = 'fals',
  typeSInt16 = 'shor',
  typeSInt32 = 'long',
  typeUInt32 = 'magn',
  typeSInt64 = 'comp',
  typeIEEE32BitFloatingPoint = 'sing',
  typeIEEE64BitFloatingPoint = 'doub',
  typeShortInteger = typeSInt16,
  typeSMInt = typeSInt16,
  typeLongInteger = typeSInt32,
  typeInteger = typeSInt32,
  typeMagnitude = typeUInt32,
  typeChar = 'TEXT',
  typeUnicodeText = 'utxt',
  typeUTF8Text = 'utf8',
  typePString = 'pstr',
  typeType = 'type',
  typeEnumerated = 'enum',
  typeKeyword = 'keyw',
  typeAlias = 'alis',
  typeFSRef = 'fsrf',
  typeFSS = 'fss ',
  typeFileURL = 'furl',
  typeData = 'tdta',
  typeQDPoint = 'QDpt',
  typeProcessSerialNumber = 'psn ',
  typeApplSignature = 'sign',
  typeKernelProcessID = 'kpid',
  typeObjectSpecifier = 'obj ',
  typeAbsoluteOrdinal = 'abso',
  typeCurrentContainer = 'ccnt',
  typeObjectBeingExamined = 'exmn',
};

// Keywords of parameters.
enum {
  keyDirectObject = '----',
  keyErrorNumber = 'errn',
  keyErrorString = 'errs',
  keyProcessSerialNumber = 'psn ',
  keyAERequestedType = 'rtyp',
  keyAEData = 'data',
  keyAEInsertHere = 'insh',
  keyAEPosition = 'kpos',
};

// Keywords of attributes.
enum {
  keyTransactionIDAttr = 'tran',
  keyReturnIDAttr = 'rtid',
  keyEventClassAttr = 'evcl',
  keyEventIDAttr = 'evid',
  keyAddressAttr = 'addr',
  keyOptionalKeywordAttr = 'optk',
  keyTimeoutAttr = 'timo',
  keyInteractLevelAttr = 'inte',
  keyEventSourceAttr = 'esrc',
  keyMissedKeywordAttr = 'miss',
  keyOriginalAddressAttr = 'from',
  keySenderPIDAttr = 'spid',
};

// Object specifier records and their key forms, classes and ordinals.
enum {
  keyAEDesiredClass = 'want',
  keyAEContainer = 'from',
  keyAEKeyForm = 'form',
  keyAEKeyData = 'seld',

  formAbsolutePosition = 'indx',
  formRelativePosition = 'rele',
  formTest = 'test',
  formRange = 'rang',
  formPropertyID = 'prop',
  formName = 'name',
  formUniqueID = 'ID  ',
  formAlias = 'alis',

  cProperty = 'prop',
  cObject = 'cobj',
  cItem = 'cobj',
  cFile = 'file',
  cFolder = 'cfol',
  cDisk = 'cdis',
  cApplication = 'capp',
  cMissingValue = 'msng',
  pSelection = 'sele',

  kAEAll = 'all ',
  kAEFirst = 'firs',
  kAELast = 'last',
  kAEMiddle = 'midd',
  kAEAny = 'any ',
};

// Events.
enum {
  kCoreEventClass = 'aevt',
  kAEOpenApplication = 'oapp',
  kAEOpenDocuments = 'odoc',
  kAEPrintDocuments = 'pdoc',
  kAEQuitApplication = 'quit',
  kAEAnswer = 'ansr',
  kAECoreSuite = 'core',
  kAEGetData = 'getd',
  kAESetData = 'setd',
  kAEClone = 'clon',
  kAEMove = 'move',
  kAECreateElement = 'crel',
  kAEDelete = 'delo',
};

// Sending.
enum {
  kAENoReply = 0x00000001,
  kAEQueueReply = 0x00000002,
  kAEWaitReply = 0x00000003,
  kAEDontReconnect = 0x00000080,
  kAEWantReceipt = 0x00000200,
  kAENeverInteract = 0x00000010,
  kAECanInteract = 0x00000020,
  kAEAlwaysInteract = 0x00000030,
  kAECanSwitchLayer = 0x00000040,
  kAEDontRecord = 0x00001000,
  kAEDontExecute = 0x00002000,
  kAEProcessNonReplyEvents = 0x00008000,
};
enum {
  kAENormalPriority = 0,
  kAEHighPriority = 1,
};
enum {
  kAutoGenerateReturnID = -1,
  kAnyTransactionID = 0,
  kAEDefaultTimeout = -1,
  kNoTimeOut = -2,
};
enum { kAEIDoMinimum = 0 };

// Callbacks. On this platform a UPP is the plain function pointer.
typedef OSErr (*AEEventHandlerProcPtr)(const AppleEvent* theAppleEvent, AppleEvent* reply,
                                       SInt32 handlerRefcon);
typedef AEEventHandlerProcPtr AEEventHandlerUPP;
typedef Boolean (*AEIdleProcPtr)(EventRecord* theEvent, SInt32* sleepTime, RgnHandle* mouseRgn);
typedef AEIdleProcPtr AEIdleUPP;
typedef Boolean (*AEFilterProcPtr)(EventRecord* theEvent, SInt32 returnID, SInt32 transactionID,
                                   const AEAddressDesc* sender);
typedef AEFilterProcPtr AEFilterUPP;
typedef OSErr (*OSLAccessorProcPtr)(DescType desiredClass, const AEDesc* container,
                                    DescType containerClass, DescType form,
                                    const AEDesc* selectionData, AEDesc* value,
                                    SInt32 accessorRefcon);
typedef OSLAccessorProcPtr OSLAccessorUPP;
// A coercion handler that takes a descriptor (fromTypeIsDesc true).
typedef OSErr (*AECoerceDescProcPtr)(const AEDesc* fromDesc, DescType toType, SInt32 handlerRefcon,
                                     AEDesc* toDesc);
typedef AECoerceDescProcPtr AECoerceDescUPP;
typedef AECoerceDescUPP AECoercionHandlerUPP;
// A coercion handler that takes typed bytes (fromTypeIsDesc false). It is
// installed cast to AECoercionHandlerUPP and called with this signature.
typedef OSErr (*AECoercePtrProcPtr)(DescType typeCode, const void* dataPtr, Size dataSize,
                                    DescType toType, SInt32 handlerRefcon, AEDesc* result);

AEEventHandlerUPP NewAEEventHandlerUPP(AEEventHandlerProcPtr userRoutine);
void DisposeAEEventHandlerUPP(AEEventHandlerUPP userUPP);
OSErr InvokeAEEventHandlerUPP(const AppleEvent* theAppleEvent, AppleEvent* reply,
                              SInt32 handlerRefcon, AEEventHandlerUPP userUPP);
AEIdleUPP NewAEIdleUPP(AEIdleProcPtr userRoutine);
void DisposeAEIdleUPP(AEIdleUPP userUPP);
OSLAccessorUPP NewOSLAccessorUPP(OSLAccessorProcPtr userRoutine);
void DisposeOSLAccessorUPP(OSLAccessorUPP userUPP);
OSErr InvokeOSLAccessorUPP(DescType desiredClass, const AEDesc* container, DescType containerClass,
                           DescType form, const AEDesc* selectionData, AEDesc* value,
                           SInt32 accessorRefcon, OSLAccessorUPP userUPP);

// ---------------------------------------------------------------------------
// Descriptors.
OSErr AECreateDesc(DescType typeCode, const void* dataPtr, Size dataSize, AEDesc* result);
OSErr AEDisposeDesc(AEDesc* theAEDesc);
OSErr AEDuplicateDesc(const AEDesc* theAEDesc, AEDesc* result);
Size AEGetDescDataSize(const AEDesc* theAEDesc);
// Copies at most maximumSize bytes of the data.
OSErr AEGetDescData(const AEDesc* theAEDesc, void* dataPtr, Size maximumSize);
OSErr AEReplaceDescData(DescType typeCode, const void* dataPtr, Size dataSize, AEDesc* theAEDesc);

// Coercion: over the built-in table (see docs/platform.md) and the handlers
// installed with AEInstallCoercionHandler. Failure: errAECoercionFail.
OSErr AECoercePtr(DescType typeCode, const void* dataPtr, Size dataSize, DescType toType,
                  AEDesc* result);
OSErr AECoerceDesc(const AEDesc* theAEDesc, DescType toType, AEDesc* result);
OSErr AEInstallCoercionHandler(DescType fromType, DescType toType, AECoercionHandlerUPP handler,
                               SInt32 handlerRefcon, Boolean fromTypeIsDesc, Boolean isSysHandler);
OSErr AERemoveCoercionHandler(DescType fromType, DescType toType, AECoercionHandlerUPP handler,
                              Boolean isSysHandler);

// Lists and records. Indices count from 1; index 0 appends.
OSErr AECreateList(const void* factoringPtr, Size factoredSize, Boolean isRecord,
                   AEDescList* resultList);
OSErr AECountItems(const AEDescList* theAEDescList, long* theCount);
OSErr AEPutPtr(AEDescList* theAEDescList, long index, DescType typeCode, const void* dataPtr,
               Size dataSize);
OSErr AEPutDesc(AEDescList* theAEDescList, long index, const AEDesc* theAEDesc);
OSErr AEGetNthPtr(const AEDescList* theAEDescList, long index, DescType desiredType,
                  AEKeyword* theAEKeyword, DescType* typeCode, void* dataPtr, Size maximumSize,
                  Size* actualSize);
OSErr AEGetNthDesc(const AEDescList* theAEDescList, long index, DescType desiredType,
                   AEKeyword* theAEKeyword, AEDesc* result);
OSErr AESizeOfNthItem(const AEDescList* theAEDescList, long index, DescType* typeCode,
                      Size* dataSize);
OSErr AEDeleteItem(AEDescList* theAEDescList, long index);
Boolean AECheckIsRecord(const AEDesc* theDesc);
OSErr AEPutKeyPtr(AERecord* theAERecord, AEKeyword theAEKeyword, DescType typeCode,
                  const void* dataPtr, Size dataSize);
OSErr AEPutKeyDesc(AERecord* theAERecord, AEKeyword theAEKeyword, const AEDesc* theAEDesc);
OSErr AEGetKeyPtr(const AERecord* theAERecord, AEKeyword theAEKeyword, DescType desiredType,
                  DescType* typeCode, void* dataPtr, Size maximumSize, Size* actualSize);
OSErr AEGetKeyDesc(const AERecord* theAERecord, AEKeyword theAEKeyword, DescType desiredType,
                   AEDesc* result);
OSErr AESizeOfKeyDesc(const AERecord* theAERecord, AEKeyword theAEKeyword, DescType* typeCode,
                      Size* dataSize);
OSErr AEDeleteKeyDesc(AERecord* theAERecord, AEKeyword theAEKeyword);

// Apple events. Reading a parameter through any getter marks it read, for
// keyMissedKeywordAttr.
OSErr AECreateAppleEvent(AEEventClass theAEEventClass, AEEventID theAEEventID,
                         const AEAddressDesc* target, AEReturnID returnID,
                         AETransactionID transactionID, AppleEvent* result);
OSErr AEPutParamPtr(AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType typeCode,
                    const void* dataPtr, Size dataSize);
OSErr AEPutParamDesc(AppleEvent* theAppleEvent, AEKeyword theAEKeyword, const AEDesc* theAEDesc);
OSErr AEGetParamPtr(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType desiredType,
                    DescType* typeCode, void* dataPtr, Size maximumSize, Size* actualSize);
OSErr AEGetParamDesc(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword,
                     DescType desiredType, AEDesc* result);
OSErr AESizeOfParam(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType* typeCode,
                    Size* dataSize);
OSErr AEDeleteParam(AppleEvent* theAppleEvent, AEKeyword theAEKeyword);
OSErr AEGetAttributePtr(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword,
                        DescType desiredType, DescType* typeCode, void* dataPtr, Size maximumSize,
                        Size* actualSize);
OSErr AEGetAttributeDesc(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword,
                         DescType desiredType, AEDesc* result);
OSErr AEPutAttributePtr(AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType typeCode,
                        const void* dataPtr, Size dataSize);
OSErr AEPutAttributeDesc(AppleEvent* theAppleEvent, AEKeyword theAEKeyword,
                         const AEDesc* theAEDesc);

// ---------------------------------------------------------------------------
// The build language (documented in docs/platform.md).
enum {
  aeBuildSyntaxNoErr = 0,
  aeBuildSyntaxBadToken = 1,
  aeBuildSyntaxBadEOF = 2,
  aeBuildSyntaxNoEOF = 3,
  aeBuildSyntaxBadNegative = 4,
  aeBuildSyntaxMissingQuote = 5,
  aeBuildSyntaxBadHex = 6,
  aeBuildSyntaxOddHex = 7,
  aeBuildSyntaxNoCloseHex = 8,
  aeBuildSyntaxUncoercedHex = 9,
  aeBuildSyntaxNoCloseString = 10,
  aeBuildSyntaxBadDesc = 11,
  aeBuildSyntaxBadData = 12,
  aeBuildSyntaxNoCloseParen = 13,
  aeBuildSyntaxNoCloseBracket = 14,
  aeBuildSyntaxNoCloseBrace = 15,
  aeBuildSyntaxNoKey = 16,
  aeBuildSyntaxNoColon = 17,
  aeBuildSyntaxCoercedList = 18,
  aeBuildSyntaxUncoercedDoubleAt = 19,
};
typedef UInt32 AEBuildErrorCode;
struct AEBuildError {
  AEBuildErrorCode fError;
  UInt32 fErrorPos;  // offset in the format string where the error was found
};

OSStatus AEBuildDesc(AEDesc* dst, AEBuildError* error, const char* src, ...);
OSStatus vAEBuildDesc(AEDesc* dst, AEBuildError* error, const char* src, va_list args);
OSStatus AEBuildParameters(AppleEvent* event, AEBuildError* error, const char* format, ...);
OSStatus vAEBuildParameters(AppleEvent* event, AEBuildError* error, const char* format,
                            va_list args);
OSStatus AEBuildAppleEvent(AEEventClass theClass, AEEventID theID, DescType addressType,
                           const void* addressData, Size addressLength, AEReturnID returnID,
                           AETransactionID transactionID, AppleEvent* result,
                           AEBuildError* error, const char* paramsFmt, ...);
OSStatus vAEBuildAppleEvent(AEEventClass theClass, AEEventID theID, DescType addressType,
                            const void* addressData, Size addressLength, AEReturnID returnID,
                            AETransactionID transactionID, AppleEvent* resultEvt,
                            AEBuildError* error, const char* paramsFmt, va_list args);

// A readable rendering of any descriptor in the build language, as a
// zero-terminated string in a new handle that the caller disposes of.
OSStatus AEPrintDescToHandle(const AEDesc* desc, Handle* result);

// ---------------------------------------------------------------------------
// Flattening: the wire form of a descriptor (documented in docs/platform.md).
enum { errAEBufferTooSmall = -1741 };  // AEFlattenDesc: the buffer cannot hold the form
Size AESizeOfFlattenedDesc(const AEDesc* theAEDesc);
OSStatus AEFlattenDesc(const AEDesc* theAEDesc, Ptr buffer, Size bufferSize, Size* actualSize);
// Trusts the buffer to hold as many bytes as its header says.
OSStatus AEUnflattenDesc(const void* buffer, AEDesc* result);
// For bytes from outside: never reads past bufferSize; bad input is an error.
OSStatus AEUnflattenDescFromBytes(const void* buffer, Size bufferSize, AEDesc* result);

// ---------------------------------------------------------------------------
// Object specifiers and their resolution.
OSErr CreateObjSpecifier(DescType desiredClass, AEDesc* theContainer, DescType keyForm,
                         AEDesc* keyData, Boolean disposeInputs, AEDesc* objSpecifier);
OSErr AEObjectInit(void);
OSErr AEInstallObjectAccessor(DescType desiredClass, DescType containerType,
                              OSLAccessorUPP theAccessor, SInt32 accessorRefcon,
                              Boolean isSysHandler);
OSErr AEGetObjectAccessor(DescType desiredClass, DescType containerType,
                          OSLAccessorUPP* accessor, SInt32* accessorRefcon, Boolean isSysHandler);
OSErr AERemoveObjectAccessor(DescType desiredClass, DescType containerType,
                             OSLAccessorUPP theAccessor, Boolean isSysHandler);
// Resolves a specifier from the application outward, calling the accessor of
// each level's class and container type ('****' matches any).
OSErr AEResolve(const AEDesc* objectSpecifier, SInt16 callbackFlags, AEDesc* theToken);

// ---------------------------------------------------------------------------
// Handlers. '****' matches any class or ID; the more specific entry wins.
OSErr AEInstallEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID,
                            AEEventHandlerUPP handler, SInt32 handlerRefcon,
                            Boolean isSysHandler);
OSErr AERemoveEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID,
                           AEEventHandlerUPP handler, Boolean isSysHandler);
OSErr AEGetEventHandler(AEEventClass theAEEventClass, AEEventID theAEEventID,
                        AEEventHandlerUPP* handler, SInt32* handlerRefcon, Boolean isSysHandler);

// ---------------------------------------------------------------------------
// Sending. Addresses: 'psn ' (the current process {0,2} and the own serial
// number are dispatched directly, in the process), 'sign' (the first process
// with that creator), 'kpid' (a Linux pid). A target that does not exist
// gives procNotFound. With kAEWaitReply the call blocks until the reply
// comes, calling idleProc at least every sleep time it asks for; a target
// that dies meanwhile gives connectionInvalid.
OSErr AESend(const AppleEvent* theAppleEvent, AppleEvent* reply, AESendMode sendMode,
             AESendPriority sendPriority, SInt32 timeOutInTicks, AEIdleUPP idleProc,
             AEFilterUPP filterProc);
