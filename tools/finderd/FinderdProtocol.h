// FinderdProtocol.h — the stand-in Finder's own requests, shared by finderd
// and its clients (macctl finder, tests).
//
// Besides the Finder's documented events, finderd answers one private suite,
// class 'MPfd', for what a test or a person wants to look at from outside:
//   'MPfd'/'updt'  reply '----': a list of 'utf8' POSIX paths, one per
//                  'fndr'/'fupd' request recorded, oldest first
//   'MPfd'/'clru'  empties that log; no reply value
#pragma once

#include "platform/core/MacTypes.h"

namespace finderd {

enum : OSType {
  kFinderType = 'FNDR',
  kFinderCreator = 'MACS',

  kFinderSuite = 'fndr',
  kFinderUpdateEvent = 'fupd',
  kDesktopProperty = 'desk',

  kFinderdSuite = 'MPfd',
  kFinderdListUpdates = 'updt',
  kFinderdClearUpdates = 'clru',
};

// How many update requests the log keeps; older ones are dropped first.
constexpr unsigned kUpdateLogLimit = 1024;

}  // namespace finderd
