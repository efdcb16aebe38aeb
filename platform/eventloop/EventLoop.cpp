// EventLoop.cpp — the main thread's event loop: timers, fd sources and
// deferred calls, run in one fixed order per turn.
//
// Sections:
//   1. Time        — one monotonic clock, delays clamped to a sane range.
//   2. Timers      — a min-heap of (deadline, order set) with lazy removal.
//   3. Sources     — file descriptors polled between timers and deferred calls.
//   4. Turns       — time, due timers, ready sources, deferred calls.
//   5. Runs        — RunCurrentEventLoop, RunApplicationEventLoop, quitting.
//
// Everything here belongs to the thread that runs the loop; nothing is locked.
// Callbacks may run the loop again (nested runs): every phase first copies
// what it is about to call, and checks that it still exists right before
// the call, so a callback may add or remove anything, itself included.
#include <poll.h>
#include <time.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <queue>
#include <unordered_map>
#include <vector>

#include "platform/core/SysCalls.h"
#include "platform/eventloop/CarbonEvents.h"
#include "platform/eventloop/EventLoopSources.h"

struct OpaqueEventLoopRef {
  int unused;
};

struct OpaqueEventLoopTimerRef {
  UInt64 id;               // unique for the life of the process
  EventLoopTimerUPP proc;
  void* data;
  double interval;         // 0: one shot
  double deadline;         // valid while armed
  UInt64 generation;       // heap entries of older generations are stale
  bool armed;
  bool firing;             // inside its own callback
};

