// Foundation.h — the few Foundation operations the receipts tool needs, as
// plain C++ functions (NSString's tilde expansion, NSFileManager's existence
// test). Paths are the file system's own bytes. Nothing here throws.
#pragma once

#include <string>

// -[NSString stringByExpandingTildeInPath]: "~" and "~/x" take the running
// user's home folder ($HOME, else the password database) in place of the
// "~"; "~user" and "~user/x" take that user's home folder. A path whose
// home cannot be found, and any path not beginning with "~", comes back
// unchanged. A trailing slash of the result is dropped, as on the Mac
// ("~/" gives the home itself).
std::string NSStringByExpandingTildeInPath(const std::string& path);

// -[NSFileManager fileExistsAtPath:]: true when a file or a folder (a bundle
// counts) exists at `path`, following symbolic links (a dangling link is
// false). False for an empty path or one the caller may not search.
bool NSFileManagerFileExistsAtPath(const std::string& path);
