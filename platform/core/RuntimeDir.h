// RuntimeDir.h — the folder that holds this user's live platform state.
//
// The process list, the Apple-event sockets and the named scraps all live
// under one folder: $XDG_RUNTIME_DIR/macplatform, or /tmp/macplatform-UID when
// that variable is unset. The folder is created 0700 and refused when another
// user owns it or when others may write to it, so no other user can plant or
// read anything there.
#pragma once

#include <string>

#include "platform/core/MacTypes.h"

namespace macplatform {

// Fills `path` with the runtime folder, creating it if needed. Not cached:
// tests change XDG_RUNTIME_DIR between cases.
OSErr RuntimeDir(std::string* path);

// The path RuntimeSubdir would give, neither checked nor created: for a
// caller that watches the folder itself and checks it only when it changed.
std::string RuntimeSubdirPath(const char* sub);

// Fills `path` with RuntimeDir()/`sub`, a private (0700) subfolder, created if
// needed and checked like the runtime folder itself.
OSErr RuntimeSubdir(const char* sub, std::string* path);

// Creates `path` as a 0700 folder owned by the caller if missing and checks
// that it is a real folder (not a link), owned by the caller and not writable
// by group or others.
OSErr EnsurePrivateDir(const std::string& path);

}  // namespace macplatform
