// CFURL.cpp — file URLs.
//
// A URL here always names a file or folder of the local file system: it keeps
// the absolute, lexically normalised path (the file system's own bytes) and
// whether it names a folder. Its text form is "file://" + the path with
// percent escapes, a folder's with a trailing slash. URLs of other schemes
// are refused (NULL).
//
// A relative POSIX path is taken from the current folder at creation.
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/core/SysCalls.h"
#include "platform/corefoundation/CFInternal.h"
#include "platform/corefoundation/HFSPaths.h"
#include "platform/files/FileRefs.h"

using namespace macplatform::cf;

namespace {

bool KeptInURL(unsigned char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return std::strchr("-._~!$&'()*+,;=:@/", c) != nullptr && c != '\0';
}

std::string Escape(const std::string& path) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : path) {
    if (KeptInURL(c)) {
      out += char(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// False for a broken escape or an escaped NUL.
bool Unescape(const std::string& text, std::string* bytes) {
  bytes->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      *bytes += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return false;
    int hi = HexValue(text[i + 1]), lo = HexValue(text[i + 2]);
    if (hi < 0 || lo < 0 || (hi == 0 && lo == 0)) return false;
    *bytes += char(hi * 16 + lo);
    i += 2;
  }
  return true;
}

}  // namespace

struct __CFURL : CFObject {
  __CFURL(std::string p, bool dir) : CFObject(kURLTypeID), path(std::move(p)), isDirectory(dir) {
    std::string text = "file://" + Escape(path);
    if (isDirectory && path != "/") text += '/';
    string = MakeString(std::u16string(text.begin(), text.end()));
  }
  ~__CFURL() override { CFRelease(string); }
  bool Equal(const CFObject& other) const override {
    const auto& o = static_cast<const __CFURL&>(other);
    return path == o.path && isDirectory == o.isDirectory;
  }
  CFHashCode Hash() const override { return HashBytes(path.data(), path.size()); }

  const std::string path;  // absolute, normalised, no trailing slash but for "/"
  const bool isDirectory;
  CFStringRef string;  // the URL's text, handed out by CFURLGetString
};

namespace {

bool IsURL(CFTypeRef cf) { return cf != nullptr && CFGetTypeID(cf) == kURLTypeID; }

// A URL for `path` (absolute or relative to the current folder); NULL when
// the path is empty or the current folder cannot be read.
CFURLRef MakeURL(const std::string& path, bool isDirectory) {
  if (path.empty() || path.find('\0') != std::string::npos) return nullptr;
  std::string absolute = path;
  if (absolute[0] != '/') {
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd) == nullptr) return nullptr;
    absolute = std::string(cwd) + "/" + path;
  }
  std::string normalized;
  if (!macplatform::NormalizePOSIXPath(absolute, &normalized)) return nullptr;
  if (path.back() == '/' || normalized == "/") isDirectory = true;
  return new __CFURL(normalized, isDirectory);
}

}  // namespace

CFTypeID CFURLGetTypeID(void) { return kURLTypeID; }

CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef, CFStringRef filePath,
                                       CFURLPathStyle pathStyle, Boolean isDirectory) {
  if (filePath == nullptr || CFGetTypeID(filePath) != kStringTypeID) return nullptr;
  const std::u16string& units = StringUnits(filePath);
  std::string path;
  if (pathStyle == kCFURLPOSIXPathStyle) {
    if (!FileBytesFromUnits(units, &path)) return nullptr;
    return MakeURL(path, isDirectory);
  }
  if (pathStyle == kCFURLHFSPathStyle) {
    bool folder = false;
    if (macplatform::POSIXPathFromHFSPath(units, &path, &folder) != noErr) return nullptr;
    return MakeURL(path, isDirectory || folder);
  }
  return nullptr;
}

CFURLRef CFURLCreateFromFSRef(CFAllocatorRef, const FSRef* fsRef) {
  if (fsRef == nullptr) return nullptr;
  std::string path;
  if (macplatform::files::PathOfFSRef(*fsRef, &path) != noErr) return nullptr;
  struct stat st;
  if (macplatform::sys::Stat(path.c_str(), &st) != 0) return nullptr;
  return MakeURL(path, S_ISDIR(st.st_mode));
}

Boolean CFURLGetFSRef(CFURLRef url, FSRef* fsRef) {
  if (!IsURL(url) || fsRef == nullptr) return false;
  return macplatform::files::MakeFSRef(url->path, fsRef) == noErr;
}

Boolean CFURLHasDirectoryPath(CFURLRef anURL) { return IsURL(anURL) && anURL->isDirectory; }

CFStringRef CFURLCopyFileSystemPath(CFURLRef anURL, CFURLPathStyle pathStyle) {
  if (!IsURL(anURL)) return nullptr;
  if (pathStyle == kCFURLPOSIXPathStyle) return MakeString(UnitsFromFileBytes(anURL->path));
  if (pathStyle == kCFURLHFSPathStyle) {
    std::u16string hfs;
    if (macplatform::HFSPathFromPOSIXPath(anURL->path, &hfs) != noErr) return nullptr;
    return MakeString(std::move(hfs));
  }
  return nullptr;
}

Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean, UInt8* buffer, CFIndex maxBufLen) {
  if (!IsURL(url) || buffer == nullptr || maxBufLen <= 0) return false;
  if (url->path.size() + 1 > size_t(maxBufLen)) return false;
  std::memcpy(buffer, url->path.c_str(), url->path.size() + 1);
  return true;
}

CFStringRef CFURLGetString(CFURLRef anURL) { return IsURL(anURL) ? anURL->string : nullptr; }

// "file:///p", "file://localhost/p" and "file:/p"; without a scheme, a path
// relative to `baseURL`'s folder. A query or fragment is dropped.
CFURLRef CFURLCreateWithString(CFAllocatorRef, CFStringRef URLString, CFURLRef baseURL) {
  if (URLString == nullptr || CFGetTypeID(URLString) != kStringTypeID) return nullptr;
  std::string text;
  if (!EncodeUTF8(StringUnits(URLString), &text)) return nullptr;
  size_t cut = text.find_first_of("?#");
  if (cut != std::string::npos) text.resize(cut);

  std::string lower = text.substr(0, 5);
  for (char& c : lower) c = char(c >= 'A' && c <= 'Z' ? c + 32 : c);
  std::string escapedPath;
  if (lower == "file:") {
    std::string rest = text.substr(5);
    if (rest.rfind("//", 0) == 0) {
      size_t slash = rest.find('/', 2);
      std::string host = rest.substr(2, slash == std::string::npos ? slash : slash - 2);
      if (!host.empty() && host != "localhost") return nullptr;
      if (slash == std::string::npos) return nullptr;
      rest = rest.substr(slash);
    }
    if (rest.empty() || rest[0] != '/') return nullptr;
    escapedPath = rest;
  } else {
    // Any other scheme is refused; only a relative reference remains.
    size_t colon = text.find(':'), slash = text.find('/');
    if (colon != std::string::npos && (slash == std::string::npos || colon < slash)) return nullptr;
    if (!IsURL(baseURL) || text.empty()) return nullptr;
    if (text[0] == '/') {
      escapedPath = text;
    } else {
      std::string folder = baseURL->path;
      if (!baseURL->isDirectory) folder = folder.substr(0, folder.rfind('/'));
      escapedPath = Escape(folder) + "/" + text;
    }
  }
  std::string path;
  if (!Unescape(escapedPath, &path)) return nullptr;
  return MakeURL(path, false);
}
