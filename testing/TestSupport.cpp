// TestSupport.cpp — see TestSupport.h.
#include "testing/TestSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace tw::test {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
  const char* root = std::getenv("TW_TEST_ROOT");
  std::string base = root != nullptr && root[0] != '\0' ? root : "/tmp";
  fs::create_directories(base);
  std::string templ = base + "/tw-XXXXXX";
  std::vector<char> buf(templ.begin(), templ.end());
  buf.push_back('\0');
  if (::mkdtemp(buf.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = buf.data();
  ::chmod(path_.c_str(), 0755);
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  // Items a test made read-only or immutable must not stop the clean-up.
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

PrivateEnvironment::PrivateEnvironment() {
  fs::create_directories(home() + "/Desktop");
  fs::create_directories(config());
  fs::create_directories(runtime());
  fs::create_directories(system());
  ::chmod(runtime().c_str(), 0700);
  Set("HOME", home());
  Set("XDG_RUNTIME_DIR", runtime());
  Set("XDG_CONFIG_HOME", config());
  Set("XDG_DESKTOP_DIR", desktop());
  Set("MACPLATFORM_SYSTEM_DIR", system());
  saved_.emplace("DBUS_SESSION_BUS_ADDRESS",
                 std::make_pair(std::getenv("DBUS_SESSION_BUS_ADDRESS") != nullptr,
                                std::getenv("DBUS_SESSION_BUS_ADDRESS") ? std::getenv("DBUS_SESSION_BUS_ADDRESS") : ""));
  // No bus until a test asks for one: nothing reaches the real session.
  ::setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + root() + "/no-bus").c_str(), 1);
}

PrivateEnvironment::~PrivateEnvironment() {
  StopSessionBus();
  for (auto& [name, old] : saved_) {
    if (old.first)
      ::setenv(name.c_str(), old.second.c_str(), 1);
    else
      ::unsetenv(name.c_str());
  }
}

void PrivateEnvironment::Set(const char* name, const std::string& value) {
  const char* old = std::getenv(name);
  saved_.emplace(name, std::make_pair(old != nullptr, old ? std::string(old) : std::string()));
  ::setenv(name, value.c_str(), 1);
}

bool PrivateEnvironment::StartSessionBus() {
  if (bus_pid_ > 0) return true;
  std::string socket = root() + "/bus";
  std::string address = "unix:path=" + socket;
  std::string conf = root() + "/bus.conf";
  WriteFile(conf,
            "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
            " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
            "<busconfig><type>session</type><listen>" + address +
                "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                "<allow own=\"*\"/></policy></busconfig>\n");
  pid_t pid = ::fork();
  if (pid == 0) {
    // The daemon's own complaints (it cannot raise its file limit when not
    // privileged) go to a log beside the bus, not into the test's output.
    int devnull = ::open("/dev/null", O_RDWR);
    int log = ::open((root() + "/bus.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    ::dup2(devnull, 0);
    ::dup2(devnull, 1);
    ::dup2(log >= 0 ? log : devnull, 2);
    ::execlp("dbus-daemon", "dbus-daemon", ("--config-file=" + conf).c_str(), "--nofork", "--nopidfile",
             static_cast<char*>(nullptr));
    ::_exit(127);
  }
  if (pid < 0) return false;
  bus_pid_ = pid;
  bool up = WaitFor([&] { return ::access(socket.c_str(), F_OK) == 0; }, 20.0);
  if (!up) {
    StopSessionBus();
    return false;
  }
  ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
  return true;
}

void PrivateEnvironment::StopSessionBus() {
  if (bus_pid_ <= 0) return;
  ::kill(bus_pid_, SIGTERM);
  int status = 0;
  ::waitpid(bus_pid_, &status, 0);
  bus_pid_ = -1;
}

std::string InChild(const std::function<std::string()>& body) {
  int fds[2];
  if (::pipe(fds) != 0) return "pipe failed";
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    std::string report = body();
    (void)!::write(fds[1], report.data(), report.size());
    ::_exit(0);
  }
  ::close(fds[1]);
  std::string report;
  char buf[512];
  ssize_t n;
  while ((n = ::read(fds[0], buf, sizeof buf)) > 0) report.append(buf, static_cast<size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) report += " (child died)";
  return report;
}

std::string BinPath(const std::string& name) {
  const char* dir = std::getenv("TW_BIN_DIR");
  return std::string(dir != nullptr ? dir : ".") + "/" + name;
}

Child::Child(std::vector<std::string> argv, std::map<std::string, std::string> env) {
  if (argv.empty()) throw std::invalid_argument("empty argv");
  if (argv[0].find('/') == std::string::npos) argv[0] = BinPath(argv[0]);
  std::string out = io_ / "stdout";
  std::string err = io_ / "stderr";
  std::vector<char*> args;
  for (auto& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  pid_ = ::fork();
  if (pid_ == 0) {
    for (auto& [k, v] : env) ::setenv(k.c_str(), v.c_str(), 1);
    int in = ::open("/dev/null", O_RDONLY);
    int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(in, 0);
    ::dup2(o, 1);
    ::dup2(e, 2);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  if (pid_ < 0) throw std::runtime_error("fork failed");
}

Child::~Child() {
  if (!reaped_ && pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status_, 0);
  }
}

bool Child::running() {
  if (reaped_) return false;
  int status = 0;
  pid_t r = ::waitpid(pid_, &status, WNOHANG);
  if (r == pid_) {
    reaped_ = true;
    status_ = status;
    return false;
  }
  return true;
}

int Child::Wait(double seconds) {
  if (!reaped_) {
    bool done = WaitFor([&] { return !running(); }, seconds);
    if (!done) return -1;
  }
  if (WIFEXITED(status_)) return WEXITSTATUS(status_);
  if (WIFSIGNALED(status_)) return 128 + WTERMSIG(status_);
  return -1;
}

void Child::Signal(int sig) {
  if (!reaped_) ::kill(pid_, sig);
}

std::string Child::Stdout() const { return ReadFile(io_ / "stdout"); }
std::string Child::Stderr() const { return ReadFile(io_ / "stderr"); }

int Run(std::vector<std::string> argv, std::string* out, std::string* err, double seconds,
        std::map<std::string, std::string> env) {
  Child child(std::move(argv), std::move(env));
  int status = child.Wait(seconds);
  if (out != nullptr) *out = child.Stdout();
  if (err != nullptr) *err = child.Stderr();
  return status;
}

bool WaitFor(const std::function<bool()>& condition, double seconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  auto pause = std::chrono::microseconds(200);
  while (true) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return condition();
    std::this_thread::sleep_for(pause);
    if (pause < std::chrono::milliseconds(20)) pause *= 2;
  }
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFile(const std::string& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << contents;
}

}  // namespace tw::test
