// Desktop.cpp — the desktop folder, the property 'desk', and the visible
// contents of a folder (which is what "every item of the desktop" lists).
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/core/Errno.h"
#include "tools/finderd/Finder.h"

namespace finderd {

namespace {

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return home;
  passwd entry{};
  passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr)
    return found->pw_dir;
  return std::string();
}

}  // namespace

OSErr DesktopFolder(FinderItem* folder) {
  std::string path;
  const char* xdg = std::getenv("XDG_DESKTOP_DIR");
  if (xdg != nullptr && xdg[0] == '/') {
    path = xdg;
  } else {
    std::string home = HomeFolder();
    if (home.empty()) return fnfErr;
    path = home + "/Desktop";
  }
  OSErr err = ItemAtPath(path, folder);
  if (err != noErr) return err;
  return folder->isFolder ? OSErr(noErr) : OSErr(dirNFErr);
}

OSErr GetDesktopProperty(const PropertyRef&, DescType requestedType, AEDesc* value) {
  FinderItem desktop;
  OSErr err = DesktopFolder(&desktop);
  if (err != noErr) return err;
  return ItemValue(desktop, requestedType, value);
}

OSErr DesktopItems(const PropertyRef&, std::vector<FinderItem>* items) {
  FinderItem desktop;
  OSErr err = DesktopFolder(&desktop);
  if (err == noErr) items->push_back(desktop);
  return err;
}

OSErr FolderContents(const FinderItem& folder, DescType wantClass, std::vector<FinderItem>* items) {
  namespace fs = std::filesystem;
  std::vector<std::pair<std::string, FinderItem>> found;
  std::error_code ec;
  fs::directory_iterator it(folder.path, ec);
  if (ec) return macplatform::OSErrFromErrno(ec.value());
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) break;
    std::string name = it->path().filename().string();
    if (name.empty() || name[0] == '.') continue;
    // The item keeps the path it has in this folder, links included.
    FinderItem item;
    if (ItemAtPath(it->path().string(), &item) != noErr) continue;  // dangling link, or gone
    item.path = it->path().string();
    if (ItemIsOfClass(item, wantClass)) found.emplace_back(std::move(name), std::move(item));
  }
  if (ec) return macplatform::OSErrFromErrno(ec.value());
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& [name, item] : found) items->push_back(std::move(item));
  return noErr;
}

}  // namespace finderd
