// HFSPaths.h — Linux paths as classic HFS paths and back.
//
// Internal to platform/ (CFURL, the stand-in Finder). The whole Linux file
// system is one volume named "Macintosh HD": "/a/b/c" is "Macintosh HD:a:b:c"
// and "/" is "Macintosh HD:". A colon inside a Linux name is shown as a slash
// (a slash cannot occur inside a Linux name). Names that are not UTF-8 keep
// each invalid byte as the code unit U+DC80 + byte, so every path survives
// the round trip byte for byte (docs/platform.md, "Volumes and HFS paths").
#pragma once

#include <string>

#include "platform/core/MacTypes.h"

namespace macplatform {

// The name of the one volume.
inline constexpr char kVolumeName[] = "Macintosh HD";

// `posixPath` must be absolute; it is normalised first ("//" and "." go, ".."
// removes the name before it, a trailing slash is dropped). A folder's HFS
// path carries no trailing colon (callers add one), except the root's.
// paramErr for a relative or empty path, bdNamErr for a path with a NUL.
OSErr HFSPathFromPOSIXPath(const std::string& posixPath, std::u16string* hfsPath);
// The same, as UTF-8; bdNamErr when a name is not valid UTF-8.
OSErr HFSPathFromPOSIXPath(const std::string& posixPath, std::string* hfsPath);

// Accepts "Macintosh HD", "Macintosh HD:" and "Macintosh HD:a:b" (a trailing
// colon, marking a folder, is allowed; `isFolder` may be NULL). The volume
// name is compared without regard to ASCII case. nsvErr when the first
// component is not the volume's name; bdNamErr for a relative path (leading
// colon), an empty name in the middle ("a::b", the classic "parent"), a name
// "." or "..", a NUL, or a lone surrogate that is not an escaped byte.
OSErr POSIXPathFromHFSPath(const std::u16string& hfsPath, std::string* posixPath,
                           bool* isFolder = nullptr);
// The same, from UTF-8; bdNamErr when `hfsPath` is not valid UTF-8.
OSErr POSIXPathFromHFSPath(const std::string& hfsPath, std::string* posixPath,
                           bool* isFolder = nullptr);

// Lexical normalisation of an absolute path, as above; false for a relative
// or empty path.
bool NormalizePOSIXPath(const std::string& path, std::string* normalized);

}  // namespace macplatform
