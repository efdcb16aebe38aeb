// EventLoopSources.h — how other platform managers feed the event loop.
//
// Internal to platform/. A manager that receives data on a file descriptor
// (Apple-event sockets, the session bus) adds it as a source; the loop polls
// it together with its timers and calls the callback on the loop's thread
// when the descriptor is ready.
#pragma once

#include <functional>

namespace macplatform::eventloop {

using SourceId = int;

// Watches `fd` for `events` (POLLIN, POLLOUT). `ready` receives the poll
// revents. The callback may add or remove sources, including itself.
SourceId AddFdSource(int fd, short events, std::function<void(short revents)> ready);
void RemoveFdSource(SourceId id);
// Changes what a source waits for; 0 keeps it registered but never polled
// (a connection whose frame is being handled, for instance).
void SetFdSourceEvents(SourceId id, short events);

// Runs one turn of the loop with a wait of at most `seconds` (0: do not
// wait): due timers, then ready sources, then deferred calls. Used by code
// that must keep the loop alive while it waits for something else.
void RunOnce(double seconds);

// Queues `call` to run on the loop's thread at the end of the current or next
// turn (for work that must not run inside the caller's stack frame).
void Defer(std::function<void()> call);

}  // namespace macplatform::eventloop
