// SessionBus.cpp — distributed notifications over the D-Bus session bus,
// with sd-bus (Linux part).
//
// Map of this file:
//   - the link: one connection per process, opened on first use for the
//     bus that the environment names, with the event-loop source and timer
//     that drive it;
//   - match rules: counted per rule, so the daemon sends this process only
//     the names it observes (arg0), or everything for an observer of all
//     names;
//   - receiving: a filter sees every arriving message once and defers the
//     delivery of our signal to the event loop;
//   - posting: the signal is queued, then flushed with a bounded wait.
//
// Failing quietly, never hanging: connecting to a unix socket fails at once
// when nobody listens; every wait here is bounded; a failed connection is
// tried again only after kRetryDelay, and only when the process posts or
// observes again. The connection is never read outside the loop's thread,
// and callbacks never run inside the call that posted: a signal read while a
// post flushes is delivered from a deferred call of the loop.
#include "platform/notifications/SessionBus.h"

#include <systemd/sd-bus.h>
#include <time.h>

#include <cstdlib>
#include <cstring>
#include <map>

#include "platform/eventloop/CarbonEvents.h"
#include "platform/eventloop/EventLoopSources.h"

namespace macplatform::notifications {
namespace {

constexpr double kPostWait = 2.0;     // seconds a post waits for its signal to leave
constexpr double kRetryDelay = 5.0;   // seconds before a failed bus is tried again
constexpr size_t kMaxRuleLength = 1000;  // the daemon refuses rules over 1024 bytes

double Now() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

struct Match {
  int count = 0;
  sd_bus_slot* slot = nullptr;  // NULL while there is no connection
};

struct Link {
  sd_bus* bus = nullptr;
  sd_bus_slot* filter = nullptr;
  std::string key;        // the environment the connection (or the failed try) is for
  double failedAt = -1;   // monotonic time of the last failure; <0: none
  eventloop::SourceId source = -1;
  short events = 0;
  EventLoopTimerRef timer = nullptr;
  std::map<std::string, Match> matches;  // by rule
};

// Never destroyed: the connection and the rules stay reachable until exit.
Link& TheLink() {
  static Link* link = new Link();
  return *link;
}

std::string EnvironmentKey() {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");  // sd-bus's fallback
  return std::string(address ? address : "") + '\n' + (runtime ? runtime : "");
}

int OnMatch(sd_bus_message*, void*, sd_bus_error*) { return 0; }  // the filter does the work
int OnMatchInstalled(sd_bus_message*, void*, sd_bus_error*) { return 0; }  // errors: quietly none

int OnMessage(sd_bus_message* m, void*, sd_bus_error*) {
  if (sd_bus_message_is_signal(m, kInterface, kMember) <= 0) return 0;
  const char* path = sd_bus_message_get_path(m);
  if (path == nullptr || std::strcmp(path, kPath) != 0) return 0;
  const char* name = nullptr;
  const char* object = nullptr;
  if (sd_bus_message_read(m, "ss", &name, &object) >= 0 && name != nullptr && object != nullptr) {
    eventloop::Defer([n = std::string(name), o = std::string(object)] { DeliverFromBus(n, o); });
  }
  sd_bus_message_rewind(m, 1);
  return 0;
}

void Install(Link& link, const std::string& rule, Match& match) {
  if (link.bus == nullptr || match.slot != nullptr) return;
  if (sd_bus_add_match_async(link.bus, &match.slot, rule.c_str(), OnMatch, OnMatchInstalled,
                             nullptr) < 0)
    match.slot = nullptr;
}

void Disconnect(Link& link) {
  if (link.source >= 0) eventloop::RemoveFdSource(link.source);
  link.source = -1;
  link.events = 0;
  if (link.timer != nullptr) RemoveEventLoopTimer(link.timer);
  link.timer = nullptr;
  if (link.bus == nullptr) return;
  sd_bus_close(link.bus);  // closed first, so dropping the rules sends nothing
  for (auto& [rule, match] : link.matches) match.slot = sd_bus_slot_unref(match.slot);
  link.filter = sd_bus_slot_unref(link.filter);
  link.bus = sd_bus_unref(link.bus);
}

void Fail(Link& link) {
  Disconnect(link);
  link.failedAt = Now();
}

void Process();

void OnTimer(EventLoopTimerRef, void*) { Process(); }

// Tells the loop what the connection waits for now: readable, writable, and
// the time of its next deadline (authentication, replies to our rules).
void UpdateWatch(Link& link) {
  if (link.bus == nullptr) return;
  int events = sd_bus_get_events(link.bus);
  if (events < 0) {
    Fail(link);
    return;
  }
  if (link.source < 0) {
    link.source = eventloop::AddFdSource(sd_bus_get_fd(link.bus), static_cast<short>(events),
                                         [](short) { Process(); });
  } else if (events != link.events) {
    eventloop::SetFdSourceEvents(link.source, static_cast<short>(events));
  }
  link.events = static_cast<short>(events);
  uint64_t usec = UINT64_MAX;
  if (sd_bus_get_timeout(link.bus, &usec) > 0 && usec != UINT64_MAX) {
    double at = double(usec) / 1e6;
    double delay = at - Now();
    SetEventLoopTimerNextFireTime(link.timer, delay > 0 ? delay : 0);
  } else {
    SetEventLoopTimerNextFireTime(link.timer, kEventDurationForever);
  }
}

// Handles everything the connection has to do now.
void Process() {
  Link& link = TheLink();
  if (link.bus == nullptr) return;
  for (;;) {
    int r = sd_bus_process(link.bus, nullptr);
    if (r < 0) {
      Fail(link);  // the bus went away: no more sources, no busy loop
      return;
    }
    if (r == 0) break;
  }
  UpdateWatch(link);
}

// A connection to the bus of the current environment, opened if needed.
bool Connected() {
  Link& link = TheLink();
  std::string key = EnvironmentKey();
  if (link.bus != nullptr && link.key == key && sd_bus_is_open(link.bus) > 0) return true;
  if (link.bus != nullptr) Disconnect(link);
  if (link.key == key && link.failedAt >= 0 && Now() - link.failedAt < kRetryDelay) return false;
  link.key = key;
  sd_bus* bus = nullptr;
  if (sd_bus_open_user(&bus) < 0) {
    link.failedAt = Now();
    return false;
  }
  link.bus = bus;
  link.failedAt = -1;
  if (sd_bus_add_filter(bus, &link.filter, OnMessage, nullptr) < 0 ||
      InstallEventLoopTimer(GetMainEventLoop(), kEventDurationForever, 0, OnTimer, nullptr,
                            &link.timer) != noErr) {
    Fail(link);
    return false;
  }
  for (auto& [rule, match] : link.matches) Install(link, rule, match);
  UpdateWatch(link);
  return link.bus != nullptr;
}

// Waits, at most until `deadline`, for the queued messages to be written.
void Flush(Link& link, double deadline) {
  while (link.bus != nullptr) {
    uint64_t queued = 0;
    if (sd_bus_get_n_queued_write(link.bus, &queued) < 0 || queued == 0) break;
    double left = deadline - Now();
    if (left <= 0) break;
    int r = sd_bus_process(link.bus, nullptr);
    if (r > 0) continue;
    if (r == 0) r = sd_bus_wait(link.bus, static_cast<uint64_t>(left * 1e6) + 1);
    if (r < 0) {
      Fail(link);
      return;
    }
  }
}

}  // namespace

std::string MatchRule(const std::optional<std::string>& name) {
  std::string rule = std::string("type='signal',path='") + kPath + "',interface='" + kInterface +
                     "',member='" + kMember + "'";
  // The rule syntax quotes with apostrophes and its escapes differ between
  // implementations: a name with an apostrophe or a backslash, or one too
  // long for a rule, is asked for with the all-names rule instead, and the
  // center filters it.
  if (!name || name->find_first_of("'\\") != std::string::npos) return rule;
  std::string named = rule + ",arg0='" + *name + "'";
  return named.size() <= kMaxRuleLength ? named : rule;
}

void BusPost(const std::string& name, const std::string& object) {
  if (!Connected()) return;
  Link& link = TheLink();
  sd_bus_message* m = nullptr;
  int r = sd_bus_message_new_signal(link.bus, &m, kPath, kInterface, kMember);
  if (r >= 0) r = sd_bus_message_append(m, "ss", name.c_str(), object.c_str());
  if (r >= 0) r = sd_bus_send(link.bus, m, nullptr);
  sd_bus_message_unref(m);
  if (r < 0) {
    if (sd_bus_is_open(link.bus) <= 0) Fail(link);
    return;
  }
  Flush(link, Now() + kPostWait);
  // The flush may have read messages into the connection's buffer that no
  // poll would announce again: handle them now (they are only queued for
  // the loop), which also tells the loop what to wait for next.
  Process();
}

void BusWatch(const std::optional<std::string>& name) {
  Link& link = TheLink();
  std::string rule = MatchRule(name);
  Match& match = link.matches[rule];
  ++match.count;
  if (!Connected()) return;  // installed with the others when a connection comes
  Install(link, rule, match);
  UpdateWatch(link);
}

void BusUnwatch(const std::optional<std::string>& name) {
  Link& link = TheLink();
  auto it = link.matches.find(MatchRule(name));
  if (it == link.matches.end()) return;
  if (--it->second.count > 0) return;
  // Dropping the slot of an open connection asks the daemon to remove the
  // rule, without waiting for its answer.
  sd_bus_slot_unref(it->second.slot);
  link.matches.erase(it);
  UpdateWatch(link);
}

}  // namespace macplatform::notifications
