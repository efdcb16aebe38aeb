// CarbonEvents.h — the Carbon event loop subset: the main loop, running it
// for a while, quitting it, and one-shot or repeating timers.
//
// Everything runs on the thread that runs the loop (the main thread): timers,
// incoming Apple events and other sources (notifications) are dispatched from
// RunApplicationEventLoop and RunCurrentEventLoop, never from another thread.
#pragma once

#include "platform/core/MacTypes.h"

typedef struct OpaqueEventLoopRef* EventLoopRef;
typedef struct OpaqueEventLoopTimerRef* EventLoopTimerRef;
typedef void (*EventLoopTimerProcPtr)(EventLoopTimerRef inTimer, void* inUserData);
typedef EventLoopTimerProcPtr EventLoopTimerUPP;

EventLoopRef GetMainEventLoop(void);
EventLoopRef GetCurrentEventLoop(void);

// Runs the main loop until QuitApplicationEventLoop is called (from a timer,
// a handler, or a nested loop run inside one of them).
void RunApplicationEventLoop(void);
void QuitApplicationEventLoop(void);

// Runs the loop for at most `inTimeout` seconds, dispatching what is due.
// Returns eventLoopTimedOutErr when the time ran out, eventLoopQuitErr when
// QuitEventLoop/QuitApplicationEventLoop ended it, noErr otherwise.
OSStatus RunCurrentEventLoop(EventTimeout inTimeout);
OSStatus QuitEventLoop(EventLoopRef inEventLoop);

// A timer fires first `inFireDelay` seconds from now, then every `inInterval`
// seconds (0: once). Timers with equal deadlines fire in the order they were
// set. `outTimer` may be NULL.
OSStatus InstallEventLoopTimer(EventLoopRef inEventLoop, EventTimerInterval inFireDelay,
                               EventTimerInterval inInterval, EventLoopTimerUPP inTimerProc,
                               void* inTimerData, EventLoopTimerRef* outTimer);
OSStatus RemoveEventLoopTimer(EventLoopTimerRef inTimer);
// Makes the timer fire once more, `inNextFire` seconds from now.
OSStatus SetEventLoopTimerNextFireTime(EventLoopTimerRef inTimer, EventTimerInterval inNextFire);

EventLoopTimerUPP NewEventLoopTimerUPP(EventLoopTimerProcPtr userRoutine);
void DisposeEventLoopTimerUPP(EventLoopTimerUPP userUPP);

// Seconds since an arbitrary fixed point (monotonic).
EventTime GetCurrentEventTime(void);
