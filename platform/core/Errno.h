// Errno.h — the one place where a Linux errno becomes a Mac result code.
//
// Internal to platform/: system folders never see errno. The table is in
// Errno.cpp and docs/platform.md; a test walks every row.
#pragma once

#include "platform/core/MacTypes.h"

namespace macplatform {

// The result code for an errno value. 0 gives noErr; an errno without a row
// gives ioErr, never success.
OSErr OSErrFromErrno(int error);

// One row of the table, for tests and documentation.
struct ErrnoRow {
  int error;
  OSErr result;
  const char* why;
};
const ErrnoRow* ErrnoTable(size_t* count);

}  // namespace macplatform
