// macctl — the platform's command-line tool: look at and drive the platform
// state of this user session (labels, processes, Apple events, preferences,
// scraps, notifications, the stand-in Finder).
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "tools/macctl/Command.h"

namespace macctl {
namespace {

std::map<std::string, Command>& Commands() {
  static std::map<std::string, Command> commands;
  return commands;
}

int Help() {
  std::printf("usage: macctl COMMAND [ARGS...]\n\ncommands:\n");
  for (auto& [name, command] : Commands()) std::printf("  %s\n", command.usage);
  return 0;
}

}  // namespace

Registrar::Registrar(const char* name, const char* usage, CommandFn run) {
  Commands()[name] = Command{name, usage, run};
}

int Fail(const char* command, const std::string& message) {
  std::fprintf(stderr, "macctl %s: %s\n", command, message.c_str());
  return 1;
}

}  // namespace macctl

int main(int argc, char** argv) {
  using namespace macctl;
  if (argc < 2 || std::strcmp(argv[1], "help") == 0 || std::strcmp(argv[1], "--help") == 0) {
    Help();
    return argc < 2 ? 2 : 0;
  }
  auto it = Commands().find(argv[1]);
  if (it == Commands().end()) {
    std::fprintf(stderr, "macctl: unknown command '%s' (try macctl help)\n", argv[1]);
    return 2;
  }
  Args args(argv + 2, argv + argc);
  return it->second.run(args);
}
