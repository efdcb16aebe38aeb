// notify_test_listener SPEC... — observes distributed notifications and
// prints "NAME<tab>OBJECT" for each (object "(null)" when there is none),
// flushing every line, from its event loop, until killed. A SPEC is NAME,
// NAME=OBJECT, or * for every name.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/eventloop/CarbonEvents.h"
#include "platform/notifications/CFNotificationCenter.h"

namespace {

std::string Text(CFStringRef s) {
  if (s == nullptr) return "(null)";
  char buf[1024];
  return CFStringGetCString(s, buf, sizeof buf, kCFStringEncodingUTF8) ? buf : "(unconvertible)";
}

void Print(CFNotificationCenterRef, void*, CFStringRef name, const void* object, CFDictionaryRef) {
  std::printf("%s\t%s\n", Text(name).c_str(), Text(static_cast<CFStringRef>(object)).c_str());
  std::fflush(stdout);
}

CFStringRef Make(const std::string& s) {
  return CFStringCreateWithCString(nullptr, s.c_str(), kCFStringEncodingUTF8);
}

}  // namespace

int main(int argc, char** argv) {
  CFNotificationCenterRef center = CFNotificationCenterGetDistributedCenter();
  static int observer;
  for (int i = 1; i < argc; ++i) {
    std::string spec = argv[i];
    CFStringRef name = nullptr, object = nullptr;
    if (spec != "*") {
      size_t eq = spec.find('=');
      name = Make(spec.substr(0, eq));
      if (eq != std::string::npos) object = Make(spec.substr(eq + 1));
    }
    CFNotificationCenterAddObserver(center, &observer, Print, name, object,
                                    kCFNotificationSuspensionBehaviorDeliverImmediately);
    if (name != nullptr) CFRelease(name);
    if (object != nullptr) CFRelease(object);
  }
  RunApplicationEventLoop();
  return 0;
}
