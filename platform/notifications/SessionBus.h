// SessionBus.h — the distributed center's link to the D-Bus session bus.
//
// Internal to platform/notifications. The center (NotificationCenter.cpp)
// keeps the observers; this part keeps one sd-bus connection, the bus-side
// match rules that make the daemon send this process only the names it
// observes, and the event-loop source that reads the connection. Names and
// objects are UTF-8 here.
#pragma once

#include <optional>
#include <string>

namespace macplatform::notifications {

// The signal every notification travels as.
constexpr char kPath[] = "/org/macplatform/DistributedNotifications";
constexpr char kInterface[] = "org.macplatform.DistributedNotifications";
constexpr char kMember[] = "Notification";

// Sends the signal (name, object; "" for no object) and waits a bounded
// time for it to leave the process. Quietly does nothing without a bus.
void BusPost(const std::string& name, const std::string& object);

// Asks the bus for the notifications called `name` (nullopt: every name).
// Counted: the rule goes away when every Watch has its Unwatch.
void BusWatch(const std::optional<std::string>& name);
void BusUnwatch(const std::optional<std::string>& name);

// Called by the bus part, on the event loop's thread from a deferred call,
// for every notification that arrives.
void DeliverFromBus(const std::string& name, const std::string& object);

// The match rule for `name` (escaped for the rule syntax); for tests.
std::string MatchRule(const std::optional<std::string>& name);

}  // namespace macplatform::notifications
