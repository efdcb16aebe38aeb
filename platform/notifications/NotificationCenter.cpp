// NotificationCenter.cpp — the distributed center's observers: registering,
// removing, and matching each arriving notification against them.
//
// Portable part. Registrations keep copies of their name and object, so a
// caller may release its own strings at once. Delivery walks a snapshot of
// the registrations and checks that each one still exists right before its
// callback, so a callback may add or remove observers, itself included.
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/TextEncodings.h"
#include "platform/notifications/CFNotificationCenter.h"
#include "platform/notifications/SessionBus.h"

struct __CFNotificationCenter {
  int unused;
};

namespace macplatform::notifications {
namespace {

struct Registration {
  UInt64 id;
  const void* observer;
  CFNotificationCallback callback;
  CFStringRef name;    // owned copy, NULL: every name
  CFStringRef object;  // owned copy, NULL: any object
  std::optional<std::string> busName;  // what BusWatch was given
};

struct Center {
  __CFNotificationCenter ref{};
  std::vector<Registration> registrations;
  UInt64 nextId = 1;
};

// Never destroyed: callbacks and deferred deliveries may come late in exit,
// and everything stays reachable from here.
Center& TheCenter() {
  static Center* center = new Center();
  return *center;
}

bool IsDistributed(CFNotificationCenterRef center) {
  return center != nullptr && center == &TheCenter().ref;
}

// The string as UTF-8; false for a lone surrogate or U+0000, which a D-Bus
// string cannot carry.
bool Utf8(CFStringRef s, std::string* out) {
  CFIndex length = CFStringGetLength(s);
  std::u16string units(static_cast<size_t>(length > 0 ? length : 0), u'\0');
  if (length > 0) CFStringGetCharacters(s, CFRangeMake(0, length), reinterpret_cast<UniChar*>(units.data()));
  std::string utf8;
  if (units.find(u'\0') != std::u16string::npos) return false;
  if (!macplatform::text::UTF16ToUTF8(units.data(), units.size(), &utf8)) return false;
  *out = std::move(utf8);
  return true;
}

bool IsString(const void* object) {
  return object != nullptr && CFGetTypeID(object) == CFStringGetTypeID();
}

CFStringRef MakeString(const std::string& utf8) {
  return CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(utf8.data()),
                                 static_cast<CFIndex>(utf8.size()), kCFStringEncodingUTF8, false);
}

void Forget(Registration& r) {
  BusUnwatch(r.busName);
  if (r.name != nullptr) CFRelease(r.name);
  if (r.object != nullptr) CFRelease(r.object);
}

// Removes the registrations of `observer` for which `matches` is true.
template <typename Pred>
void RemoveWhere(const void* observer, Pred matches) {
  auto& regs = TheCenter().registrations;
  std::vector<Registration> gone;
  for (auto it = regs.begin(); it != regs.end();) {
    if (it->observer == observer && matches(*it)) {
      gone.push_back(*it);
      it = regs.erase(it);
    } else {
      ++it;
    }
  }
  for (Registration& r : gone) Forget(r);
}

}  // namespace

void DeliverFromBus(const std::string& nameUtf8, const std::string& objectUtf8) {
  CFStringRef name = MakeString(nameUtf8);
  if (name == nullptr) return;
  // An empty object on the bus is the NULL object.
  CFStringRef object = objectUtf8.empty() ? nullptr : MakeString(objectUtf8);

  std::vector<UInt64> due;
  for (const Registration& r : TheCenter().registrations) {
    if (r.name != nullptr && !CFEqual(r.name, name)) continue;
    if (r.object != nullptr && (object == nullptr || !CFEqual(r.object, object))) continue;
    due.push_back(r.id);
  }
  for (UInt64 id : due) {
    const void* observer = nullptr;
    CFNotificationCallback callback = nullptr;
    for (const Registration& r : TheCenter().registrations) {
      if (r.id == id) {
        observer = r.observer;
        callback = r.callback;
        break;
      }
    }
    if (callback == nullptr) continue;  // removed by an earlier callback
    callback(&TheCenter().ref, const_cast<void*>(observer), name, object, nullptr);
  }
  if (object != nullptr) CFRelease(object);
  CFRelease(name);
}

}  // namespace macplatform::notifications

using namespace macplatform::notifications;

CFNotificationCenterRef CFNotificationCenterGetDistributedCenter(void) { return &TheCenter().ref; }

void CFNotificationCenterPostNotification(CFNotificationCenterRef center, CFStringRef name,
                                          const void* object, CFDictionaryRef /*userInfo*/,
                                          Boolean /*deliverImmediately*/) {
  if (!IsDistributed(center) || name == nullptr) return;
  if (object != nullptr && !IsString(object)) return;
  std::string nameUtf8, objectUtf8;
  if (!Utf8(name, &nameUtf8)) return;
  if (object != nullptr && !Utf8(static_cast<CFStringRef>(object), &objectUtf8)) return;
  BusPost(nameUtf8, objectUtf8);
}

void CFNotificationCenterAddObserver(CFNotificationCenterRef center, const void* observer,
                                     CFNotificationCallback callBack, CFStringRef name,
                                     const void* object,
                                     CFNotificationSuspensionBehavior /*suspensionBehavior*/) {
  if (!IsDistributed(center) || callBack == nullptr) return;
  if (object != nullptr && !IsString(object)) return;
  Registration r{};
  if (name != nullptr) {
    std::string utf8;
    if (!Utf8(name, &utf8)) return;  // no notification can carry that name
    r.busName = utf8;
  }
  Center& c = TheCenter();
  r.id = c.nextId++;
  r.observer = observer;
  r.callback = callBack;
  r.name = name != nullptr ? CFStringCreateCopy(nullptr, name) : nullptr;
  r.object = object != nullptr ? CFStringCreateCopy(nullptr, static_cast<CFStringRef>(object)) : nullptr;
  c.registrations.push_back(r);
  BusWatch(r.busName);
}

void CFNotificationCenterRemoveObserver(CFNotificationCenterRef center, const void* observer,
                                        CFStringRef name, const void* object) {
  if (!IsDistributed(center)) return;
  RemoveWhere(observer, [&](const Registration& r) {
    if (name != nullptr && (r.name == nullptr || !CFEqual(r.name, name))) return false;
    if (object != nullptr && (r.object == nullptr || !CFEqual(r.object, object))) return false;
    return true;
  });
}

void CFNotificationCenterRemoveEveryObserver(CFNotificationCenterRef center, const void* observer) {
  if (!IsDistributed(center)) return;
  RemoveWhere(observer, [](const Registration&) { return true; });
}
