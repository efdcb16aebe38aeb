// MacErrors.h — every result code the system and the platform layer use.
//
// One table, so that a code's meaning is looked up in one place. Values are
// the classic Mac OS ones; OSErr is 16 bits and OSStatus carries the same
// values widened with their sign.
#pragma once

enum {
  noErr = 0,

  // General.
  unimpErr = -4,
  paramErr = -50,
  userCanceledErr = -128,

  // Scrap Manager.
  noScrapErr = -100,
  noTypeErr = -102,

  // File Manager.
  dirFulErr = -33,
  dskFulErr = -34,
  nsvErr = -35,
  ioErr = -36,
  bdNamErr = -37,
  fnOpnErr = -38,
  eofErr = -39,
  posErr = -40,
  tmfoErr = -42,
  fnfErr = -43,
  wPrErr = -44,
  fLckdErr = -45,
  vLckdErr = -46,
  fBsyErr = -47,
  dupFNErr = -48,
  permErr = -54,
  wrPermErr = -61,
  dirNFErr = -120,
  notAFileErr = -1302,
  diffVolErr = -1303,
  errFSBadFSRef = -1401,
  errFSBadInfoBitmap = -1405,
  errFSNameTooLong = -1410,
  errFSQuotaExceeded = -1425,
  errFSOperationNotSupported = -1426,
  errFSAttributeNotFound = -1427,
  afpAccessDenied = -5000,
  afpItemNotFound = -5018,
  afpObjectTypeErr = -5025,

  // Memory Manager.
  memFullErr = -108,
  nilHandleErr = -109,
  memWZErr = -111,
  memLockedErr = -117,

  // Resource Manager.
  resNotFound = -192,

  // Process Manager.
  procNotFound = -600,
  appIsDaemon = -606,
  connectionInvalid = -609,
  noUserInteractionAllowed = -610,

  // Apple Event Manager.
  errAECoercionFail = -1700,
  errAEDescNotFound = -1701,
  errAECorruptData = -1702,
  errAEWrongDataType = -1703,
  errAENotAEDesc = -1704,
  errAEBadListItem = -1705,
  errAENewerVersion = -1706,
  errAENotAppleEvent = -1707,
  errAEEventNotHandled = -1708,
  errAEReplyNotValid = -1709,
  errAEUnknownSendMode = -1710,
  errAEWaitCanceled = -1711,
  errAETimeout = -1712,
  errAENoUserInteraction = -1713,
  errAENotASpecialFunction = -1714,
  errAEParamMissed = -1715,
  errAEUnknownAddressType = -1716,
  errAEHandlerNotFound = -1717,
  errAEReplyNotArrived = -1718,
  errAEIllegalIndex = -1719,
  errAEImpossibleRange = -1720,
  errAEWrongNumberArgs = -1721,
  errAEAccessorNotFound = -1723,
  errAENoSuchLogical = -1725,
  errAEBadTestKey = -1726,
  errAENotAnObjSpec = -1727,
  errAENoSuchObject = -1728,
  errAENegativeCount = -1729,
  errAEEmptyListContainer = -1730,
  errAEUnknownObjectType = -1731,
  errAERecordingIsAlreadyOn = -1732,
  errAEBuildSyntaxError = -1740,
  errOSACantOpenComponent = -1762,
  errAEEventFailed = -10000,
  errAETypeError = -10001,
  errAEBadKeyForm = -10002,
  errAENotModifiable = -10003,
  errAEPrivilegeError = -10004,
  errAEReadDenied = -10005,
  errAEWriteDenied = -10006,
  errAEIndexTooLarge = -10007,
  errAENotAnElement = -10008,
  errAECantSupplyType = -10009,
  errAECantHandleClass = -10010,

  // Scrap Manager (Carbon).
  internalScrapErr = -4988,
  duplicateScrapFlavorErr = -4989,
  badScrapRefErr = -4990,
  processStateIncorrectErr = -4991,
  nilScrapFlavorDataErr = -4994,
  scrapFlavorFlagsMismatchErr = -4995,
  scrapFlavorSizeMismatchErr = -4996,
  illegalScrapFlavorFlagsErr = -4997,
  illegalScrapFlavorTypeErr = -4998,
  illegalScrapFlavorSizeErr = -4999,
  scrapFlavorNotFoundErr = -102,

  // CoreFoundation bridge.
  coreFoundationUnknownErr = -4960,

  // Gestalt Manager.
  gestaltUndefSelectorErr = -5551,
  gestaltDupSelectorErr = -5552,
  gestaltLocationErr = -5553,

  // Carbon Event Manager.
  eventNotHandledErr = -9874,
  eventLoopTimedOutErr = -9875,
  eventLoopQuitErr = -9876,

  // Launch Services.
  kLSUnknownErr = -10810,
  kLSApplicationNotFoundErr = -10814,
};
