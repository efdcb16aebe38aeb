// macctl defaults — read and write preferences domains, after the old
// `defaults` tool:
//
//   macctl defaults read   [--any-user] [--current-host] DOMAIN [KEY]
//   macctl defaults write  [--any-user] [--current-host] DOMAIN KEY [TYPE] VALUE...
//   macctl defaults delete [--any-user] [--current-host] DOMAIN [KEY]
//   macctl defaults export [--any-user] [--current-host] DOMAIN PATH|-
//
// read prints old-style property-list text; export writes an XML property
// list (to standard output for "-"). TYPE is -string (the default), -int,
// -float, -bool or -array (the rest of the line, as strings). DOMAIN "-g" or
// NSGlobalDomain is the domain shared by every application.
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "platform/preferences/CFPreferences.h"
#include "tools/macctl/Command.h"

namespace macctl {
namespace {

const char* const kName = "defaults";

// Releases a CF object at the end of the scope.
struct Ref {
  CFTypeRef ref;
  explicit Ref(CFTypeRef r = nullptr) : ref(r) {}
  ~Ref() {
    if (ref != nullptr) CFRelease(ref);
  }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
};

CFStringRef NewString(const std::string& s) {
  return CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(s.data()),
                                 static_cast<CFIndex>(s.size()), kCFStringEncodingUTF8, false);
}

std::string UTF8(CFStringRef s) {
  CFIndex size = CFStringGetMaximumSizeForEncoding(CFStringGetLength(s), kCFStringEncodingUTF8) + 1;
  std::vector<char> buffer(static_cast<size_t>(size));
  if (!CFStringGetCString(s, buffer.data(), size, kCFStringEncodingUTF8)) return "";
  return buffer.data();
}

// ---------------------------------------------------------------------------
// Old-style text: strings quoted when they hold more than letters, digits and
// a few punctuation marks; Booleans as 1 and 0; data as <hex>.

std::string Quote(const std::string& s) {
  bool plain = !s.empty();
  for (unsigned char c : s)
    if (!(std::isalnum(c) || std::strchr("_.$/:-", c) != nullptr)) plain = false;
  if (plain) return s;
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    out += c;
  }
  return out + "\"";
}

std::string Describe(CFTypeRef value, int indent) {
  std::string pad(static_cast<size_t>(indent) * 4, ' ');
  CFTypeID type = CFGetTypeID(value);
  if (type == CFStringGetTypeID()) return Quote(UTF8(static_cast<CFStringRef>(value)));
  if (type == CFBooleanGetTypeID()) return CFBooleanGetValue(static_cast<CFBooleanRef>(value)) ? "1" : "0";
  if (type == CFNumberGetTypeID()) {
    auto number = static_cast<CFNumberRef>(value);
    char buffer[64];
    if (CFNumberIsFloatType(number)) {
      double real = 0;
      CFNumberGetValue(number, kCFNumberFloat64Type, &real);
      std::snprintf(buffer, sizeof buffer, "%.17g", real);
    } else {
      long long integer = 0;
      CFNumberGetValue(number, kCFNumberLongLongType, &integer);
      std::snprintf(buffer, sizeof buffer, "%lld", integer);
    }
    return buffer;
  }
  if (type == CFDataGetTypeID()) {
    auto data = static_cast<CFDataRef>(value);
    std::string out = "<";
    const UInt8* bytes = CFDataGetBytePtr(data);
    for (CFIndex i = 0; i < CFDataGetLength(data); ++i) {
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
      out += hex;
    }
    return out + ">";
  }
  if (type == CFArrayGetTypeID()) {
    auto array = static_cast<CFArrayRef>(value);
    CFIndex count = CFArrayGetCount(array);
    if (count == 0) return "()";
    std::string out = "(\n";
    for (CFIndex i = 0; i < count; ++i) {
      out += pad + "    " + Describe(CFArrayGetValueAtIndex(array, i), indent + 1);
      out += i + 1 < count ? ",\n" : "\n";
    }
    return out + pad + ")";
  }
  if (type == CFDictionaryGetTypeID()) {
    auto dict = static_cast<CFDictionaryRef>(value);
    CFIndex count = CFDictionaryGetCount(dict);
    if (count == 0) return "{\n" + pad + "}";
    std::vector<const void*> keys(static_cast<size_t>(count)), values(static_cast<size_t>(count));
    CFDictionaryGetKeysAndValues(dict, keys.data(), values.data());
    std::string out = "{\n";
    for (CFIndex i = 0; i < count; ++i)
      out += pad + "    " + Quote(UTF8(static_cast<CFStringRef>(keys[i]))) + " = " +
             Describe(values[i], indent + 1) + ";\n";
    return out + pad + "}";
  }
  return "?";
}

