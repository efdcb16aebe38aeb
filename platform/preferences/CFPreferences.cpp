// CFPreferences.cpp — the portable part of the preferences: scopes, the
// process's view of each domain, and the property-list calls.
//
// Sections: scopes; domains in memory; values; synchronization; property
// lists.
#include "platform/preferences/CFPreferences.h"

#include <errno.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/core/MacErrors.h"
#include "platform/preferences/DomainFile.h"
#include "platform/preferences/PlistCodec.h"

using namespace macplatform::prefs;

const CFStringRef kCFPreferencesAnyApplication = CFSTR("kCFPreferencesAnyApplication");
const CFStringRef kCFPreferencesCurrentApplication = CFSTR("kCFPreferencesCurrentApplication");
const CFStringRef kCFPreferencesAnyHost = CFSTR("kCFPreferencesAnyHost");
const CFStringRef kCFPreferencesCurrentHost = CFSTR("kCFPreferencesCurrentHost");
const CFStringRef kCFPreferencesAnyUser = CFSTR("kCFPreferencesAnyUser");
const CFStringRef kCFPreferencesCurrentUser = CFSTR("kCFPreferencesCurrentUser");

namespace {

// ---------------------------------------------------------------------------
// Scopes. A domain is named by its application ID and two scopes; anything
// else is refused before a file name is made from it.

struct DomainKey {
  std::string appID;
  UserScope user;
  HostScope host;
};

bool Same(CFStringRef a, CFStringRef b) {
  return a != nullptr && b != nullptr && CFGetTypeID(a) == CFStringGetTypeID() && CFEqual(a, b);
}

bool ResolveApplication(CFStringRef applicationID, std::string* appID) {
  if (applicationID == nullptr) return false;
  if (Same(applicationID, kCFPreferencesAnyApplication)) {
    *appID = ".GlobalPreferences";
    return true;
  }
  if (Same(applicationID, kCFPreferencesCurrentApplication)) {
    *appID = program_invocation_short_name != nullptr ? program_invocation_short_name : "";
  } else if (!StringToUTF8(applicationID, appID)) {
    return false;
  }
  return ValidApplicationID(*appID);
}

bool ResolveUser(CFStringRef userName, UserScope* user) {
  if (Same(userName, kCFPreferencesCurrentUser)) {
    *user = UserScope::Current;
    return true;
  }
  if (Same(userName, kCFPreferencesAnyUser)) {
    *user = UserScope::Any;
    return true;
  }
  // The name of the user running the process means the current user.
  std::string name;
  struct passwd* pw = ::getpwuid(::geteuid());
  if (pw != nullptr && StringToUTF8(userName, &name) && name == pw->pw_name) {
    *user = UserScope::Current;
    return true;
  }
  return false;
}

bool ResolveHost(CFStringRef hostName, HostScope* host) {
  if (Same(hostName, kCFPreferencesAnyHost)) {
    *host = HostScope::Any;
    return true;
  }
  if (Same(hostName, kCFPreferencesCurrentHost)) {
    *host = HostScope::Current;
    return true;
  }
  return false;
}

bool Resolve(CFStringRef applicationID, CFStringRef userName, CFStringRef hostName,
             DomainKey* key) {
  return ResolveApplication(applicationID, &key->appID) && ResolveUser(userName, &key->user) &&
         ResolveHost(hostName, &key->host);
}

// ---------------------------------------------------------------------------
// Domains in memory: the file's content as last read, and this process's
// changes since its last synchronization (a null node is a deletion).

struct Domain {
  PlistPtr contents;
  Changes pending;
};

std::mutex& DomainsLock() {
  static std::mutex lock;
  return lock;
}

// Keyed by the file: the folders follow the environment, which may change.
std::map<std::string, Domain>& Domains() {
  static std::map<std::string, Domain> domains;
  return domains;
}

std::string PathOf(const DomainKey& key) { return DomainPath(key.appID, key.user, key.host); }

// The domain, read from its file on first use. Call with DomainsLock held.
Domain& Load(const DomainKey& key) {
  std::string path = PathOf(key);
  Domain& domain = Domains()[path];
  if (!domain.contents) {
    // An unreadable file reads as empty; Synchronize reports the failure.
    if (ReadDomainFile(path, &domain.contents) != noErr) domain.contents.reset(plist_new_dict());
  }
  return domain;
}

// The node under `name` as this process sees it (borrowed), or nullptr.
plist_t Lookup(Domain& domain, const std::string& name) {
  auto change = domain.pending.find(name);
  if (change != domain.pending.end()) return change->second.get();
  return plist_dict_get_item(domain.contents.get(), name.c_str());
}

// Every key with its node as this process sees it, sorted by key.
std::map<std::string, plist_t> View(Domain& domain) {
  std::map<std::string, plist_t> view;
  ForEachEntry(domain.contents.get(), [&](const std::string& name, plist_t node) { view[name] = node; });
  for (const auto& [name, node] : domain.pending) {
    if (node)
      view[name] = node.get();
    else
      view.erase(name);
  }
  return view;
}

CFPropertyListRef CopyValue(CFStringRef key, const DomainKey& domainKey) {
  std::string name;
  if (!StringToUTF8(key, &name)) return nullptr;
  std::lock_guard<std::mutex> guard(DomainsLock());
  plist_t node = Lookup(Load(domainKey), name);
  return node != nullptr ? CreateCFFromNode(node) : nullptr;
}

void SetValue(CFStringRef key, CFPropertyListRef value, const DomainKey& domainKey) {
  std::string name;
  if (!StringToUTF8(key, &name)) return;
  PlistPtr node;
  if (value != nullptr) {
    // The value is copied now: later changes to a mutable value do not leak
    // in, and a value that is not a property list is refused here.
    node = NodeFromCF(value);
    if (!node) return;
  }
  std::lock_guard<std::mutex> guard(DomainsLock());
  Domain& domain = Load(domainKey);
  domain.pending[name] = std::move(node);
}

// ---------------------------------------------------------------------------
// Synchronization.

Boolean Synchronize(const DomainKey& key) {
  std::lock_guard<std::mutex> guard(DomainsLock());
  std::string path = PathOf(key);
  Domain& domain = Domains()[path];
  PlistPtr contents;
  if (domain.pending.empty()) {
    if (ReadDomainFile(path, &contents) != noErr) return false;
  } else {
    // The changes stay pending when the write fails, for a later try.
    if (MergeDomainFile(path, key.user, domain.pending, &contents) != noErr) return false;
    domain.pending.clear();
  }
  domain.contents = std::move(contents);
  return true;
}

DomainKey AppDomain() { return DomainKey{std::string(), UserScope::Current, HostScope::Any}; }

bool ResolveApp(CFStringRef applicationID, DomainKey* key) {
  *key = AppDomain();
  return ResolveApplication(applicationID, &key->appID);
}

}  // namespace

