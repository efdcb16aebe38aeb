// Command.h — how a macctl subcommand registers itself.
//
// Each subcommand lives in its own Cmd*.cpp file and registers with
// MACCTL_COMMAND; Main.cpp dispatches on the first argument. A command gets
// the arguments after its own name and returns the exit status.
#pragma once

#include <string>
#include <vector>

namespace macctl {

using Args = std::vector<std::string>;
using CommandFn = int (*)(const Args& args);

struct Command {
  const char* name;
  const char* usage;  // one line, shown by `macctl help`
  CommandFn run;
};

// Registers a command at static-initialisation time.
struct Registrar {
  Registrar(const char* name, const char* usage, CommandFn run);
};

// Prints "macctl NAME: message" on standard error and returns 1.
int Fail(const char* command, const std::string& message);

}  // namespace macctl

#define MACCTL_CAT2(a, b) a##b
#define MACCTL_CAT(a, b) MACCTL_CAT2(a, b)
#define MACCTL_COMMAND(name, usage, fn) \
  static ::macctl::Registrar MACCTL_CAT(gMacctlRegistrar, __LINE__){name, usage, fn}