// ---------------------------------------------------------------------------
// Arguments.

struct Domain {
  std::string name;
  CFStringRef app = nullptr;  // owned
  CFStringRef user = kCFPreferencesCurrentUser;
  CFStringRef host = kCFPreferencesAnyHost;
  ~Domain() {
    if (app != nullptr) CFRelease(app);
  }
};

// Takes the scope flags and DOMAIN off the front of `args`.
bool ParseDomain(Args* args, Domain* domain, std::string* error) {
  while (!args->empty() && args->front().rfind("--", 0) == 0) {
    if (args->front() == "--any-user") {
      domain->user = kCFPreferencesAnyUser;
    } else if (args->front() == "--current-host") {
      domain->host = kCFPreferencesCurrentHost;
    } else {
      *error = "unknown option " + args->front();
      return false;
    }
    args->erase(args->begin());
  }
  if (args->empty()) {
    *error = "no domain given";
    return false;
  }
  domain->name = args->front();
  args->erase(args->begin());
  if (domain->name == "-g" || domain->name == "NSGlobalDomain")
    domain->app = static_cast<CFStringRef>(CFRetain(kCFPreferencesAnyApplication));
  else
    domain->app = NewString(domain->name);
  if (domain->app == nullptr) {
    *error = "domain name is not UTF-8";
    return false;
  }
  return true;
}

// The value of `write` from its type flag and words; NULL with a message.
CFPropertyListRef MakeValue(const Args& words, std::string* error) {
  std::string type = "-string";
  size_t first = 0;
  if (words.size() >= 2 && words[0].size() > 1 && words[0][0] == '-') {
    type = words[0];
    first = 1;
  }
  if (type == "-array" || type == "-array-add") {
    CFMutableArrayRef array = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
    for (size_t i = first; i < words.size(); ++i) {
      Ref item(NewString(words[i]));
      if (item.ref != nullptr) CFArrayAppendValue(array, item.ref);
    }
    if (type == "-array-add") *error = "-array-add is not supported";
    if (!error->empty()) {
      CFRelease(array);
      return nullptr;
    }
    return array;
  }
  if (words.size() != first + 1) {
    *error = "write takes one value";
    return nullptr;
  }
  const std::string& word = words[first];
  if (type == "-string") return NewString(word);
  if (type == "-int" || type == "-integer") {
    char* end = nullptr;
    errno = 0;
    long long integer = std::strtoll(word.c_str(), &end, 10);
    if (word.empty() || *end != '\0' || errno != 0) {
      *error = "not an integer: " + word;
      return nullptr;
    }
    return CFNumberCreate(nullptr, kCFNumberLongLongType, &integer);
  }
  if (type == "-float") {
    char* end = nullptr;
    double real = std::strtod(word.c_str(), &end);
    if (word.empty() || *end != '\0' || !std::isfinite(real)) {
      *error = "not a number: " + word;
      return nullptr;
    }
    return CFNumberCreate(nullptr, kCFNumberFloat64Type, &real);
  }
  if (type == "-bool" || type == "-boolean") {
    for (const char* yes : {"YES", "yes", "true", "TRUE", "1"})
      if (word == yes) return CFRetain(kCFBooleanTrue);
    for (const char* no : {"NO", "no", "false", "FALSE", "0"})
      if (word == no) return CFRetain(kCFBooleanFalse);
    *error = "not a Boolean: " + word;
    return nullptr;
  }
  *error = "unknown value type " + type;
  return nullptr;
}

// ---------------------------------------------------------------------------
// The verbs.

int Read(const Domain& domain, const Args& rest) {
  if (rest.size() > 1) return Fail(kName, "read takes DOMAIN [KEY]");
  CFPreferencesSynchronize(domain.app, domain.user, domain.host);
  if (rest.size() == 1) {
    Ref key(NewString(rest[0]));
    Ref value(key.ref != nullptr ? CFPreferencesCopyValue(static_cast<CFStringRef>(key.ref), domain.app,
                                                           domain.user, domain.host)
                                 : nullptr);
    if (value.ref == nullptr)
      return Fail(kName, "the domain/default pair of (" + domain.name + ", " + rest[0] + ") does not exist");
    std::printf("%s\n", Describe(value.ref, 0).c_str());
    return 0;
  }
  Ref all(CFPreferencesCopyMultiple(nullptr, domain.app, domain.user, domain.host));
  if (all.ref == nullptr) return Fail(kName, "domain " + domain.name + " is refused");
  if (CFDictionaryGetCount(static_cast<CFDictionaryRef>(all.ref)) == 0)
    return Fail(kName, "domain " + domain.name + " does not exist");
  std::printf("%s\n", Describe(all.ref, 0).c_str());
  return 0;
}