// ---------------------------------------------------------------------------
// Values.

CFPropertyListRef CFPreferencesCopyAppValue(CFStringRef key, CFStringRef applicationID) {
  DomainKey domain;
  if (key == nullptr || !ResolveApp(applicationID, &domain)) return nullptr;
  return CopyValue(key, domain);
}

void CFPreferencesSetAppValue(CFStringRef key, CFPropertyListRef value,
                              CFStringRef applicationID) {
  DomainKey domain;
  if (key == nullptr || !ResolveApp(applicationID, &domain)) return;
  SetValue(key, value, domain);
}

Boolean CFPreferencesGetAppBooleanValue(CFStringRef key, CFStringRef applicationID,
                                        Boolean* keyExistsAndHasValidFormat) {
  Boolean valid = false, result = false;
  CFPropertyListRef value = CFPreferencesCopyAppValue(key, applicationID);
  if (value != nullptr) {
    CFTypeID type = CFGetTypeID(value);
    if (type == CFBooleanGetTypeID()) {
      valid = true;
      result = CFBooleanGetValue(static_cast<CFBooleanRef>(value));
    } else if (type == CFNumberGetTypeID()) {
      double number = 0;
      CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberFloat64Type, &number);
      valid = true;
      result = number != 0;
    } else if (type == CFStringGetTypeID()) {
      std::string text;
      StringToUTF8(static_cast<CFStringRef>(value), &text);
      if (strcasecmp(text.c_str(), "yes") == 0 || strcasecmp(text.c_str(), "true") == 0 ||
          text == "1") {
        valid = result = true;
      } else if (strcasecmp(text.c_str(), "no") == 0 || strcasecmp(text.c_str(), "false") == 0 ||
                 text == "0") {
        valid = true;
      }
    }
    CFRelease(value);
  }
  if (keyExistsAndHasValidFormat != nullptr) *keyExistsAndHasValidFormat = valid;
  return result;
}

CFIndex CFPreferencesGetAppIntegerValue(CFStringRef key, CFStringRef applicationID,
                                        Boolean* keyExistsAndHasValidFormat) {
  Boolean valid = false;
  CFIndex result = 0;
  CFPropertyListRef value = CFPreferencesCopyAppValue(key, applicationID);
  if (value != nullptr) {
    CFTypeID type = CFGetTypeID(value);
    if (type == CFNumberGetTypeID()) {
      CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberCFIndexType, &result);
      valid = true;
    } else if (type == CFStringGetTypeID()) {
      std::string text;
      StringToUTF8(static_cast<CFStringRef>(value), &text);
      errno = 0;
      char* end = nullptr;
      long long parsed = std::strtoll(text.c_str(), &end, 10);
      if (!text.empty() && end != nullptr && *end == '\0' && errno == 0) {
        result = static_cast<CFIndex>(parsed);
        valid = true;
      }
    }
    CFRelease(value);
  }
  if (keyExistsAndHasValidFormat != nullptr) *keyExistsAndHasValidFormat = valid;
  return result;
}

