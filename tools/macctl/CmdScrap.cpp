// macctl scrap — print the flavors of a named scrap.
//
//   macctl scrap NAME   one line per flavor: 'TYPE' SIZE HEX
//                       ('xyu!' 36 000000000000000100...); a flavor of no
//                       bytes prints just 'TYPE' 0
//
// A scrap that does not exist or is empty prints nothing (exit 0). A type
// byte outside printable ASCII is shown as \xNN. A scrap that cannot be read
// (a damaged file, for instance) gets a message and exit status 1.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/corefoundation/CoreFoundation.h"
#include "platform/scrap/Scrap.h"
#include "tools/macctl/Command.h"

namespace macctl {
namespace {

std::string TypeText(ScrapFlavorType type) {
  std::string out = "'";
  for (int shift = 24; shift >= 0; shift -= 8) {
    unsigned char c = static_cast<unsigned char>(type >> shift);
    if (c >= 0x20 && c < 0x7F && c != '\\' && c != '\'') {
      out.push_back(static_cast<char>(c));
    } else {
      char buf[5];
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      out += buf;
    }
  }
  return out + "'";
}

int Scrap(const Args& args) {
  if (args.size() != 1 || args[0].empty()) {
    std::fprintf(stderr, "usage: macctl scrap NAME\n");
    return 2;
  }
  CFStringRef name = CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(args[0].data()),
                                             static_cast<CFIndex>(args[0].size()),
                                             kCFStringEncodingUTF8, false);
  if (name == nullptr) return Fail("scrap", "the name is not UTF-8");
  ScrapRef scrap = nullptr;
  OSStatus err = GetScrapByName(name, kScrapGetNamedScrap, &scrap);
  CFRelease(name);
  UInt32 count = 0;
  if (err == noErr) err = GetScrapFlavorCount(scrap, &count);
  std::vector<ScrapFlavorInfo> infos(count);
  if (err == noErr && count > 0) err = GetScrapFlavorInfoList(scrap, &count, infos.data());
  if (err != noErr) return Fail("scrap", "cannot read the scrap (error " + std::to_string(err) + ")");
  infos.resize(count);

  for (const ScrapFlavorInfo& info : infos) {
    Size size = 0;
    err = GetScrapFlavorSize(scrap, info.flavorType, &size);
    std::vector<UInt8> bytes(static_cast<size_t>(size > 0 ? size : 0));
    if (err == noErr) err = GetScrapFlavorData(scrap, info.flavorType, &size, bytes.data());
    // Another process replaced the scrap in between: that flavor is gone.
    if (err == scrapFlavorNotFoundErr) continue;
    if (err != noErr) return Fail("scrap", "cannot read the scrap (error " + std::to_string(err) + ")");
    std::string line = TypeText(info.flavorType) + " " + std::to_string(size);
    if (size > 0) {
      line.push_back(' ');
      static const char kHex[] = "0123456789abcdef";
      for (Size i = 0; i < size; ++i) {
        line.push_back(kHex[bytes[static_cast<size_t>(i)] >> 4]);
        line.push_back(kHex[bytes[static_cast<size_t>(i)] & 0xF]);
      }
    }
    std::printf("%s\n", line.c_str());
  }
  return 0;
}

}  // namespace

MACCTL_COMMAND("scrap", "scrap NAME          print the flavors of a named scrap", Scrap);

}  // namespace macctl
