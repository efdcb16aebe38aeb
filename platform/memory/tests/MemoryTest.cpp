// Handles, pointers and MemError.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/memory/MacMemory.h"

TEST(Handles, GrowKeepingContentsAndReportSize) {
  Handle h = NewHandle(4);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(MemError(), noErr);
  std::memcpy(*h, "abcd", 4);
  SetHandleSize(h, 1000);
  EXPECT_EQ(MemError(), noErr);
  EXPECT_EQ(GetHandleSize(h), 1000);
  EXPECT_EQ(std::memcmp(*h, "abcd", 4), 0);
  SetHandleSize(h, 2);
  EXPECT_EQ(GetHandleSize(h), 2);
  DisposeHandle(h);
}

TEST(Handles, ClearAndZeroSize) {
  Handle h = NewHandleClear(16);
  ASSERT_NE(h, nullptr);
  for (int i = 0; i < 16; ++i) EXPECT_EQ((*h)[i], 0);
  DisposeHandle(h);
  Handle empty = NewHandle(0);
  ASSERT_NE(empty, nullptr);
  EXPECT_NE(*empty, nullptr);
  EXPECT_EQ(GetHandleSize(empty), 0);
  DisposeHandle(empty);
}

TEST(Handles, StateByteKeepsTheLockBit) {
  Handle h = NewHandle(8);
  EXPECT_EQ(HGetState(h) & kHandleLockedMask, 0);
  HLock(h);
  SInt8 locked = HGetState(h);
  EXPECT_NE(locked & kHandleLockedMask, 0);
  HUnlock(h);
  EXPECT_EQ(HGetState(h) & kHandleLockedMask, 0);
  HSetState(h, locked);
  EXPECT_NE(HGetState(h) & kHandleLockedMask, 0);
  // A locked block cannot move, so it cannot grow.
  SetHandleSize(h, 4096);
  EXPECT_EQ(MemError(), memLockedErr);
  EXPECT_EQ(GetHandleSize(h), 8);
  DisposeHandle(h);
}

TEST(Pointers, ZeroByteRequestStillGivesABlock) {
  Ptr p = NewPtr(0);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(MemError(), noErr);
  EXPECT_EQ(GetPtrSize(p), 0);
  DisposePtr(p);
  Ptr q = NewPtrClear(33);
  EXPECT_EQ(GetPtrSize(q), 33);
  DisposePtr(q);
}

TEST(MemErrorReporting, FailedAllocationsAreReported) {
  MacMemoryFailAllocations(1, 1);
  Ptr ok = NewPtr(10);
  EXPECT_NE(ok, nullptr);
  EXPECT_EQ(NewHandle(10), nullptr);
  EXPECT_EQ(MemError(), memFullErr);
  Handle h = NewHandle(10);
  EXPECT_NE(h, nullptr);
  EXPECT_EQ(MemError(), noErr);
  MacMemoryFailAllocations(0, 1);
  SetHandleSize(h, 100);
  EXPECT_EQ(MemError(), memFullErr);
  EXPECT_EQ(GetHandleSize(h), 10);
  DisposeHandle(h);
  DisposePtr(ok);
  EXPECT_EQ(NewPtr(-1), nullptr);
  EXPECT_EQ(MemError(), paramErr);
  GetHandleSize(nullptr);
  EXPECT_EQ(MemError(), nilHandleErr);
}

TEST(PtrToHandCopies, Bytes) {
  Handle h = nullptr;
  ASSERT_EQ(PtrToHand("xyz", &h, 3), noErr);
  EXPECT_EQ(GetHandleSize(h), 3);
  EXPECT_EQ(std::memcmp(*h, "xyz", 3), 0);
  DisposeHandle(h);
}
