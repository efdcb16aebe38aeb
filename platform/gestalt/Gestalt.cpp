// Gestalt.cpp — a process-wide table of selectors, seeded with the defaults.
#include "platform/gestalt/Gestalt.h"

#include <map>
#include <mutex>

namespace {

std::mutex gMutex;

std::map<OSType, SInt32>& Table() {
  static std::map<OSType, SInt32> table = {
      {gestaltSystemVersion, kMacPlatformSystemVersion},
      {gestaltFinderAttr, (1 << gestaltFinderCallsAEProcess) | (1 << gestaltOSLCompliantFinder)},
      {gestaltAppleEventsAttr, 1 << gestaltAppleEventsPresent},
  };
  return table;
}

}  // namespace

OSErr Gestalt(OSType selector, SInt32* response) {
  if (response == nullptr) return paramErr;
  std::lock_guard<std::mutex> lock(gMutex);
  auto it = Table().find(selector);
  if (it == Table().end()) return gestaltUndefSelectorErr;
  *response = it->second;
  return noErr;
}

OSErr NewGestaltValue(OSType selector, SInt32 value) {
  std::lock_guard<std::mutex> lock(gMutex);
  if (!Table().emplace(selector, value).second) return gestaltDupSelectorErr;
  return noErr;
}

OSErr ReplaceGestaltValue(OSType selector, SInt32 value) {
  std::lock_guard<std::mutex> lock(gMutex);
  auto it = Table().find(selector);
  if (it == Table().end()) return gestaltUndefSelectorErr;
  it->second = value;
  return noErr;
}

OSErr DeleteGestaltValue(OSType selector) {
  std::lock_guard<std::mutex> lock(gMutex);
  return Table().erase(selector) ? noErr : gestaltUndefSelectorErr;
}
