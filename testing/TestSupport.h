// TestSupport.h — what tests share: scratch folders, a private environment
// (runtime folder, configuration, home, session bus), child processes, and
// waiting for a condition with a deadline.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tw::test {

// A fresh folder under $TW_TEST_ROOT (else /tmp), removed with its contents.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  // path()/name
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Points HOME, XDG_RUNTIME_DIR, XDG_CONFIG_HOME, XDG_DESKTOP_DIR and
// MACPLATFORM_SYSTEM_DIR at folders of a scratch dir, so a test never touches
// the real user's state; restores the old values when it goes away.
// StartSessionBus() starts a private dbus-daemon and sets
// DBUS_SESSION_BUS_ADDRESS; the daemon is stopped by its pid at the end.
class PrivateEnvironment {
 public:
  PrivateEnvironment();
  ~PrivateEnvironment();
  PrivateEnvironment(const PrivateEnvironment&) = delete;
  PrivateEnvironment& operator=(const PrivateEnvironment&) = delete;

  const std::string& root() const { return scratch_.path(); }
  std::string home() const { return root() + "/home"; }
  std::string runtime() const { return root() + "/run"; }
  std::string config() const { return root() + "/home/.config"; }
  std::string desktop() const { return root() + "/home/Desktop"; }
  std::string system() const { return root() + "/system"; }

  // Starts a private session bus; false when dbus-daemon is missing.
  bool StartSessionBus();
  void StopSessionBus();

 private:
  ScratchDir scratch_;
  std::map<std::string, std::pair<bool, std::string>> saved_;
  pid_t bus_pid_ = -1;
  void Set(const char* name, const std::string& value);
};

// A program started with fork/exec; standard output and error go to files.
class Child {
 public:
  // argv[0] is a path or the name of a program in $TW_BIN_DIR.
  explicit Child(std::vector<std::string> argv, std::map<std::string, std::string> env = {});
  ~Child();  // kills the child if it is still running
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return pid_; }
  bool running();
  // Waits for the exit; returns the exit status, 128+signal when killed, or
  // -1 when the deadline passed (the child is left running).
  int Wait(double seconds = 30.0);
  void Signal(int sig);
  std::string Stdout() const;
  std::string Stderr() const;

 private:
  pid_t pid_ = -1;
  int status_ = -1;
  bool reaped_ = false;
  ScratchDir io_;
};

// Runs a program to its end; returns its exit status (or -1 on timeout).
int Run(std::vector<std::string> argv, std::string* out = nullptr, std::string* err = nullptr,
        double seconds = 60.0, std::map<std::string, std::string> env = {});

// Runs `body` in a forked child (for what a test may not do in its own
// process: change its uid, enter a mount namespace) and returns what the
// body reported: "" for success, by convention "SKIP ..." when the machine
// cannot do what the test needs. " (child died)" is appended when the child
// did not exit normally.
std::string InChild(const std::function<std::string()>& body);

// Path of a built program: $TW_BIN_DIR/name.
std::string BinPath(const std::string& name);

// Polls `condition` until it is true or `seconds` have passed; returns its
// last value. The deadline is generous on purpose: it is not a timing test.
bool WaitFor(const std::function<bool()>& condition, double seconds = 20.0);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& contents);

}  // namespace tw::test
