// twreceipt — records which of the product's two component sets is
// installed, unless the receipt store already lists paths for the product.
// Reads no arguments, prints nothing, exits with status 0.
#include <string>

#include "platform/corefoundation/CoreFoundation.h"
#include "platform/foundation/Foundation.h"
#include "receipts/TICookieMonster.h"

// Paths of the all-users and the per-user installation; the first entry, the
// preference pane, decides which set is installed.
static const char* const gGlobalPaths[] = {
    "/Library/PreferencePanes/Tintwell.prefPane",
    "/Library/Splicers/Tintwell.splc",
    "/Library/Contextual Menu Items/Tintwell.plugin",
    nullptr,
};
static const char* const gLocalPaths[] = {
    "~/Library/PreferencePanes/Tintwell.prefPane",
    "~/Library/Splicers/Tintwell.splc",
    "~/Library/Contextual Menu Items/Tintwell.plugin",
    nullptr,
};

static const UInt32 kProductVersion = 0x01008000;

static CFStringRef CreatePathString(const std::string& path) {
  return CFStringCreateWithBytes(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(path.data()),
                                 static_cast<CFIndex>(path.size()), kCFStringEncodingUTF8, false);
}

// Records every path of `paths`, expanded, in a receipt of the given scope.
static TICookieMonsterRef RecordPaths(CFStringRef productID, UInt8 global, const char* const* paths) {
  TICookieMonsterRef receipt =
      TICookieMonster::MonsterWithProductIDGlobalVersion(productID, global, kProductVersion);
  if (receipt == nullptr) return receipt;
  for (const char* const* p = paths; *p != nullptr; ++p) {
    CFStringRef path = CreatePathString(NSStringByExpandingTildeInPath(*p));
    if (path != nullptr) {
      receipt->AddFile(path);
      CFRelease(path);
    }
  }
  receipt->Flush();
  return receipt;
}

int main(void) {
  CFStringRef productID = CFSTR("com.tolvane.tintwell");
  // Both records live to the end of the run; neither is dirty by then.
  TICookieMonsterRef existing = TICookieMonster::MonsterWithProductID(productID);
  TICookieMonsterRef recorded;
  if (existing != nullptr && CFArrayGetCount(existing->FilesToRemove()) > 0) return 0;

  if (NSFileManagerFileExistsAtPath(NSStringByExpandingTildeInPath(gGlobalPaths[0])))
    recorded = RecordPaths(productID, 1, gGlobalPaths);
  else if (NSFileManagerFileExistsAtPath(NSStringByExpandingTildeInPath(gLocalPaths[0])))
    recorded = RecordPaths(productID, 0, gLocalPaths);
  return 0;
}
