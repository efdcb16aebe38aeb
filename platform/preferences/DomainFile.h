// DomainFile.h — where a preferences domain lives on Linux and how its file
// is read and merged (internal to platform/preferences).
#pragma once

#include <map>
#include <string>

#include "platform/core/MacTypes.h"
#include "platform/preferences/PlistCodec.h"

namespace macplatform::prefs {

enum class UserScope { Current, Any };
enum class HostScope { Any, Current };

// False for an application ID that could name a file outside its folder:
// empty, "." or "..", or holding a slash or a NUL.
bool ValidApplicationID(const std::string& appID);

// The host's identity in by-host file names: the first line of
// /etc/machine-id, else the host name, else "localhost".
std::string HostID();

// The file of a domain. The application ID must be valid.
std::string DomainPath(const std::string& appID, UserScope user, HostScope host);

// Keys set (a node) or deleted (nullptr) by this process since its last
// synchronization of a domain.
using Changes = std::map<std::string, PlistPtr>;

// Reads a domain file into a dictionary. A missing file reads as empty; a file
// that does not parse (or whose root is not a dictionary) is renamed to
// NAME.corrupt-SECONDS[-N] under the domain's lock and reads as empty.
OSErr ReadDomainFile(const std::string& path, PlistPtr* contents);

// Under the domain's lock (flock on PATH.lock): reads the file, applies
// `changes` over it, writes it atomically (XML) and hands back the result.
// Creates the folders as needed (per-user ones 0700, system ones 0755).
// Changes that only delete keys the file lacks write nothing.
OSErr MergeDomainFile(const std::string& path, UserScope user, const Changes& changes,
                      PlistPtr* merged);

}  // namespace macplatform::prefs
