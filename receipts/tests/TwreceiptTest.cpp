// twreceipt end to end, in a private environment: a private home, a private
// system preferences folder and a private /Library (a tmpfs mounted in a
// mount namespace of the child that runs the program).
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/preferences/CFPreferences.h"
#include "testing/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using tw::test::PrivateEnvironment;

const char* const kGlobal[] = {"/Library/PreferencePanes/Tintwell.prefPane", "/Library/Splicers/Tintwell.splc",
                               "/Library/Contextual Menu Items/Tintwell.plugin"};
const char* const kLocal[] = {"Library/PreferencePanes/Tintwell.prefPane", "Library/Splicers/Tintwell.splc",
                              "Library/Contextual Menu Items/Tintwell.plugin"};

// /Library must exist as a mount point. When the machine lacks it, the suite
// makes an empty one for its run and removes it at the end; nothing is ever
// written into it outside the children's private mounts.
bool gMadeLibrary = false;

class Twreceipt : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (::getuid() != 0) return;
    if (::mkdir("/Library", 0755) == 0) gMadeLibrary = true;
  }
  static void TearDownTestSuite() {
    if (gMadeLibrary) ::rmdir("/Library");
    gMadeLibrary = false;
  }
  void SetUp() override {
    if (::getuid() != 0) GTEST_SKIP() << "private /Library needs root (mount namespaces)";
  }

  // Runs twreceipt with `library` mounted over /Library (copied into a tmpfs
  // so that the program sees exactly those items). Returns the exit status;
  // standard output and error go to *out.
  int RunTwreceipt(const std::vector<std::string>& globalItems, std::string* out) {
    std::string log = env_.root() + "/twreceipt.out";
    pid_t pid = ::fork();
    if (pid == 0) {
      if (::unshare(CLONE_NEWNS) != 0) ::_exit(101);
      if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) ::_exit(102);
      if (::mount("tw-library", "/Library", "tmpfs", 0, "mode=0755") != 0) ::_exit(103);
      for (const auto& item : globalItems) {
        std::error_code ec;
        fs::create_directories(item, ec);
        if (ec) ::_exit(104);
      }
      int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(fd, 1);
      ::dup2(fd, 2);
      std::string program = tw::test::BinPath("twreceipt");
      ::execl(program.c_str(), "twreceipt", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    *out = tw::test::ReadFile(log);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  void MakeLocal(size_t count) {
    for (size_t i = 0; i < count; ++i) fs::create_directories(env_.home() + "/" + kLocal[i]);
  }

  // The exported domain, through macctl.
  std::string Export(bool anyUser) {
    std::vector<std::string> args = {tw::test::BinPath("macctl"), "defaults", "export"};
    if (anyUser) {
      args.push_back("--any-user");
      args.push_back("--current-host");
    }
    args.push_back("Tolvane Installer Receipts");
    args.push_back("-");
    std::string out;
    EXPECT_EQ(tw::test::Run(args, &out), 0);
    return out;
  }

  // The receipt's "Files" and "Version" in one domain, from the export.
  static bool Parse(const std::string& xml, std::vector<std::string>* files, SInt32* version) {
    CFDataRef data = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(xml.data()),
                                  static_cast<CFIndex>(xml.size()));
    CFPropertyListRef root = CFPropertyListCreateFromXMLData(nullptr, data, 0, nullptr);
    CFRelease(data);
    if (root == nullptr) return false;
    auto receipt = static_cast<CFDictionaryRef>(
        CFDictionaryGetValue(static_cast<CFDictionaryRef>(root), CFSTR("com.tolvane.tintwell")));
    bool found = receipt != nullptr;
    if (found) {
      auto list = static_cast<CFArrayRef>(CFDictionaryGetValue(receipt, CFSTR("Files")));
      for (CFIndex i = 0; list != nullptr && i < CFArrayGetCount(list); ++i) {
        char buffer[1024];
        CFStringGetCString(static_cast<CFStringRef>(CFArrayGetValueAtIndex(list, i)), buffer, sizeof buffer,
                           kCFStringEncodingUTF8);
        files->push_back(buffer);
      }
      CFNumberGetValue(static_cast<CFNumberRef>(CFDictionaryGetValue(receipt, CFSTR("Version"))),
                       kCFNumberSInt32Type, version);
    }
    CFRelease(root);
    return found;
  }

  std::vector<std::string> GlobalPaths() const { return {kGlobal[0], kGlobal[1], kGlobal[2]}; }
  std::vector<std::string> LocalPaths() const {
    return {env_.home() + "/" + kLocal[0], env_.home() + "/" + kLocal[1], env_.home() + "/" + kLocal[2]};
  }

  PrivateEnvironment env_;
};

TEST_F(Twreceipt, NeitherPaneRecordsNothing) {
  std::string out;
  EXPECT_EQ(RunTwreceipt({}, &out), 0);
  EXPECT_EQ(out, "");
  std::vector<std::string> files;
  SInt32 version = 0;
  EXPECT_FALSE(Parse(Export(false), &files, &version));
  EXPECT_FALSE(Parse(Export(true), &files, &version));
  // Only synchronizations happened: no preferences file was written.
  EXPECT_FALSE(fs::exists(env_.config() + "/macplatform/Preferences/Tolvane Installer Receipts.plist"));
}

