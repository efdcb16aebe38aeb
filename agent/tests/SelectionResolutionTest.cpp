// SelectionResolutionTest.cpp — GetFSObjects over real Finder selections
// (finderd answers the alias requests), over descriptors made here, and
// with an allocator that fails.
#include <gtest/gtest.h>
#include <unistd.h>

#include "agent/SelectionResolutionInternal.h"
#include "agent/TWHelper.h"
#include "agent/tests/AgentTestSupport.h"
#include "finderkit/MoreFinderEvents.h"
#include "platform/appleevents/ScopedDesc.h"

namespace agent_test {
namespace {

std::string PathOf(const FSRef& ref) {
  UInt8 path[4096];
  if (FSRefMakePath(&ref, path, sizeof path) != noErr) return "";
  return reinterpret_cast<const char*>(path);
}

// The paths of an FSRef array; the array is freed.
std::vector<std::string> PathsOf(FSRef* refs, UInt32 count) {
  std::vector<std::string> paths;
  for (UInt32 i = 0; i < count; ++i) paths.push_back(PathOf(refs[i]));
  free(refs);
  return paths;
}

using Desc = macplatform::ae::ScopedDesc;

class SelectionResolutionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(world_.bus());
    ASSERT_TRUE(world_.finder() != nullptr && world_.finder()->running());
    a_ = world_.Item("A");
    b_ = world_.Item("B");
    c_ = world_.Item("C", 0, true);
  }
  void TearDown() override { gGetFSObjectsRealloc = realloc; }

  // The Finder's selection of these items, as MoreFEGetSelection gives it.
  void SelectAndGet(const std::vector<std::string>& paths, AEDescList* selection) {
    ASSERT_TRUE(world_.Select(paths));
    ASSERT_EQ(MoreFEGetSelection(SelectionIdleProc, selection), noErr);
    ASSERT_EQ(selection->descriptorType, typeAEList);
  }

  World world_;
  std::string a_, b_, c_;
};

TEST_F(SelectionResolutionTest, ListOfObjectSpecifiersGivesItemsInReverseOrder) {
  Desc selection;
  SelectAndGet({a_, b_, c_}, &selection);
  UInt32 count = 99;
  FSRef* refs = GetFSObjects(&selection.d, &count);
  ASSERT_NE(refs, nullptr);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(PathsOf(refs, count), (std::vector<std::string>{c_, b_, a_}));
  // The selection is the caller's and still whole.
  long n = 0;
  EXPECT_EQ(AECountItems(&selection.d, &n), noErr);
  EXPECT_EQ(n, 3);
}

TEST_F(SelectionResolutionTest, ItemThatNoLongerResolvesLeavesNoGap) {
  Desc selection;
  SelectAndGet({a_, b_, c_}, &selection);
  ASSERT_EQ(::unlink(b_.c_str()), 0);
  UInt32 count = 0;
  FSRef* refs = GetFSObjects(&selection.d, &count);
  ASSERT_NE(refs, nullptr);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(PathsOf(refs, count), (std::vector<std::string>{c_, a_}));
}

TEST_F(SelectionResolutionTest, EmptySelectionGivesNullAndZero) {
  Desc selection;
  SelectAndGet({}, &selection);
  UInt32 count = 99;
  EXPECT_EQ(GetFSObjects(&selection.d, &count), nullptr);
  EXPECT_EQ(count, 0u);
}

TEST_F(SelectionResolutionTest, NullSelectionGivesNullAndZero) {
  UInt32 count = 99;
  EXPECT_EQ(GetFSObjects(nullptr, &count), nullptr);
  EXPECT_EQ(count, 0u);
}

// An alias descriptor of `path`.
void AliasDesc(const std::string& path, AEDesc* desc) {
  FSRef ref;
  ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), &ref, nullptr), noErr);
  AliasHandle alias = nullptr;
  ASSERT_EQ(FSNewAlias(nullptr, &ref, &alias), noErr);
  ASSERT_EQ(AECreateDesc(typeAlias, *alias, GetHandleSize(reinterpret_cast<Handle>(alias)), desc), noErr);
  DisposeHandle(reinterpret_cast<Handle>(alias));
}