int Write(const Domain& domain, const Args& rest) {
  if (rest.size() < 2) return Fail(kName, "write takes DOMAIN KEY [TYPE] VALUE");
  std::string error;
  Ref value(MakeValue(Args(rest.begin() + 1, rest.end()), &error));
  if (value.ref == nullptr) return Fail(kName, error);
  Ref key(NewString(rest[0]));
  if (key.ref == nullptr) return Fail(kName, "key is not UTF-8");
  CFPreferencesSetValue(static_cast<CFStringRef>(key.ref), value.ref, domain.app, domain.user, domain.host);
  if (!CFPreferencesSynchronize(domain.app, domain.user, domain.host))
    return Fail(kName, "could not write domain " + domain.name);
  return 0;
}

int Delete(const Domain& domain, const Args& rest) {
  if (rest.size() > 1) return Fail(kName, "delete takes DOMAIN [KEY]");
  CFPreferencesSynchronize(domain.app, domain.user, domain.host);
  Ref keys(CFPreferencesCopyKeyList(domain.app, domain.user, domain.host));
  if (rest.size() == 1) {
    Ref key(NewString(rest[0]));
    Ref value(key.ref != nullptr ? CFPreferencesCopyValue(static_cast<CFStringRef>(key.ref), domain.app,
                                                           domain.user, domain.host)
                                 : nullptr);
    if (value.ref == nullptr)
      return Fail(kName, "the domain/default pair of (" + domain.name + ", " + rest[0] + ") does not exist");
    CFPreferencesSetValue(static_cast<CFStringRef>(key.ref), nullptr, domain.app, domain.user, domain.host);
  } else {
    if (keys.ref == nullptr) return Fail(kName, "domain " + domain.name + " does not exist");
    auto list = static_cast<CFArrayRef>(keys.ref);
    for (CFIndex i = 0; i < CFArrayGetCount(list); ++i)
      CFPreferencesSetValue(static_cast<CFStringRef>(CFArrayGetValueAtIndex(list, i)), nullptr, domain.app,
                            domain.user, domain.host);
  }
  if (!CFPreferencesSynchronize(domain.app, domain.user, domain.host))
    return Fail(kName, "could not write domain " + domain.name);
  return 0;
}

int Export(const Domain& domain, const Args& rest) {
  if (rest.size() != 1) return Fail(kName, "export takes DOMAIN PATH (or - for standard output)");
  CFPreferencesSynchronize(domain.app, domain.user, domain.host);
  Ref all(CFPreferencesCopyMultiple(nullptr, domain.app, domain.user, domain.host));
  if (all.ref == nullptr) return Fail(kName, "domain " + domain.name + " is refused");
  Ref xml(CFPropertyListCreateXMLData(nullptr, all.ref));
  if (xml.ref == nullptr) return Fail(kName, "domain " + domain.name + " cannot be written as XML");
  auto data = static_cast<CFDataRef>(xml.ref);
  const char* bytes = reinterpret_cast<const char*>(CFDataGetBytePtr(data));
  auto length = static_cast<size_t>(CFDataGetLength(data));
  if (rest[0] == "-") {
    if (std::fwrite(bytes, 1, length, stdout) != length || std::fflush(stdout) != 0)
      return Fail(kName, "cannot write to standard output");
    return 0;
  }
  std::ofstream out(rest[0], std::ios::binary | std::ios::trunc);
  out.write(bytes, static_cast<std::streamsize>(length));
  out.close();
  if (!out) return Fail(kName, "cannot write " + rest[0]);
  return 0;
}

int Defaults(const Args& args) {
  if (args.empty()) return Fail(kName, "usage: defaults read|write|delete|export [--any-user] "
                                       "[--current-host] DOMAIN [KEY [VALUE]]");
  const std::string& verb = args[0];
  Args rest(args.begin() + 1, args.end());
  Domain domain;
  std::string error;
  if (verb != "read" && verb != "write" && verb != "delete" && verb != "export")
    return Fail(kName, "unknown verb '" + verb + "'");
  if (!ParseDomain(&rest, &domain, &error)) return Fail(kName, error);
  if (verb == "read") return Read(domain, rest);
  if (verb == "write") return Write(domain, rest);
  if (verb == "delete") return Delete(domain, rest);
  return Export(domain, rest);
}

}  // namespace

MACCTL_COMMAND("defaults",
               "defaults read|write|delete|export [--any-user] [--current-host] DOMAIN [KEY [VALUE]]",
               Defaults);

}  // namespace macctl