Boolean CFPreferencesAppSynchronize(CFStringRef applicationID) {
  DomainKey domain;
  if (!ResolveApp(applicationID, &domain)) return false;
  return Synchronize(domain);
}

CFPropertyListRef CFPreferencesCopyValue(CFStringRef key, CFStringRef applicationID,
                                         CFStringRef userName, CFStringRef hostName) {
  DomainKey domain;
  if (key == nullptr || !Resolve(applicationID, userName, hostName, &domain)) return nullptr;
  return CopyValue(key, domain);
}

void CFPreferencesSetValue(CFStringRef key, CFPropertyListRef value, CFStringRef applicationID,
                           CFStringRef userName, CFStringRef hostName) {
  DomainKey domain;
  if (key == nullptr || !Resolve(applicationID, userName, hostName, &domain)) return;
  SetValue(key, value, domain);
}

CFArrayRef CFPreferencesCopyKeyList(CFStringRef applicationID, CFStringRef userName,
                                    CFStringRef hostName) {
  DomainKey domainKey;
  if (!Resolve(applicationID, userName, hostName, &domainKey)) return nullptr;
  std::vector<CFTypeRef> keys;
  {
    std::lock_guard<std::mutex> guard(DomainsLock());
    for (const auto& entry : View(Load(domainKey))) {
      CFStringRef key = CreateStringFromUTF8(entry.first);
      if (key != nullptr) keys.push_back(key);
    }
  }
  if (keys.empty()) return nullptr;
  CFArrayRef array = CFArrayCreate(kCFAllocatorDefault, keys.data(),
                                   static_cast<CFIndex>(keys.size()), &kCFTypeArrayCallBacks);
  for (CFTypeRef key : keys) CFRelease(key);
  return array;
}

CFDictionaryRef CFPreferencesCopyMultiple(CFArrayRef keysToFetch, CFStringRef applicationID,
                                          CFStringRef userName, CFStringRef hostName) {
  DomainKey domainKey;
  if (!Resolve(applicationID, userName, hostName, &domainKey)) return nullptr;
  DictionaryBuilder builder;
  {
    std::lock_guard<std::mutex> guard(DomainsLock());
    std::map<std::string, plist_t> view = View(Load(domainKey));
    std::vector<std::string> wanted;
    if (keysToFetch == nullptr) {
      for (const auto& entry : view) wanted.push_back(entry.first);
    } else {
      for (CFIndex i = 0; i < CFArrayGetCount(keysToFetch); ++i) {
        std::string name;
        if (StringToUTF8(static_cast<CFStringRef>(CFArrayGetValueAtIndex(keysToFetch, i)), &name))
          wanted.push_back(name);
      }
    }
    for (const std::string& name : wanted) {
      auto found = view.find(name);
      if (found != view.end()) builder.Add(name, CreateCFFromNode(found->second));
    }
  }
  return builder.Create();
}

Boolean CFPreferencesSynchronize(CFStringRef applicationID, CFStringRef userName,
                                 CFStringRef hostName) {
  DomainKey domain;
  if (!Resolve(applicationID, userName, hostName, &domain)) return false;
  return Synchronize(domain);
}

// ---------------------------------------------------------------------------
// Property lists.

CFPropertyListRef CFPropertyListCreateFromXMLData(CFAllocatorRef, CFDataRef xmlData,
                                                  CFOptionFlags, CFStringRef* errorString) {
  if (errorString != nullptr) *errorString = nullptr;
  const char* problem = nullptr;
  CFPropertyListRef result = nullptr;
  if (xmlData == nullptr || CFGetTypeID(xmlData) != CFDataGetTypeID()) {
    problem = "no data";
  } else {
    PlistPtr root = ParsePlist(CFDataGetBytePtr(xmlData), static_cast<size_t>(CFDataGetLength(xmlData)));
    if (!root)
      problem = "not a property list";
    else if ((result = CreateCFFromNode(root.get())) == nullptr)
      problem = "property list holds no value that can be read";
  }
  if (problem != nullptr && errorString != nullptr)
    *errorString = CFStringCreateWithCString(kCFAllocatorDefault, problem, kCFStringEncodingUTF8);
  return result;
}

CFDataRef CFPropertyListCreateXMLData(CFAllocatorRef, CFPropertyListRef propertyList) {
  PlistPtr node = NodeFromCF(propertyList);
  if (!node) return nullptr;
  std::string xml = WriteXML(node.get());
  if (xml.empty()) return nullptr;
  return CFDataCreate(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(xml.data()),
                      static_cast<CFIndex>(xml.size()));
}
