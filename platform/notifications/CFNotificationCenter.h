// CFNotificationCenter.h — the distributed notification center subset:
// notifications posted by name and object string, delivered to observers in
// every process of the user, the posting process included.
//
// Notifications travel over the D-Bus session bus (docs/platform.md gives
// the signal). An observer's callback runs on the observing process's event
// loop (RunApplicationEventLoop, RunCurrentEventLoop), never on another
// thread and never inside the call that posted. Every call is for the main
// thread. Without a reachable session bus, posting and observing quietly do
// nothing, as the system never reports these failures.
#pragma once

#include "platform/core/MacTypes.h"
#include "platform/corefoundation/CoreFoundation.h"

typedef struct __CFNotificationCenter* CFNotificationCenterRef;

typedef void (*CFNotificationCallback)(CFNotificationCenterRef center, void* observer,
                                       CFStringRef name, const void* object,
                                       CFDictionaryRef userInfo);

// Accepted and kept for the caller's sake; a process is never suspended here,
// so every behaviour delivers as soon as the observer's loop runs.
typedef CFIndex CFNotificationSuspensionBehavior;
enum {
  kCFNotificationSuspensionBehaviorDrop = 1,
  kCFNotificationSuspensionBehaviorCoalesce = 2,
  kCFNotificationSuspensionBehaviorHold = 3,
  kCFNotificationSuspensionBehaviorDeliverImmediately = 4,
};

// The one distributed center of the process (never released).
CFNotificationCenterRef CFNotificationCenterGetDistributedCenter(void);

// Posts `name` with `object` (a CFStringRef or NULL) to every observing
// process. `userInfo` is not carried: observers always get NULL. The call
// returns once the notification is on its way (bounded wait), so a process
// may exit right after posting.
void CFNotificationCenterPostNotification(CFNotificationCenterRef center, CFStringRef name,
                                          const void* object, CFDictionaryRef userInfo,
                                          Boolean deliverImmediately);

// Registers `callBack` for notifications called `name` (NULL: every name)
// whose object equals `object` (CFEqual; NULL: any object). The center keeps
// its own copies of `name` and `object`; `observer` is only an identity,
// handed back to the callback. Each call adds one registration.
void CFNotificationCenterAddObserver(CFNotificationCenterRef center, const void* observer,
                                     CFNotificationCallback callBack, CFStringRef name,
                                     const void* object,
                                     CFNotificationSuspensionBehavior suspensionBehavior);

// Removes the observer's registrations for `name` (NULL: all names) and
// `object` (NULL: any object).
void CFNotificationCenterRemoveObserver(CFNotificationCenterRef center, const void* observer,
                                        CFStringRef name, const void* object);
void CFNotificationCenterRemoveEveryObserver(CFNotificationCenterRef center, const void* observer);