// The Finder gives aliases only for its own object specifiers.
TEST_F(SelectionResolutionTest, ListOfAliasDescriptorsResolvesNothing) {
  Desc list;
  ASSERT_EQ(AECreateList(nullptr, 0, false, &list.d), noErr);
  for (const std::string& path : {a_, b_}) {
    Desc alias;
    AliasDesc(path, &alias.d);
    ASSERT_EQ(AEPutDesc(&list.d, 0, &alias.d), noErr);
  }
  UInt32 count = 99;
  EXPECT_EQ(GetFSObjects(&list.d, &count), nullptr);
  EXPECT_EQ(count, 0u);
}

TEST_F(SelectionResolutionTest, SingleDescriptorIsConvertedDirectly) {
  FSRef ref;
  ASSERT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(a_.c_str()), &ref, nullptr), noErr);
  Desc fsref;
  ASSERT_EQ(AECreateDesc(typeFSRef, &ref, sizeof ref, &fsref.d), noErr);
  UInt32 count = 0;
  FSRef* refs = GetFSObjects(&fsref.d, &count);
  ASSERT_NE(refs, nullptr);
  EXPECT_EQ(PathsOf(refs, count), (std::vector<std::string>{a_}));

  // An alias converts to an FSRef too.
  Desc alias;
  AliasDesc(b_, &alias.d);
  refs = GetFSObjects(&alias.d, &count);
  ASSERT_NE(refs, nullptr);
  EXPECT_EQ(PathsOf(refs, count), (std::vector<std::string>{b_}));

  // Text does not.
  Desc text;
  ASSERT_EQ(AECreateDesc(typeChar, "hello", 5, &text.d), noErr);
  count = 99;
  EXPECT_EQ(GetFSObjects(&text.d, &count), nullptr);
  EXPECT_EQ(count, 0u);
}

// The allocator the tests put in place of realloc: records each size asked
// for and refuses the calls whose bit is set in `refuse` (bit 0: first call).
std::vector<size_t> gSizes;
unsigned gRefuse = 0;
void* CountingRealloc(void* block, size_t size) {
  const size_t call = gSizes.size();
  gSizes.push_back(size);
  if (call < 32 && (gRefuse & (1u << call)) != 0) return nullptr;
  return realloc(block, size);
}

TEST_F(SelectionResolutionTest, ArrayGrowsByOneElementPerItem) {
  Desc selection;
  SelectAndGet({a_, b_, c_}, &selection);
  gSizes.clear();
  gRefuse = 0;
  gGetFSObjectsRealloc = CountingRealloc;
  UInt32 count = 0;
  FSRef* refs = GetFSObjects(&selection.d, &count);
  EXPECT_EQ(gSizes, (std::vector<size_t>{80, 160, 240}));
  EXPECT_EQ(PathsOf(refs, count), (std::vector<std::string>{c_, b_, a_}));
}

// A failed growth drops that item; the array collected so far and its count
// are kept, and later items are still appended.
TEST_F(SelectionResolutionTest, FailedGrowthDropsTheItemAndKeepsTheArray) {
  Desc selection;
  SelectAndGet({a_, b_, c_}, &selection);
  gSizes.clear();
  gRefuse = 1u << 1;  // B's growth
  gGetFSObjectsRealloc = CountingRealloc;
  UInt32 count = 0;
  FSRef* refs = GetFSObjects(&selection.d, &count);
  ASSERT_NE(refs, nullptr);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(PathsOf(refs, count), (std::vector<std::string>{c_, a_}));

  // Every growth fails: nothing to hand out, nothing leaked.
  gSizes.clear();
  gRefuse = ~0u;
  count = 99;
  EXPECT_EQ(GetFSObjects(&selection.d, &count), nullptr);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(gSizes.size(), 3u);

  // The last growth fails: the first two stay.
  gSizes.clear();
  gRefuse = 1u << 2;
  refs = GetFSObjects(&selection.d, &count);
  EXPECT_EQ(PathsOf(refs, count), (std::vector<std::string>{c_, b_}));
}

}  // namespace
}  // namespace agent_test
