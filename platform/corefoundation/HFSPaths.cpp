// HFSPaths.cpp — the one-volume mapping between Linux paths and HFS paths.
#include "platform/corefoundation/HFSPaths.h"

#include <vector>

#include "platform/corefoundation/CFInternal.h"

namespace macplatform {

namespace {

std::vector<std::string> SplitSlashes(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    if (slash > start) parts.push_back(path.substr(start, slash - start));
    start = slash + 1;
  }
  return parts;
}

bool EqualIgnoringASCIICase(const std::u16string& a, const char* b) {
  size_t i = 0;
  for (; b[i] != '\0'; ++i) {
    if (i >= a.size()) return false;
    char16_t x = a[i], y = char16_t(UInt8(b[i]));
    if (x >= 'A' && x <= 'Z') x = char16_t(x + 32);
    if (y >= 'A' && y <= 'Z') y = char16_t(y + 32);
    if (x != y) return false;
  }
  return i == a.size();
}

}  // namespace

bool NormalizePOSIXPath(const std::string& path, std::string* normalized) {
  if (path.empty() || path[0] != '/') return false;
  std::vector<std::string> kept;
  for (const std::string& part : SplitSlashes(path)) {
    if (part == ".") continue;
    if (part == "..") {
      if (!kept.empty()) kept.pop_back();
      continue;
    }
    kept.push_back(part);
  }
  normalized->clear();
  for (const std::string& part : kept) *normalized += "/" + part;
  if (normalized->empty()) *normalized = "/";
  return true;
}

OSErr HFSPathFromPOSIXPath(const std::string& posixPath, std::u16string* hfsPath) {
  if (hfsPath == nullptr) return paramErr;
  if (posixPath.find('\0') != std::string::npos) return bdNamErr;
  std::string normalized;
  if (!NormalizePOSIXPath(posixPath, &normalized)) return paramErr;
  std::u16string out(kVolumeName, kVolumeName + sizeof kVolumeName - 1);
  out += u':';
  if (normalized != "/") {
    bool first = true;
    for (const std::string& part : SplitSlashes(normalized)) {
      if (!first) out += u':';
      first = false;
      for (char16_t c : cf::UnitsFromFileBytes(part)) out += c == u':' ? u'/' : c;
    }
  }
  *hfsPath = std::move(out);
  return noErr;
}

OSErr HFSPathFromPOSIXPath(const std::string& posixPath, std::string* hfsPath) {
  if (hfsPath == nullptr) return paramErr;
  std::u16string units;
  OSErr err = HFSPathFromPOSIXPath(posixPath, &units);
  if (err != noErr) return err;
  std::string bytes;
  if (!cf::EncodeUTF8(units, &bytes)) return bdNamErr;  // an escaped, non-UTF-8 byte
  *hfsPath = std::move(bytes);
  return noErr;
}

OSErr POSIXPathFromHFSPath(const std::u16string& hfsPath, std::string* posixPath, bool* isFolder) {
  if (posixPath == nullptr) return paramErr;
  if (hfsPath.empty() || hfsPath[0] == u':') return bdNamErr;
  std::vector<std::u16string> parts;
  size_t start = 0;
  while (true) {
    size_t colon = hfsPath.find(u':', start);
    parts.push_back(hfsPath.substr(start, colon == std::u16string::npos ? colon : colon - start));
    if (colon == std::u16string::npos) break;
    start = colon + 1;
  }
  if (!EqualIgnoringASCIICase(parts[0], kVolumeName)) return nsvErr;
  bool folder = parts.size() == 1;
  if (parts.size() > 1 && parts.back().empty()) {  // a trailing colon
    parts.pop_back();
    folder = true;
  }
  std::string out;
  for (size_t i = 1; i < parts.size(); ++i) {
    std::u16string name = parts[i];
    if (name.empty() || name == u"." || name == u"..") return bdNamErr;
    for (char16_t& c : name) {
      if (c == u'/') c = u':';
    }
    std::string bytes;
    if (!cf::FileBytesFromUnits(name, &bytes)) return bdNamErr;
    out += "/" + bytes;
  }
  if (out.empty()) {
    out = "/";
    folder = true;
  }
  *posixPath = std::move(out);
  if (isFolder != nullptr) *isFolder = folder;
  return noErr;
}

OSErr POSIXPathFromHFSPath(const std::string& hfsPath, std::string* posixPath, bool* isFolder) {
  std::u16string units;
  if (!cf::DecodeUTF8(reinterpret_cast<const UInt8*>(hfsPath.data()), hfsPath.size(), &units)) {
    return bdNamErr;
  }
  return POSIXPathFromHFSPath(units, posixPath, isFolder);
}

}  // namespace macplatform