namespace {

// ---------------------------------------------------------------------------
// 1. Time.

// Longest delay honoured; anything longer (or infinite) is clamped to it, so
// deadline arithmetic never overflows into the past. About 31 years.
constexpr double kMaxDelay = 1.0e9;

double Now() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// A delay as the loop uses it: NaN and negative become 0, huge is clamped.
double ClampDelay(double seconds) {
  if (std::isnan(seconds) || seconds < 0) return 0;
  return seconds > kMaxDelay ? kMaxDelay : seconds;
}

// ---------------------------------------------------------------------------
// 2. Timers.

OpaqueEventLoopRef gMainLoop;

struct HeapEntry {
  double deadline;
  UInt64 order;  // when it was set: equal deadlines fire first-set first
  EventLoopTimerRef timer;
  UInt64 id;
  UInt64 generation;
};
struct Later {
  bool operator()(const HeapEntry& a, const HeapEntry& b) const {
    if (a.deadline != b.deadline) return a.deadline > b.deadline;
    return a.order > b.order;
  }
};

std::priority_queue<HeapEntry, std::vector<HeapEntry>, Later> gHeap;
std::unordered_map<EventLoopTimerRef, std::unique_ptr<OpaqueEventLoopTimerRef>> gTimers;
UInt64 gNextTimerId = 1;
UInt64 gNextOrder = 1;

bool TimerLive(EventLoopTimerRef timer, UInt64 id) {
  auto it = gTimers.find(timer);
  return it != gTimers.end() && it->second->id == id;
}

void Arm(EventLoopTimerRef timer, double deadline) {
  timer->armed = true;
  timer->deadline = deadline;
  ++timer->generation;
  gHeap.push({deadline, gNextOrder++, timer, timer->id, timer->generation});
}

void Disarm(EventLoopTimerRef timer) {
  timer->armed = false;
  ++timer->generation;  // its heap entry goes stale
}

// Drops stale entries from the top of the heap.
void PruneHeap() {
  while (!gHeap.empty()) {
    const HeapEntry& top = gHeap.top();
    if (TimerLive(top.timer, top.id) && top.timer->armed && top.generation == top.timer->generation)
      return;
    gHeap.pop();
  }
}

// The earliest armed deadline, or +infinity.
double NextDeadline() {
  PruneHeap();
  return gHeap.empty() ? INFINITY : gHeap.top().deadline;
}

// Fires every timer due at `now` that was set before this phase began; a
// timer armed by a callback with a zero delay waits for the next turn, so a
// callback that re-arms itself cannot starve the fd sources.
void RunTimers(double now) {
  const UInt64 phaseOrder = gNextOrder;
  std::vector<HeapEntry> due;
  for (;;) {
    PruneHeap();
    if (gHeap.empty()) break;
    const HeapEntry& top = gHeap.top();
    if (top.deadline > now || top.order >= phaseOrder) break;
    due.push_back(top);
    gHeap.pop();
  }
  for (const HeapEntry& entry : due) {
    EventLoopTimerRef timer = entry.timer;
    // An earlier callback of this phase may have removed or re-armed it.
    if (!TimerLive(timer, entry.id) || !timer->armed || timer->generation != entry.generation)
      continue;
    // A one-shot timer is disarmed before its callback, which may arm it
    // again. A repeating timer is re-armed after its callback returns, so a
    // nested run inside the callback never enters it a second time.
    Disarm(timer);
    const UInt64 id = timer->id;
    const double interval = timer->interval;
    const double deadline = entry.deadline;
    timer->firing = true;
    if (timer->proc != nullptr) timer->proc(timer, timer->data);
    if (!TimerLive(timer, id)) continue;  // removed from inside its callback
    timer->firing = false;
    if (interval > 0 && !timer->armed) {
      // The next multiple of the interval after now: a late tick is not
      // followed by a burst of catch-up ticks.
      double next = deadline + interval;
      const double after = Now();
      if (next <= after) next = after + interval - std::fmod(after - deadline, interval);
      Arm(timer, next);
    }
  }
}

// ---------------------------------------------------------------------------
// 3. Sources.

struct Source {
  int fd;
  short events;
  std::shared_ptr<std::function<void(short)>> ready;
};
std::map<macplatform::eventloop::SourceId, Source> gSources;
macplatform::eventloop::SourceId gNextSourceId = 1;

std::deque<std::function<void()>> gDeferred;

// ---------------------------------------------------------------------------
// 4. Turns.

// One run of RunCurrentEventLoop or RunApplicationEventLoop.
struct RunFrame {
  bool quit = false;
};
std::vector<RunFrame*> gRuns;
bool gPendingQuit = false;  // QuitEventLoop with no run to end: ends the next one
bool gAppQuit = false;      // QuitApplicationEventLoop, until the app loop sees it
int gAppRuns = 0;           // RunApplicationEventLoop calls on the stack

bool QuitRequested(const RunFrame& frame) {
  return frame.quit || (gAppRuns > 0 && gAppQuit);
}

int PollTimeoutMs(double seconds) {
  if (std::isinf(seconds)) return -1;
  if (seconds <= 0) return 0;
  const double ms = std::ceil(seconds * 1000.0);
  return ms >= double(INT_MAX) ? INT_MAX : int(ms);
}

// One turn: time, due timers, ready sources (waiting at most `maxWait`
// seconds, +infinity for no limit), deferred calls.
void Turn(double maxWait, const RunFrame* frame) {
  RunTimers(Now());

  double wait = maxWait;
  if (!gDeferred.empty() || (frame != nullptr && QuitRequested(*frame))) wait = 0;
  const double next = NextDeadline();
  if (!std::isinf(next)) {
    const double untilTimer = next - Now();
    if (untilTimer < wait) wait = untilTimer < 0 ? 0 : untilTimer;
  }

  std::vector<pollfd> fds;
  std::vector<macplatform::eventloop::SourceId> ids;
  fds.reserve(gSources.size());
  ids.reserve(gSources.size());
  for (const auto& [id, source] : gSources) {
    if (source.events == 0) continue;
    fds.push_back({source.fd, source.events, 0});
    ids.push_back(id);
  }
  const int n = macplatform::sys::Poll(fds.data(), fds.size(), PollTimeoutMs(wait));
  if (n > 0) {
    for (size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].revents == 0) continue;
      auto it = gSources.find(ids[i]);
      if (it == gSources.end() || it->second.fd != fds[i].fd) continue;  // removed meanwhile
      auto ready = it->second.ready;  // keeps the callback alive if it removes itself
      (*ready)(fds[i].revents);
    }
  }

  // Deferred calls queued before this phase; later ones wait for the next turn.
  size_t count = gDeferred.size();
  while (count-- > 0 && !gDeferred.empty()) {
    std::function<void()> call = std::move(gDeferred.front());
    gDeferred.pop_front();
    if (call) call();
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// 5. Runs and the public face.

EventLoopRef GetMainEventLoop(void) { return &gMainLoop; }
EventLoopRef GetCurrentEventLoop(void) { return &gMainLoop; }

void RunApplicationEventLoop(void) {
  RunFrame frame;
  gRuns.push_back(&frame);
  ++gAppRuns;
  if (gPendingQuit) {
    gPendingQuit = false;
    frame.quit = true;
  }
  while (!frame.quit && !gAppQuit) Turn(INFINITY, &frame);
  // The quit is consumed here and nowhere else, so a quit asked for inside a
  // nested run is never lost on the way out.
  gAppQuit = false;
  --gAppRuns;
  gRuns.pop_back();
}

void QuitApplicationEventLoop(void) { gAppQuit = true; }

OSStatus RunCurrentEventLoop(EventTimeout inTimeout) {
  RunFrame frame;
  if (gPendingQuit) {
    gPendingQuit = false;
    return eventLoopQuitErr;
  }
  if (gAppRuns > 0 && gAppQuit) return eventLoopQuitErr;
  const double deadline =
      (std::isnan(inTimeout) || inTimeout < 0) ? INFINITY : Now() + ClampDelay(inTimeout);
  gRuns.push_back(&frame);
  OSStatus result = eventLoopTimedOutErr;
  for (;;) {
    const double left = deadline - Now();
    Turn(left > 0 ? left : 0, &frame);
    if (QuitRequested(frame)) {
      result = eventLoopQuitErr;
      break;
    }
    if (Now() >= deadline) break;
  }
  gRuns.pop_back();
  return result;
}

OSStatus QuitEventLoop(EventLoopRef inEventLoop) {
  if (inEventLoop != &gMainLoop) return paramErr;
  if (gRuns.empty())
    gPendingQuit = true;
  else
    gRuns.back()->quit = true;
  return noErr;
}

OSStatus InstallEventLoopTimer(EventLoopRef inEventLoop, EventTimerInterval inFireDelay,
                               EventTimerInterval inInterval, EventLoopTimerUPP inTimerProc,
                               void* inTimerData, EventLoopTimerRef* outTimer) {
  if (inEventLoop != &gMainLoop || inTimerProc == nullptr) return paramErr;
  auto owned = std::make_unique<OpaqueEventLoopTimerRef>();
  EventLoopTimerRef timer = owned.get();
  timer->id = gNextTimerId++;
  timer->proc = inTimerProc;
  timer->data = inTimerData;
  timer->interval = ClampDelay(inInterval);
  timer->generation = 0;
  timer->armed = false;
  timer->firing = false;
  gTimers.emplace(timer, std::move(owned));
  // kEventDurationForever (any negative delay): installed but not armed
  // until SetEventLoopTimerNextFireTime.
  if (!(inFireDelay < 0)) Arm(timer, Now() + ClampDelay(inFireDelay));
  if (outTimer != nullptr) *outTimer = timer;
  return noErr;
}

OSStatus RemoveEventLoopTimer(EventLoopTimerRef inTimer) {
  auto it = gTimers.find(inTimer);
  if (inTimer == nullptr || it == gTimers.end()) return paramErr;
  gTimers.erase(it);  // heap entries naming it are dropped lazily by id
  return noErr;
}

OSStatus SetEventLoopTimerNextFireTime(EventLoopTimerRef inTimer, EventTimerInterval inNextFire) {
  if (inTimer == nullptr || gTimers.find(inTimer) == gTimers.end()) return paramErr;
  if (inNextFire < 0) {  // kEventDurationForever: stays installed, never fires
    Disarm(inTimer);
    return noErr;
  }
  Arm(inTimer, Now() + ClampDelay(inNextFire));
  return noErr;
}

EventLoopTimerUPP NewEventLoopTimerUPP(EventLoopTimerProcPtr userRoutine) { return userRoutine; }
void DisposeEventLoopTimerUPP(EventLoopTimerUPP) {}

EventTime GetCurrentEventTime(void) { return Now(); }

namespace macplatform::eventloop {

SourceId AddFdSource(int fd, short events, std::function<void(short revents)> ready) {
  const SourceId id = gNextSourceId++;
  gSources.emplace(id, Source{fd, events, std::make_shared<std::function<void(short)>>(std::move(ready))});
  return id;
}

void RemoveFdSource(SourceId id) { gSources.erase(id); }

void SetFdSourceEvents(SourceId id, short events) {
  auto it = gSources.find(id);
  if (it != gSources.end()) it->second.events = events;
}

void RunOnce(double seconds) {
  Turn((std::isnan(seconds) || seconds < 0) ? INFINITY : ClampDelay(seconds), nullptr);
}

void Defer(std::function<void()> call) { gDeferred.push_back(std::move(call)); }

}  // namespace macplatform::eventloop
