// EventLoopTest.cpp — timers (zero, huge, re-armed, tied, removed from their
// own callback), nested runs and quitting, fd sources and deferred calls.
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/eventloop/CarbonEvents.h"
#include "platform/eventloop/EventLoopSources.h"
#include "testing/TestSupport.h"

namespace el = macplatform::eventloop;

namespace {

// Runs the loop in short slices until `done` or a generous deadline.
bool RunUntil(const std::function<bool()>& done) {
  return tw::test::WaitFor([&] {
    RunCurrentEventLoop(0.01);
    return done();
  });
}

struct Log {
  std::vector<std::string> entries;
  EventLoopTimerRef timer = nullptr;
  int count = 0;
};

void Record(EventLoopTimerRef, void* data) {
  auto* name = static_cast<std::pair<Log*, std::string>*>(data);
  name->first->entries.push_back(name->second);
}

TEST(EventLoopTimers, ZeroDelayFiresOnTheNextTurnAndOneShotStaysInstalled) {
  Log log;
  std::pair<Log*, std::string> a{&log, "a"};
  EventLoopTimerRef timer = nullptr;
  ASSERT_EQ(noErr, InstallEventLoopTimer(GetMainEventLoop(), 0, 0, Record, &a, &timer));
  EXPECT_EQ(eventLoopTimedOutErr, RunCurrentEventLoop(kEventDurationNoWait));
  EXPECT_EQ(std::vector<std::string>{"a"}, log.entries);
  RunCurrentEventLoop(0.02);
  EXPECT_EQ(1u, log.entries.size()) << "a one-shot timer fires once";
  // Still installed: it can be armed again, and removing it is the only way to free it.
  ASSERT_EQ(noErr, SetEventLoopTimerNextFireTime(timer, 0));
  RunCurrentEventLoop(0);
  EXPECT_EQ(2u, log.entries.size());
  EXPECT_EQ(noErr, RemoveEventLoopTimer(timer));
  EXPECT_EQ(paramErr, SetEventLoopTimerNextFireTime(timer, 0));
}

TEST(EventLoopTimers, HugeAndForeverDelaysNeverFireAndDoNotOverflow) {
  struct Case {
    double delay;
  } cases[] = {{1e300}, {INFINITY}, {kEventDurationForever}, {double(UINT64_MAX)}};
  for (const Case& c : cases) {
    Log log;
    std::pair<Log*, std::string> a{&log, "huge"};
    EventLoopTimerRef timer = nullptr;
    ASSERT_EQ(noErr, InstallEventLoopTimer(GetMainEventLoop(), c.delay, c.delay, Record, &a, &timer));
    const EventTime start = GetCurrentEventTime();
    EXPECT_EQ(eventLoopTimedOutErr, RunCurrentEventLoop(0.02));
    EXPECT_TRUE(log.entries.empty()) << c.delay;
    EXPECT_LT(GetCurrentEventTime() - start, 10.0) << "the wait honoured the run's own time-out";
    EXPECT_EQ(noErr, RemoveEventLoopTimer(timer));
  }
}

TEST(EventLoopTimers, TiedAndOrderedDeadlinesFireInTheOrderTheyWereSet) {
  Log log;
  std::pair<Log*, std::string> names[] = {{&log, "late"}, {&log, "1"}, {&log, "2"}, {&log, "3"}};
  std::vector<EventLoopTimerRef> timers(4);
  ASSERT_EQ(noErr, InstallEventLoopTimer(GetMainEventLoop(), 0.03, 0, Record, &names[0], &timers[0]));
  for (int i = 1; i < 4; ++i)
    ASSERT_EQ(noErr, InstallEventLoopTimer(GetMainEventLoop(), 0, 0, Record, &names[i], &timers[i]));
  ASSERT_TRUE(RunUntil([&] { return log.entries.size() == 4; }));
  EXPECT_EQ((std::vector<std::string>{"1", "2", "3", "late"}), log.entries);
  for (EventLoopTimerRef t : timers) RemoveEventLoopTimer(t);
}

void RearmThreeTimes(EventLoopTimerRef timer, void* data) {
  auto* log = static_cast<Log*>(data);
  if (++log->count < 3) SetEventLoopTimerNextFireTime(timer, 0.001);
}

TEST(EventLoopTimers, OneShotReArmedFromItsCallback) {
  Log log;
  ASSERT_EQ(noErr, InstallEventLoopTimer(GetMainEventLoop(), 0, 0, RearmThreeTimes, &log, &log.timer));
  ASSERT_TRUE(RunUntil([&] { return log.count == 3; }));
  RunCurrentEventLoop(0.02);
  EXPECT_EQ(3, log.count);
  EXPECT_EQ(noErr, RemoveEventLoopTimer(log.timer));
}

void RemoveSelfOnSecondTick(EventLoopTimerRef timer, void* data) {
  auto* log = static_cast<Log*>(data);
  if (++log->count == 2) {
    EXPECT_EQ(noErr, RemoveEventLoopTimer(timer));
  }
}

TEST(EventLoopTimers, RepeatingTimerRemovedFromItsOwnCallback) {
  Log log;
  EventLoopTimerRef timer = nullptr;
  ASSERT_EQ(noErr, InstallEventLoopTimer(GetMainEventLoop(), 0, 0.001, RemoveSelfOnSecondTick, &log, &timer));
  ASSERT_TRUE(RunUntil([&] { return log.count == 2; }));
  RunCurrentEventLoop(0.02);
  EXPECT_EQ(2, log.count);
  EXPECT_EQ(paramErr, RemoveEventLoopTimer(timer)) << "already freed";
  EXPECT_EQ(paramErr, InstallEventLoopTimer(GetMainEventLoop(), 0, 0, nullptr, nullptr, nullptr));
}

// A repeating timer whose callback runs the loop: the nested run dispatches
// other timers but never enters the same callback again.
struct Nest {
  int depth = 0;
  int maxDepth = 0;
  int ticks = 0;
  int inner = 0;
};
void InnerTick(EventLoopTimerRef, void* data) { ++static_cast<Nest*>(data)->inner; }
void NestingTick(EventLoopTimerRef, void* data) {
  auto* nest = static_cast<Nest*>(data);
  ++nest->ticks;
  ++nest->depth;
  nest->maxDepth = std::max(nest->maxDepth, nest->depth);
  EventLoopTimerRef inner = nullptr;
  InstallEventLoopTimer(GetMainEventLoop(), 0, 0, InnerTick, nest, &inner);
  EXPECT_EQ(eventLoopTimedOutErr, RunCurrentEventLoop(0.01));
  RemoveEventLoopTimer(inner);
  --nest->depth;
}

TEST(EventLoopRuns, NestedRunsDispatchOtherTimersWithoutReentry) {
  Nest nest;
  EventLoopTimerRef timer = nullptr;
  ASSERT_EQ(noErr, InstallEventLoopTimer(GetMainEventLoop(), 0, 0.001, NestingTick, &nest, &timer));
  ASSERT_TRUE(RunUntil([&] { return nest.ticks >= 3; }));
  RemoveEventLoopTimer(timer);
  EXPECT_EQ(1, nest.maxDepth);
  EXPECT_EQ(nest.ticks, nest.inner);
}

// The pattern of an agent that waits for a reply inside a timer callback
// while its quit handler runs from the idle procedure's nested runs.
struct QuitScenario {
  bool quitAsked = false;
  int nestedResultsAfterQuit = 0;
  bool outerTimerReturned = false;
};
void AskQuit(EventLoopTimerRef, void* data) {
  static_cast<QuitScenario*>(data)->quitAsked = true;
  QuitApplicationEventLoop();
}
void WaitLikeAReply(EventLoopTimerRef, void* data) {
  auto* s = static_cast<QuitScenario*>(data);
  EventLoopTimerRef quitter = nullptr;
  InstallEventLoopTimer(GetMainEventLoop(), 0.005, 0, AskQuit, s, &quitter);
  // Idle procedure: short runs until "the reply" comes (a few runs after the quit).
  for (int i = 0; i < 100000 && s->nestedResultsAfterQuit < 3; ++i) {
    OSStatus result = RunCurrentEventLoop(0.001);
    if (s->quitAsked) {
      EXPECT_EQ(eventLoopQuitErr, result);
      ++s->nestedResultsAfterQuit;
    }
  }
  RemoveEventLoopTimer(quitter);
  s->outerTimerReturned = true;
}

TEST(EventLoopRuns, QuitFromANestedRunEndsTheApplicationLoopOnceControlReturns) {
  QuitScenario s;
  EventLoopTimerRef timer = nullptr;
  ASSERT_EQ(noErr, InstallEventLoopTimer(GetMainEventLoop(), 0, 0, WaitLikeAReply, &s, &timer));
  RunApplicationEventLoop();
  EXPECT_TRUE(s.quitAsked);
  EXPECT_TRUE(s.outerTimerReturned);
  RemoveEventLoopTimer(timer);
  // The quit was consumed by the loop it ended.
  EXPECT_EQ(eventLoopTimedOutErr, RunCurrentEventLoop(0));
}

void QuitInnermost(EventLoopTimerRef, void*) { QuitEventLoop(GetMainEventLoop()); }
void RunNestedUntilQuit(EventLoopTimerRef, void* data) {
  EventLoopTimerRef quitter = nullptr;
  InstallEventLoopTimer(GetMainEventLoop(), 0.002, 0, QuitInnermost, nullptr, &quitter);
  *static_cast<OSStatus*>(data) = RunCurrentEventLoop(kEventDurationForever);
  RemoveEventLoopTimer(quitter);
  QuitEventLoop(GetMainEventLoop());  // now ends the outer run
}

TEST(EventLoopRuns, QuitEventLoopEndsOnlyTheInnermostRun) {
  OSStatus nested = noErr;
  EventLoopTimerRef timer = nullptr;
  ASSERT_EQ(noErr, InstallEventLoopTimer(GetMainEventLoop(), 0, 0, RunNestedUntilQuit, &nested, &timer));
  EXPECT_EQ(eventLoopQuitErr, RunCurrentEventLoop(60));
  EXPECT_EQ(eventLoopQuitErr, nested);
  RemoveEventLoopTimer(timer);
  // Asked for when nothing runs: ends the next run at once.
  ASSERT_EQ(noErr, QuitEventLoop(GetMainEventLoop()));
  EXPECT_EQ(eventLoopQuitErr, RunCurrentEventLoop(60));
  EXPECT_EQ(paramErr, QuitEventLoop(nullptr));
}

TEST(EventLoopSources, FdSourceThenDeferredCallsInOneTurn) {
  int fds[2];
  ASSERT_EQ(0, pipe(fds));
  std::vector<std::string> order;
  el::SourceId id = 0;
  id = el::AddFdSource(fds[0], POLLIN, [&](short revents) {
    EXPECT_TRUE(revents & POLLIN);
    char c;
    ASSERT_EQ(1, read(fds[0], &c, 1));
    order.push_back(std::string("read ") + c);
    el::RemoveFdSource(id);  // removes itself from inside its callback
    el::Defer([&] {
      order.push_back("deferred");
      el::Defer([&] { order.push_back("next turn"); });
    });
  });
  ASSERT_EQ(1, write(fds[1], "x", 1));
  el::RunOnce(5.0);
  EXPECT_EQ((std::vector<std::string>{"read x", "deferred"}), order);
  el::RunOnce(0);
  EXPECT_EQ((std::vector<std::string>{"read x", "deferred", "next turn"}), order);
  // Removed: more data is not read.
  ASSERT_EQ(1, write(fds[1], "y", 1));
  el::RunOnce(0);
  EXPECT_EQ(3u, order.size());

  // A source set to wait for nothing stays registered but is not polled.
  int calls = 0;
  id = el::AddFdSource(fds[0], POLLIN, [&](short) {
    char c;
    EXPECT_EQ(1, read(fds[0], &c, 1));
    ++calls;
  });
  el::SetFdSourceEvents(id, 0);
  el::RunOnce(0);
  EXPECT_EQ(0, calls);
  el::SetFdSourceEvents(id, POLLIN);
  el::RunOnce(0);
  EXPECT_EQ(1, calls);
  el::RemoveFdSource(id);
  close(fds[0]);
  close(fds[1]);
}

TEST(EventLoopRuns, TimeOutAndEventTime) {
  const EventTime start = GetCurrentEventTime();
  EXPECT_EQ(eventLoopTimedOutErr, RunCurrentEventLoop(0.02));
  EXPECT_GE(GetCurrentEventTime() - start, 0.02);
  EXPECT_EQ(GetMainEventLoop(), GetCurrentEventLoop());
}

}  // namespace