TEST_F(Twreceipt, PerUserPaneRecordsTheExpandedLocalPaths) {
  MakeLocal(1);  // only the preference pane
  std::string out;
  EXPECT_EQ(RunTwreceipt({}, &out), 0);
  EXPECT_EQ(out, "");
  std::vector<std::string> files;
  SInt32 version = 0;
  ASSERT_TRUE(Parse(Export(false), &files, &version));
  EXPECT_EQ(files, LocalPaths());
  EXPECT_EQ(version, 16809984);
  std::vector<std::string> none;
  EXPECT_FALSE(Parse(Export(true), &none, &version));
  // Deleting the absent global key wrote nothing into the system folder.
  EXPECT_FALSE(fs::exists(env_.system() + "/Preferences"));
}

TEST_F(Twreceipt, AllUsersPaneRecordsAllThreeGlobalPaths) {
  std::string out;
  EXPECT_EQ(RunTwreceipt({kGlobal[0]}, &out), 0);  // the other two are missing
  EXPECT_EQ(out, "");
  std::vector<std::string> files;
  SInt32 version = 0;
  ASSERT_TRUE(Parse(Export(true), &files, &version));
  EXPECT_EQ(files, GlobalPaths());
  EXPECT_EQ(version, 16809984);
}

TEST_F(Twreceipt, BothPanesRecordTheGlobalSet) {
  MakeLocal(3);
  std::string out;
  EXPECT_EQ(RunTwreceipt({kGlobal[0], kGlobal[1], kGlobal[2]}, &out), 0);
  std::vector<std::string> files, none;
  SInt32 version = 0;
  ASSERT_TRUE(Parse(Export(true), &files, &version));
  EXPECT_EQ(files, GlobalPaths());
  EXPECT_FALSE(Parse(Export(false), &none, &version));
}

TEST_F(Twreceipt, LocalReceiptWithEmptyListIsReplaced) {
  ASSERT_EQ(tw::test::Run({tw::test::BinPath("macctl"), "defaults", "write", "Tolvane Installer Receipts",
                           "placeholder", "x"}),
            0);
  // An empty receipt, as an installer could leave it.
  const void* keys[] = {CFSTR("Version"), CFSTR("Files")};
  SInt32 old = 5;
  CFNumberRef number = CFNumberCreate(nullptr, kCFNumberSInt32Type, &old);
  CFArrayRef empty = CFArrayCreate(nullptr, nullptr, 0, &kCFTypeArrayCallBacks);
  const void* values[] = {number, empty};
  CFDictionaryRef receipt = CFDictionaryCreate(nullptr, keys, values, 2, &kCFTypeDictionaryKeyCallBacks,
                                               &kCFTypeDictionaryValueCallBacks);
  CFPreferencesSetValue(CFSTR("com.tolvane.tintwell"), receipt, CFSTR("Tolvane Installer Receipts"),
                        kCFPreferencesCurrentUser, kCFPreferencesAnyHost);
  ASSERT_TRUE(CFPreferencesSynchronize(CFSTR("Tolvane Installer Receipts"), kCFPreferencesCurrentUser,
                                       kCFPreferencesAnyHost));
  CFRelease(receipt);
  CFRelease(empty);
  CFRelease(number);
  std::string out;
  EXPECT_EQ(RunTwreceipt({kGlobal[0]}, &out), 0);
  std::vector<std::string> files, none;
  SInt32 version = 0;
  ASSERT_TRUE(Parse(Export(true), &files, &version));
  EXPECT_EQ(files, GlobalPaths());
  EXPECT_EQ(version, 16809984);
  EXPECT_FALSE(Parse(Export(false), &none, &version));
  // The other key of the local domain is untouched.
  std::string value;
  EXPECT_EQ(tw::test::Run({tw::test::BinPath("macctl"), "defaults", "read", "Tolvane Installer Receipts",
                           "placeholder"},
                          &value),
            0);
}

TEST_F(Twreceipt, SecondRunChangesNothing) {
  MakeLocal(3);
  std::string out;
  ASSERT_EQ(RunTwreceipt({}, &out), 0);
  std::string file = env_.config() + "/macplatform/Preferences/Tolvane Installer Receipts.plist";
  std::string first = tw::test::ReadFile(file);
  struct stat before;
  ASSERT_EQ(::stat(file.c_str(), &before), 0);
  // Even with the all-users pane present now, and the recorded paths gone.
  fs::remove_all(env_.home() + "/Library");
  ASSERT_EQ(RunTwreceipt({kGlobal[0]}, &out), 0);
  EXPECT_EQ(out, "");
  struct stat after;
  ASSERT_EQ(::stat(file.c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);
  EXPECT_EQ(tw::test::ReadFile(file), first);
  std::vector<std::string> none;
  SInt32 version = 0;
  EXPECT_FALSE(Parse(Export(true), &none, &version));
}

}  // namespace
