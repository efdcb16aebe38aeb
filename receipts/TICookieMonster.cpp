// TICookieMonster.cpp — the receipt store; see TICookieMonster.h.
//
// Sections: the two domains; reading a stored receipt; the class operations;
// the instance operations.
#include "receipts/TICookieMonster.h"

#include "platform/preferences/CFPreferences.h"

// ---------------------------------------------------------------------------
// The two domains: global (all users of this computer) and local (the
// current user on any computer).

static void TISetValue(CFStringRef key, CFPropertyListRef value, UInt8 global) {
  if (global)
    CFPreferencesSetValue(key, value, kTIReceiptsApplicationID, kCFPreferencesAnyUser,
                          kCFPreferencesCurrentHost);
  else
    CFPreferencesSetValue(key, value, kTIReceiptsApplicationID, kCFPreferencesCurrentUser,
                          kCFPreferencesAnyHost);
}

static CFPropertyListRef TICopyValue(CFStringRef key, UInt8 global) {
  if (global)
    return CFPreferencesCopyValue(key, kTIReceiptsApplicationID, kCFPreferencesAnyUser,
                                  kCFPreferencesCurrentHost);
  return CFPreferencesCopyValue(key, kTIReceiptsApplicationID, kCFPreferencesCurrentUser,
                                kCFPreferencesAnyHost);
}

// Global first, then local; the results are not checked (a write the
// platform refuses goes unreported).
static void TISynchronizeBoth(void) {
  CFPreferencesSynchronize(kTIReceiptsApplicationID, kCFPreferencesAnyUser, kCFPreferencesCurrentHost);
  CFPreferencesSynchronize(kTIReceiptsApplicationID, kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
}

// ---------------------------------------------------------------------------
// Reading a stored receipt. Another program may have written the key, so its
// shape is checked: a value that is not a dictionary counts as no receipt; a
// "Files" that is not an array gives no paths and its elements that are not
// strings are skipped; a "Version" that is not a number counts as 0.

static Boolean TIReadReceipt(CFPropertyListRef value, CFMutableArrayRef files, UInt32* version) {
  if (value == nullptr || CFGetTypeID(value) != CFDictionaryGetTypeID()) return false;
  auto receipt = static_cast<CFDictionaryRef>(value);
  auto storedFiles = static_cast<CFArrayRef>(CFDictionaryGetValue(receipt, CFSTR("Files")));
  if (storedFiles != nullptr && CFGetTypeID(storedFiles) == CFArrayGetTypeID()) {
    for (CFIndex i = 0; i < CFArrayGetCount(storedFiles); ++i) {
      const void* path = CFArrayGetValueAtIndex(storedFiles, i);
      if (path != nullptr && CFGetTypeID(path) == CFStringGetTypeID()) CFArrayAppendValue(files, path);
    }
  }
  SInt32 stored = 0;
  auto storedVersion = static_cast<CFNumberRef>(CFDictionaryGetValue(receipt, CFSTR("Version")));
  if (storedVersion != nullptr && CFGetTypeID(storedVersion) == CFNumberGetTypeID())
    CFNumberGetValue(storedVersion, kCFNumberSInt32Type, &stored);
  *version = static_cast<UInt32>(stored);
  return true;
}

// ---------------------------------------------------------------------------
// The class operations.

TICookieMonsterRef TICookieMonster::MonsterWithProductIDGlobalVersion(CFStringRef productID, UInt8 global,
                                                                      UInt32 version) {
  if (productID == nullptr) return nullptr;
  TICookieMonsterRef monster(new TICookieMonster);
  monster->InitWithProductIDGlobalVersionValidGlobalVersion(productID, 1, global, version);
  return monster;
}

TICookieMonsterRef TICookieMonster::MonsterWithProductID(CFStringRef productID) {
  if (productID == nullptr) return nullptr;
  TICookieMonsterRef monster(new TICookieMonster);
  monster->InitWithProductIDGlobalVersionValidGlobalVersion(productID, 0, 0, 0);
  return monster;
}

void TICookieMonster::RemoveProductID(CFStringRef productID) {
  if (productID == nullptr) return;
  TISetValue(productID, nullptr, 0);
  TISetValue(productID, nullptr, 1);
  TISynchronizeBoth();
}

// ---------------------------------------------------------------------------
// The instance operations.

TICookieMonster* TICookieMonster::InitWithProductIDGlobalVersionValidGlobalVersion(
    CFStringRef theProductID, UInt8 globalVersionValid, UInt8 global, UInt32 theVersion) {
  if (theProductID != nullptr) CFRetain(theProductID);
  if (productID != nullptr) CFRelease(productID);
  if (files != nullptr) CFRelease(files);
  productID = theProductID;
  cachedVersion = 0;
  isGlobal = global;
  version = theVersion;
  files = CFArrayCreateMutable(kCFAllocatorDefault, 0, &kCFTypeArrayCallBacks);

  TISynchronizeBoth();
  CFPropertyListRef stored = productID != nullptr ? TICopyValue(productID, 1) : nullptr;
  if (TIReadReceipt(stored, files, &cachedVersion)) {
    if (!globalVersionValid) isGlobal = 1;
  } else {
    if (stored != nullptr) CFRelease(stored);
    stored = productID != nullptr ? TICopyValue(productID, 0) : nullptr;
    if (TIReadReceipt(stored, files, &cachedVersion) && !globalVersionValid) isGlobal = 0;
  }
  if (stored != nullptr) CFRelease(stored);

  if (cachedVersion == 0) cachedVersion = theVersion;
  if (!globalVersionValid) version = cachedVersion;
  dirty = 0;
  return this;
}

TICookieMonster::~TICookieMonster() {
  Flush();
  if (productID != nullptr) CFRelease(productID);
  if (files != nullptr) CFRelease(files);
}

void TICookieMonster::AddFile(CFStringRef path) {
  if (path == nullptr || files == nullptr) return;
  if (CFArrayContainsValue(files, CFRangeMake(0, CFArrayGetCount(files)), path)) return;
  CFArrayAppendValue(files, path);
  dirty = 1;
}

void TICookieMonster::RemoveFile(CFStringRef) {}

void TICookieMonster::Flush() {
  if (!dirty || productID == nullptr) return;
  SInt32 storedVersion = static_cast<SInt32>(version);
  CFNumberRef versionNumber = CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &storedVersion);
  const void* keys[] = {CFSTR("Version"), CFSTR("Files")};
  const void* values[] = {versionNumber, files};
  CFDictionaryRef receipt = CFDictionaryCreate(kCFAllocatorDefault, keys, values, 2,
                                               &kCFTypeDictionaryKeyCallBacks,
                                               &kCFTypeDictionaryValueCallBacks);
  TISetValue(productID, nullptr, !isGlobal);
  TISetValue(productID, receipt, isGlobal);
  TISynchronizeBoth();
  CFRelease(receipt);
  CFRelease(versionNumber);
  dirty = 0;
}
