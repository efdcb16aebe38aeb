// AgentTestSupport.h — what the agent's tests share: a private world (own
// runtime folder, home, session bus and Finder), items with Finder
// information, a notification listener in another process, and the snapshot
// read back from the named scrap.
#pragma once

#include <gtest/gtest.h>
#include <sys/xattr.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/core/MacTypes.h"
#include "platform/corefoundation/CoreFoundation.h"
#include "platform/processes/ProcessRegistry.h"
#include "platform/scrap/Scrap.h"
#include "testing/TestSupport.h"

namespace agent_test {

namespace mp = macplatform::processes;

constexpr const char* kProduct = "com.tolvane.tintwell";
constexpr const char* kFinderInfoAttr = "user.com.apple.FinderInfo";
constexpr const char* kUsage = "twhelper: wrong usage. what are you doing here, anyway?\n";
constexpr const char* kQuitMessage = "[twhelper] Quit Apple event received\n";

// Runs build/bin/macctl to its end; its exit status.
inline int Macctl(const std::vector<std::string>& args, std::string* out = nullptr,
                  std::string* err = nullptr) {
  std::vector<std::string> argv = {tw::test::BinPath("macctl")};
  argv.insert(argv.end(), args.begin(), args.end());
  return tw::test::Run(argv, out, err);
}

// Runs build/bin/twhelper with `args` to its end; its exit status.
inline int Twhelper(const std::vector<std::string>& args, std::string* out, std::string* err) {
  std::vector<std::string> argv = {tw::test::BinPath("twhelper")};
  argv.insert(argv.end(), args.begin(), args.end());
  return tw::test::Run(argv, out, err);
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The 32 bytes of an item's Finder information (zeros when it has none).
inline std::string FinderInfo(const std::string& path) {
  std::string bytes(32, '\0');
  ssize_t n = ::getxattr(path.c_str(), kFinderInfoAttr, bytes.data(), bytes.size());
  if (n < 0) return std::string(32, '\0');
  bytes.resize(static_cast<size_t>(n));
  return bytes;
}

inline void SetFinderInfo(const std::string& path, const std::string& bytes) {
  ASSERT_EQ(::setxattr(path.c_str(), kFinderInfoAttr, bytes.data(), bytes.size(), 0), 0) << path;
}

// finderFlags: bytes 8-9, big-endian; the label is bits 1 to 3.
inline UInt16 FinderFlags(const std::string& path) {
  std::string info = FinderInfo(path);
  return static_cast<UInt16>((static_cast<UInt8>(info[8]) << 8) | static_cast<UInt8>(info[9]));
}
inline int Label(const std::string& path) { return (FinderFlags(path) >> 1) & 7; }

// Finder information with every field but the label in use: type 'TEXT',
// creator 'ttxt', the invisible (0x4000) and custom-icon (0x0400) flags and
// the low bit, a location, and a byte in the extended information.
inline std::string BusyFinderInfo(int label) {
  std::string info(32, '\0');
  std::memcpy(info.data(), "TEXTttxt", 8);
  const UInt16 flags = static_cast<UInt16>(0x4401 | (label << 1));
  info[8] = static_cast<char>(flags >> 8);
  info[9] = static_cast<char>(flags & 0xFF);
  info[10] = 0x01;  // fdLocation
  info[13] = 0x22;
  info[24] = 0x5A;  // extended Finder information
  return info;
}

// A private environment with a session bus of its own and, unless asked
// not to, its own Finder (build/bin/finderd), quit with `macctl quit Finder`
// at the end.
class World {
 public:
  explicit World(bool withFinder = true) {
    bus_ = env_.StartSessionBus();
    std::filesystem::create_directories(items());
    if (withFinder) StartFinder();
  }
  ~World() {
    if (finder_ && finder_->running()) QuitFinder();
  }
  World(const World&) = delete;
  World& operator=(const World&) = delete;

  bool bus() const { return bus_; }
  tw::test::PrivateEnvironment& env() { return env_; }
  std::string items() const { return env_.root() + "/items"; }
  tw::test::Child* finder() { return finder_.get(); }

  // Starts finderd and waits until it is registered as the Finder.
  bool StartFinder() {
    finder_ = std::make_unique<tw::test::Child>(std::vector<std::string>{"finderd"});
    return tw::test::WaitFor([&] {
      mp::Entry entry;
      return mp::FindByCreator('MACS', &entry) == noErr && entry.pid == finder_->pid();
    }) && finder_->running();
  }
  // `macctl quit Finder`; finderd's exit status.
  int QuitFinder() {
    Macctl({"quit", "Finder"});
    return finder_->Wait();
  }

  // A file (or folder) in items() with busy Finder information and `label`.
  std::string Item(const std::string& name, int label = 0, bool folder = false) {
    std::string path = items() + "/" + name;
    if (folder)
      std::filesystem::create_directories(path);
    else
      tw::test::WriteFile(path, name + "\n");
    SetFinderInfo(path, BusyFinderInfo(label));
    return path;
  }

  // `macctl finder select PATHS...`
  bool Select(const std::vector<std::string>& paths) {
    std::vector<std::string> args = {"finder", "select"};
    args.insert(args.end(), paths.begin(), paths.end());
    return Macctl(args) == 0;
  }

  // `macctl finder updates`, one path per request.
  std::vector<std::string> Updates() {
    std::string out;
    Macctl({"finder", "updates"}, &out);
    return Lines(out);
  }

 private:
  tw::test::PrivateEnvironment env_;
  bool bus_ = false;
  std::unique_ptr<tw::test::Child> finder_;
};

// `macctl notify listen com.tolvane.tintwell` in another process. Ready()
// posts "listener-ready" until the listener shows it, so that nothing posted
// afterwards can be missed.
class Listener {
 public:
  Listener() : child_({"macctl", "notify", "listen", kProduct}) {}

  bool Ready() { return Mark("listener-ready"); }
  // Posts a notification with this object and waits for the listener to see
  // it: whatever was posted before it has been delivered by then.
  bool Mark(const std::string& object) {
    auto last = std::chrono::steady_clock::now() - std::chrono::seconds(1);
    return tw::test::WaitFor([&] {
      if (Count(object) > 0) return true;
      if (std::chrono::steady_clock::now() - last > std::chrono::milliseconds(300)) {
        Macctl({"notify", "post", kProduct, object});
        last = std::chrono::steady_clock::now();
      }
      return Count(object) > 0;
    });
  }
  bool WaitFor(const std::string& object) {
    return tw::test::WaitFor([&] { return Count(object) > 0; });
  }
  // Lines "com.tolvane.tintwell<tab>OBJECT" seen so far.
  int Count(const std::string& object) {
    auto lines = Lines(child_.Stdout());
    return static_cast<int>(
        std::count(lines.begin(), lines.end(), std::string(kProduct) + "\t" + object));
  }

 private:
  tw::test::Child child_;
};

// What the named scrap "com.tolvane.tintwell" holds, read with the Scrap API.
struct ScrapState {
  bool ok = false;                    // the scrap could be read
  std::vector<ScrapFlavorType> types;  // its flavors, in order
  Size snapshotSize = -1;              // size of 'xyu!', -1 without one
  std::vector<UInt32> words;           // the nine words of 'xyu!'

  bool empty() const { return ok && types.empty(); }
  bool Is(const std::vector<UInt32>& expected) const {
    return ok && types == std::vector<ScrapFlavorType>{'xyu!'} && snapshotSize == 36 &&
           words == expected;
  }
};

inline ScrapState ReadScrap() {
  ScrapState state;
  CFStringRef name = CFStringCreateWithCString(nullptr, kProduct, kCFStringEncodingUTF8);
  ScrapRef scrap = nullptr;
  OSStatus err = GetScrapByName(name, kScrapGetNamedScrap, &scrap);
  CFRelease(name);
  UInt32 count = 0;
  if (err == noErr) err = GetScrapFlavorCount(scrap, &count);
  if (err != noErr) return state;
  std::vector<ScrapFlavorInfo> infos(count);
  if (count > 0 && GetScrapFlavorInfoList(scrap, &count, infos.data()) != noErr) return state;
  for (UInt32 i = 0; i < count; ++i) state.types.push_back(infos[i].flavorType);
  Size size = 0;
  if (GetScrapFlavorSize(scrap, 'xyu!', &size) == noErr) {
    // The scrap may be replaced between two reads: then read it again.
    std::vector<UInt8> bytes(static_cast<size_t>(size));
    Size got = size;
    if (GetScrapFlavorData(scrap, 'xyu!', &got, bytes.data()) != noErr || got != size) return state;
    state.snapshotSize = size;
    for (size_t off = 0; off + 4 <= bytes.size(); off += 4) {
      UInt32 word;
      std::memcpy(&word, &bytes[off], 4);  // native byte order, as the agent wrote it
      state.words.push_back(word);
    }
  }
  state.ok = true;
  return state;
}

// The snapshot words: eight label flags, then `writable`.
inline std::vector<UInt32> Words(std::initializer_list<int> labels, bool writable) {
  std::vector<UInt32> words(9, 0);
  for (int label : labels) words[static_cast<size_t>(label)] = 1;
  words[8] = writable ? 1 : 0;
  return words;
}

// The registered entry of the process with this pid, once it is registered.
inline bool WaitForRegistration(pid_t pid, mp::Entry* entry) {
  return tw::test::WaitFor([&] { return mp::FindByPid(pid, entry) == noErr; });
}

}  // namespace agent_test
