// Foundation.cpp — tilde expansion and the existence test.
#include "platform/foundation/Foundation.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/core/SysCalls.h"

namespace {

// The home folder of `user` (the running user when empty); false when
// unknown.
bool HomeOf(const std::string& user, std::string* home) {
  if (user.empty()) {
    const char* env = std::getenv("HOME");
    if (env != nullptr && env[0] != '\0') {
      *home = env;
      return true;
    }
  }
  std::vector<char> buffer(16384);
  struct passwd entry;
  struct passwd* found = nullptr;
  int rc = user.empty() ? getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found)
                        : getpwnam_r(user.c_str(), &entry, buffer.data(), buffer.size(), &found);
  if (rc != 0 || found == nullptr || found->pw_dir == nullptr || found->pw_dir[0] == '\0') {
    return false;
  }
  *home = found->pw_dir;
  return true;
}

}  // namespace

std::string NSStringByExpandingTildeInPath(const std::string& path) {
  if (path.empty() || path[0] != '~') return path;
  size_t slash = path.find('/');
  std::string user = path.substr(1, slash == std::string::npos ? std::string::npos : slash - 1);
  std::string home;
  if (!HomeOf(user, &home)) return path;
  std::string rest = slash == std::string::npos ? "" : path.substr(slash);
  std::string result = home + rest;
  while (result.size() > 1 && result.back() == '/') result.pop_back();
  return result;
}

bool NSFileManagerFileExistsAtPath(const std::string& path) {
  if (path.empty()) return false;
  struct stat st;
  return macplatform::sys::Stat(path.c_str(), &st) == 0;
}
