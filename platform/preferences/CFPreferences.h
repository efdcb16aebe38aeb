// CFPreferences.h — preferences (CFPreferences) and property-list data.
//
// A preferences domain is an application ID with a user scope and a host
// scope. Each domain is one property-list file (docs/platform.md,
// "## Preferences"): per-user domains in $XDG_CONFIG_HOME/macplatform/
// Preferences, any-user domains in the system folder's Preferences; host-
// specific domains in a ByHost subfolder. Changes stay in the process until a
// synchronization merges them into the file: keys this process set or
// deleted replace the file's, keys it did not touch keep the file's value.
//
// Values are property-list types only: CFString, CFNumber, CFBoolean, CFData,
// CFArray and CFDictionary with string keys. What a Copy or Create function
// returns belongs to the caller, who releases it with CFRelease. An
// application ID that could name a file outside its folder (empty, "." or
// "..", a slash or a NUL) is refused: nothing is read or written.
#pragma once

#include "platform/corefoundation/CoreFoundation.h"

// Scopes. kCFPreferencesAnyApplication is the domain shared by every
// application (.GlobalPreferences); kCFPreferencesCurrentApplication is the
// running program's own name.
extern const CFStringRef kCFPreferencesAnyApplication;
extern const CFStringRef kCFPreferencesCurrentApplication;
extern const CFStringRef kCFPreferencesAnyHost;
extern const CFStringRef kCFPreferencesCurrentHost;
extern const CFStringRef kCFPreferencesAnyUser;
extern const CFStringRef kCFPreferencesCurrentUser;

// ---------------------------------------------------------------------------
// Application preferences: the domain (current user, any host).

// The value under `key`, or NULL. The caller releases it.
CFPropertyListRef CFPreferencesCopyAppValue(CFStringRef key, CFStringRef applicationID);
// Sets `key` (a NULL value removes it) until the next synchronization.
void CFPreferencesSetAppValue(CFStringRef key, CFPropertyListRef value,
                              CFStringRef applicationID);
// A Boolean read of `key`: a CFBoolean, a number (non-zero is true) or one of
// the strings "YES"/"true"/"1" and "NO"/"false"/"0". False, with
// *keyExistsAndHasValidFormat false, for anything else; the flag may be NULL.
Boolean CFPreferencesGetAppBooleanValue(CFStringRef key, CFStringRef applicationID,
                                        Boolean* keyExistsAndHasValidFormat);
// An integer read of `key`: a number (reals cut toward zero) or a string of
// decimal digits. 0, with the flag false, for anything else.
CFIndex CFPreferencesGetAppIntegerValue(CFStringRef key, CFStringRef applicationID,
                                        Boolean* keyExistsAndHasValidFormat);
// Synchronizes the domain (current user, any host) of the application.
Boolean CFPreferencesAppSynchronize(CFStringRef applicationID);

// ---------------------------------------------------------------------------
// Any domain: these read and write exactly the domain named, never another.
// userName is kCFPreferencesCurrentUser, kCFPreferencesAnyUser or the name of
// the user running the process; hostName is kCFPreferencesCurrentHost or
// kCFPreferencesAnyHost. Other scopes are refused.

CFPropertyListRef CFPreferencesCopyValue(CFStringRef key, CFStringRef applicationID,
                                         CFStringRef userName, CFStringRef hostName);
// A NULL value deletes the key.
void CFPreferencesSetValue(CFStringRef key, CFPropertyListRef value, CFStringRef applicationID,
                           CFStringRef userName, CFStringRef hostName);
// The keys of the domain in sorted order, or NULL when it holds none.
CFArrayRef CFPreferencesCopyKeyList(CFStringRef applicationID, CFStringRef userName,
                                    CFStringRef hostName);
// The values of `keysToFetch` (every key when NULL) as a dictionary; keys
// without a value are left out. NULL only for a refused domain.
CFDictionaryRef CFPreferencesCopyMultiple(CFArrayRef keysToFetch, CFStringRef applicationID,
                                          CFStringRef userName, CFStringRef hostName);
// Writes this process's changes of the domain into its file (under a lock,
// merged with what other processes wrote) and re-reads the file. False when
// the domain is refused or the file cannot be written; the changes are then
// kept for the next try.
Boolean CFPreferencesSynchronize(CFStringRef applicationID, CFStringRef userName,
                                 CFStringRef hostName);

// ---------------------------------------------------------------------------
// Property-list data. The preferences library owns the property-list coder,
// so these CoreFoundation calls live here.

typedef CFOptionFlags CFPropertyListMutabilityOptions;
enum {
  kCFPropertyListImmutable = 0,
  kCFPropertyListMutableContainers = 1,
  kCFPropertyListMutableContainersAndLeaves = 2,
};

// Parses an XML or binary property list. Returns the root (immutable
// whatever the option asks) or NULL; on failure *errorString (may be NULL)
// receives a message that the caller releases.
CFPropertyListRef CFPropertyListCreateFromXMLData(CFAllocatorRef allocator, CFDataRef xmlData,
                                                  CFOptionFlags mutabilityOption,
                                                  CFStringRef* errorString);
// The XML property list of `propertyList`, or NULL when it holds a value
// that is not a property-list type.
CFDataRef CFPropertyListCreateXMLData(CFAllocatorRef allocator, CFPropertyListRef propertyList);
