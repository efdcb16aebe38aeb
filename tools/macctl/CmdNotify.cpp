// macctl notify — post or watch distributed notifications.
//
//   macctl notify post NAME [OBJECT]   posts one notification (no object when
//                                      OBJECT is left out)
//   macctl notify listen NAME          prints "NAME<tab>OBJECT" for every
//                                      notification called NAME (an empty
//                                      OBJECT when it has none), one flushed
//                                      line each, until killed
//
// Without a session bus nothing is posted or received, and nothing says so:
// the platform never reports it.
#include <cstdio>
#include <string>

#include "platform/corefoundation/CoreFoundation.h"
#include "platform/eventloop/CarbonEvents.h"
#include "platform/notifications/CFNotificationCenter.h"
#include "tools/macctl/Command.h"

namespace macctl {
namespace {

int Usage() {
  std::fprintf(stderr, "usage: macctl notify post NAME [OBJECT] | macctl notify listen NAME\n");
  return 2;
}

CFStringRef Make(const std::string& s) {
  return CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(s.data()),
                                 static_cast<CFIndex>(s.size()), kCFStringEncodingUTF8, false);
}

std::string Text(CFStringRef s) {
  if (s == nullptr) return "";
  CFIndex room = CFStringGetMaximumSizeForEncoding(CFStringGetLength(s), kCFStringEncodingUTF8) + 1;
  std::string buf(static_cast<size_t>(room), '\0');
  if (!CFStringGetCString(s, buf.data(), room, kCFStringEncodingUTF8)) return "";
  buf.resize(std::char_traits<char>::length(buf.c_str()));
  return buf;
}

void PrintNotification(CFNotificationCenterRef, void*, CFStringRef name, const void* object,
                       CFDictionaryRef) {
  std::printf("%s\t%s\n", Text(name).c_str(), Text(static_cast<CFStringRef>(object)).c_str());
  std::fflush(stdout);
}

int Notify(const Args& args) {
  if (args.size() < 2) return Usage();
  const std::string& verb = args[0];
  if (verb == "post" && args.size() <= 3) {
    CFStringRef name = Make(args[1]);
    CFStringRef object = args.size() == 3 ? Make(args[2]) : nullptr;
    if (name == nullptr || (args.size() == 3 && object == nullptr)) {
      if (name != nullptr) CFRelease(name);
      return Fail("notify", "the name and the object must be UTF-8");
    }
    CFNotificationCenterPostNotification(CFNotificationCenterGetDistributedCenter(), name, object,
                                         nullptr, true);
    CFRelease(name);
    if (object != nullptr) CFRelease(object);
    return 0;
  }
  if (verb == "listen" && args.size() == 2) {
    CFStringRef name = Make(args[1]);
    if (name == nullptr) return Fail("notify", "the name must be UTF-8");
    static int observer;
    CFNotificationCenterAddObserver(CFNotificationCenterGetDistributedCenter(), &observer,
                                    PrintNotification, name, nullptr,
                                    kCFNotificationSuspensionBehaviorDeliverImmediately);
    CFRelease(name);
    RunApplicationEventLoop();  // until killed
    return 0;
  }
  return Usage();
}

}  // namespace

MACCTL_COMMAND("notify", "notify post NAME [OBJECT] | notify listen NAME   post or watch notifications",
               Notify);

}  // namespace macctl
