// TICookieMonster.h — the installer receipt store: for one product, the paths
// an installation put on the disk and the version installed, kept in the
// preferences under the application ID "Tolvane Installer Receipts".
//
// Stored format (read by the product's installer and uninstaller too): in the
// global domain (kCFPreferencesAnyUser, kCFPreferencesCurrentHost) or the
// local domain (kCFPreferencesCurrentUser, kCFPreferencesAnyHost), the key is
// the product ID and the value a dictionary with "Version" (a signed 32-bit
// number) and "Files" (an array of path strings, in recording order). After a
// write by this class a product's receipt is in exactly one domain.
//
// Operations are named after the selectors of the class: each selector piece
// is capitalised and the pieces are joined, colons dropped.
//   +monsterWithProductID:global:version:  -> MonsterWithProductIDGlobalVersion
//   +monsterWithProductID:                 -> MonsterWithProductID
//   +removeProductID:                      -> RemoveProductID
//   -initWithProductID:globalVersionValid:global:version:
//                                -> InitWithProductIDGlobalVersionValidGlobalVersion
//   -isGlobal -> IsGlobal    -productVersion -> ProductVersion
//   -addFile: -> AddFile     -removeFile:    -> RemoveFile
//   -filesToRemove -> FilesToRemove          -flush -> Flush
//   -dealloc -> the destructor (it flushes first)
// The factories hand out an owner (TICookieMonsterRef) instead of an
// autoreleased object: the record lives to the end of the caller's scope and
// is flushed when it goes.
#pragma once

#include <memory>

#include "platform/corefoundation/CoreFoundation.h"

// The preferences application ID of the receipt store.
#define kTIReceiptsApplicationID CFSTR("Tolvane Installer Receipts")

class TICookieMonster;
using TICookieMonsterRef = std::unique_ptr<TICookieMonster>;

class TICookieMonster {
 public:
  // Null product ID: null. Otherwise a record loaded with globalVersionValid
  // 1: the given scope and version are the ones a flush writes.
  static TICookieMonsterRef MonsterWithProductIDGlobalVersion(CFStringRef productID, UInt8 global,
                                                              UInt32 version);
  // Null product ID: null. Otherwise a record whose scope and version come
  // from the stored receipt (local and 0 when there is none).
  static TICookieMonsterRef MonsterWithProductID(CFStringRef productID);
  // Deletes the product's receipt from the local, then the global domain, and
  // synchronizes both. A null product ID does nothing.
  static void RemoveProductID(CFStringRef productID);

  TICookieMonster() = default;
  // dealloc: flushes, then releases productID and files.
  ~TICookieMonster();
  TICookieMonster(const TICookieMonster&) = delete;
  TICookieMonster& operator=(const TICookieMonster&) = delete;

  // Loads the product's receipt: the global domain's if there is one, else the
  // local domain's. With globalVersionValid 1 the given scope and version are
  // kept; with 0 they are taken from the receipt found. Returns this.
  TICookieMonster* InitWithProductIDGlobalVersionValidGlobalVersion(CFStringRef productID,
                                                                    UInt8 globalVersionValid,
                                                                    UInt8 global, UInt32 version);
  UInt8 IsGlobal() const { return isGlobal; }
  // The version found in the store when loaded (cachedVersion).
  UInt32 ProductVersion() const { return cachedVersion; }
  // Appends the path unless an equal string is already listed; marks the
  // record dirty when it does.
  void AddFile(CFStringRef path);
  // Does nothing: the list and the dirty flag stay as they are.
  void RemoveFile(CFStringRef path);
  // The record's own list (borrowed): stored paths, then added ones.
  CFArrayRef FilesToRemove() const { return files; }
  // Writes the record when it is dirty: deletes the product's key in the
  // other domain, sets it in the record's domain, synchronizes the global then
  // the local domain, and clears dirty. A clean record touches nothing.
  void Flush();

  // The record's fields, public as in a plain record.
  CFStringRef productID = nullptr;     // owned
  CFMutableArrayRef files = nullptr;   // owned; CFStrings
  UInt8 dirty = 0;
  UInt8 isGlobal = 0;
  UInt32 version = 0;
  UInt32 cachedVersion = 0;
};
