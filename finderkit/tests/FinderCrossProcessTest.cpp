// Finder requests to another process: a child program plays the Finder.
// The whole road of a labelling run: read the selection, turn each item into
// an alias, tell the Finder to update the item.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "aekit/MoreAEObjects.h"
#include "aekit/MoreAppleEvents.h"
#include "finderkit/MoreFinderEvents.h"
#include "procscript/MoreProcesses.h"
#include "testing/ProgramEnvironment.h"
#include "testing/TestSupport.h"

namespace {

[[maybe_unused]] ::testing::Environment* const gEnvironment =
    ::testing::AddGlobalTestEnvironment(new tw::test::ProgramEnvironment);

Boolean Idle(EventRecord*, SInt32* sleep, RgnHandle* rgn) {
  return MoreAESimpleIdleFunction(nullptr, sleep, rgn);
}

bool FinderRuns() {
  ProcessSerialNumber psn;
  return MoreProcFindProcessBySignature('MACS', 'FNDR', &psn) == noErr;
}

class CrossProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    a_ = scratch_.path() + "/a.txt";
    b_ = scratch_.path() + "/b.txt";
    tw::test::WriteFile(a_, "a");
    tw::test::WriteFile(b_, "b");
    log_ = scratch_.path() + "/finder.log";
    child_ = std::make_unique<tw::test::Child>(
        std::vector<std::string>{"finderkit_finder_double", log_, a_, b_});
    ASSERT_TRUE(tw::test::WaitFor(FinderRuns));
  }
  void TearDown() override {
    AppleEvent quit;
    MoreAENullDesc(&quit);
    if (MoreAECreateAppleEventSignatureTarget('FNDR', 'MACS', kCoreEventClass, kAEQuitApplication,
                                              &quit) == noErr) {
      MoreAESendEventNoReturnValue(nullptr, &quit);
    }
    MoreAEDisposeDesc(&quit);
    EXPECT_EQ(child_->Wait(30), 0) << child_->Stderr();
  }
  tw::test::ScratchDir scratch_;
  std::string a_, b_, log_;
  std::unique_ptr<tw::test::Child> child_;
};

}  // namespace

TEST_F(CrossProcess, SelectionToAliasesToUpdates) {
  AEDescList selection;
  MoreAENullDesc(&selection);
  ASSERT_EQ(MoreFEGetSelection(Idle, &selection), noErr);
  long count = 0;
  ASSERT_EQ(AECountItems(&selection, &count), noErr);
  ASSERT_EQ(count, 2);
  std::string expected = "core/getd\n";
  for (long i = count; i >= 1; --i) {
    AEDesc item;
    MoreAENullDesc(&item);
    AEKeyword key;
    ASSERT_EQ(AEGetNthDesc(&selection, i, typeWildCard, &key, &item), noErr);
    AliasHandle alias = nullptr;
    ASSERT_EQ(MoreFEGetObjectAsAlias(&item, &alias, Idle), noErr);
    MoreAEDisposeDesc(&item);
    FSRef ref;
    Boolean changed;
    ASSERT_EQ(FSResolveAlias(nullptr, alias, &ref, &changed), noErr);
    DisposeHandle(reinterpret_cast<Handle>(alias));
    EXPECT_EQ(MoreFEUpdateItemFSRef(&ref), noErr);
    expected += "core/getd\nfndr/fupd " + std::string(i == 2 ? b_ : a_) + "\n";
  }
  MoreAEDisposeDesc(&selection);
  ASSERT_TRUE(tw::test::WaitFor([&] { return tw::test::ReadFile(log_) == "ready\n" + expected; }))
      << tw::test::ReadFile(log_);
}

TEST_F(CrossProcess, HandlerErrorCrossesTheProcessBoundary) {
  // An 'alis' specifier the double does not know: errAENoSuchObject.
  AEDesc container, spec;
  MoreAENullDesc(&container);
  MoreAENullDesc(&spec);
  ASSERT_EQ(MoreAEOCreatePropertyObject('xxxx', &container, &spec), noErr);
  AEDesc other;
  MoreAENullDesc(&other);
  ASSERT_EQ(MoreAEOCreateSelectionObject(kAEAll, &spec, &other), noErr);
  AliasHandle alias = reinterpret_cast<AliasHandle>(0x1);
  EXPECT_EQ(MoreFEGetObjectAsAlias(&other, &alias, Idle), errAENoSuchObject);
  EXPECT_EQ(alias, reinterpret_cast<AliasHandle>(0x1));
  MoreAEDisposeDesc(&spec);
  MoreAEDisposeDesc(&other);
}
