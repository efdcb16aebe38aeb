// Alias records: making, resolving, replaced items and malformed bytes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/files/FileRefs.h"
#include "platform/files/Files.h"
#include "platform/memory/MacMemory.h"
#include "testing/TestSupport.h"

using namespace macplatform;
using tw::test::ScratchDir;

namespace {

FSRef RefOf(const std::string& path) {
  FSRef ref;
  EXPECT_EQ(FSPathMakeRef(reinterpret_cast<const UInt8*>(path.c_str()), &ref, nullptr), noErr) << path;
  return ref;
}

bool SameRef(const FSRef& a, const FSRef& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::vector<UInt8> AliasBytes(const std::string& path) {
  std::vector<UInt8> bytes;
  EXPECT_EQ(files::MakeAliasBytes(RefOf(path), &bytes), noErr);
  return bytes;
}

AliasHandle HandleOf(const std::vector<UInt8>& bytes) {
  Handle h = nullptr;
  EXPECT_EQ(PtrToHand(bytes.data(), &h, static_cast<long>(bytes.size())), noErr);
  return reinterpret_cast<AliasHandle>(h);
}

}  // namespace

TEST(Alias, MakeAndResolveAFileAndAFolder) {
  ScratchDir dir;
  tw::test::WriteFile(dir / "f", "x");
  ASSERT_EQ(::mkdir((dir / "d:colon\nnewline").c_str(), 0755), 0);
  for (std::string path : {dir / "f", dir / "d:colon\nnewline"}) {
    SCOPED_TRACE(path);
    FSRef ref = RefOf(path);
    AliasHandle alias = nullptr;
    ASSERT_EQ(FSNewAlias(nullptr, &ref, &alias), noErr);
    ASSERT_NE(alias, nullptr);
    EXPECT_EQ(GetAliasSize(alias), GetHandleSize(reinterpret_cast<Handle>(alias)));
    EXPECT_EQ(GetAliasSize(alias), static_cast<Size>(40 + path.size()));
    // The size field is big-endian, bytes 4 and 5.
    const auto* bytes = reinterpret_cast<const UInt8*>(*alias);
    EXPECT_EQ((bytes[4] << 8) | bytes[5], 40 + static_cast<int>(path.size()));
    FSRef resolved;
    Boolean changed = true;
    ASSERT_EQ(FSResolveAlias(nullptr, alias, &resolved, &changed), noErr);
    EXPECT_FALSE(changed);
    EXPECT_TRUE(SameRef(resolved, ref));
    ASSERT_EQ(FSResolveAliasWithMountFlags(nullptr, alias, &resolved, nullptr, kResolveAliasFileNoUI), noErr);
    DisposeHandle(reinterpret_cast<Handle>(alias));
  }
}

TEST(Alias, NewAliasFromAnFSSpecAndUserType) {
  ScratchDir dir;
  tw::test::WriteFile(dir / "f", "x");
  FSRef ref = RefOf(dir / "f");
  FSSpec spec;
  ASSERT_EQ(FSGetCatalogInfo(&ref, kFSCatInfoNone, nullptr, nullptr, &spec, nullptr), noErr);
  AliasHandle alias = nullptr;
  ASSERT_EQ(NewAlias(nullptr, &spec, &alias), noErr);
  SetAliasUserType(alias, 'TWlb');
  EXPECT_EQ(GetAliasUserType(alias), static_cast<OSType>('TWlb'));
  EXPECT_EQ(reinterpret_cast<const UInt8*>(*alias)[0], 'T');
  FSRef resolved;
  ASSERT_EQ(FSResolveAlias(nullptr, alias, &resolved, nullptr), noErr);
  EXPECT_TRUE(SameRef(resolved, ref));
  DisposeHandle(reinterpret_cast<Handle>(alias));
  EXPECT_EQ(NewAlias(nullptr, nullptr, &alias), paramErr);
  EXPECT_EQ(FSNewAlias(nullptr, &ref, nullptr), paramErr);
}

TEST(Alias, ReplacedItemResolvesToTheNewItemAndTheRecordIsUpdated) {
  ScratchDir dir;
  tw::test::WriteFile(dir / "doc", "old");
  FSRef oldRef = RefOf(dir / "doc");
  AliasHandle alias = nullptr;
  ASSERT_EQ(FSNewAlias(nullptr, &oldRef, &alias), noErr);
  tw::test::WriteFile(dir / "doc.new", "new");
  ASSERT_EQ(::rename((dir / "doc.new").c_str(), (dir / "doc").c_str()), 0);

  FSRef resolved;
  Boolean changed = false;
  ASSERT_EQ(FSResolveAlias(nullptr, alias, &resolved, &changed), noErr);
  EXPECT_TRUE(changed);
  EXPECT_TRUE(SameRef(resolved, RefOf(dir / "doc")));
  EXPECT_FALSE(SameRef(resolved, oldRef));
  ASSERT_EQ(FSResolveAlias(nullptr, alias, &resolved, &changed), noErr);
  EXPECT_FALSE(changed);  // the record now names the new item
  DisposeHandle(reinterpret_cast<Handle>(alias));
}

TEST(Alias, VanishedItemIsFnfErr) {
  ScratchDir dir;
  tw::test::WriteFile(dir / "f", "x");
  FSRef ref = RefOf(dir / "f");
  AliasHandle alias = nullptr;
  ASSERT_EQ(FSNewAlias(nullptr, &ref, &alias), noErr);
  ASSERT_EQ(::unlink((dir / "f").c_str()), 0);
  FSRef resolved;
  EXPECT_EQ(FSResolveAlias(nullptr, alias, &resolved, nullptr), fnfErr);
  DisposeHandle(reinterpret_cast<Handle>(alias));
  // An alias cannot be made of an item that is gone.
  EXPECT_EQ(FSNewAlias(nullptr, &ref, &alias), fnfErr);
}

TEST(Alias, BytesTravelBetweenProcesses) {
  // A record is all bytes: one made here resolves from a copy anywhere.
  ScratchDir dir;
  tw::test::WriteFile(dir / "f", "x");
  std::vector<UInt8> bytes = AliasBytes(dir / "f");
  FSRef ref;
  bool changed = true;
  ASSERT_EQ(files::ResolveAliasBytes(bytes.data(), bytes.size(), &ref, &changed), noErr);
  EXPECT_FALSE(changed);
  EXPECT_TRUE(SameRef(ref, RefOf(dir / "f")));
}

TEST(Alias, MalformedRecordsAreRefusedWithoutReadingPastTheirSize) {
  ScratchDir dir;
  tw::test::WriteFile(dir / "f", "x");
  const std::vector<UInt8> good = AliasBytes(dir / "f");
  const size_t n = good.size();
  auto with = [&](size_t offset, std::vector<UInt8> patch) {
    std::vector<UInt8> b = good;
    std::copy(patch.begin(), patch.end(), b.begin() + offset);
    return b;
  };
  struct Row {
    const char* what;
    std::vector<UInt8> bytes;
  } rows[] = {
      {"empty", {}},
      {"zero bytes", std::vector<UInt8>(n, 0)},
      {"header only", std::vector<UInt8>(good.begin(), good.begin() + 40)},
      {"size field larger than the bytes", with(4, {UInt8((n + 1) >> 8), UInt8(n + 1)})},
      {"size field 0xFFFF", with(4, {0xFF, 0xFF})},
      {"size field below the header", with(4, {0, 39})},
      {"unknown version", with(6, {0, 2})},
      {"path length past the end", with(38, {UInt8((n - 39) >> 8), UInt8(n - 39)})},
      {"path length zero", with(38, {0, 0})},
      {"absurd path length", with(38, {0xFF, 0xFF})},
      {"relative path", with(40, {'x'})},
      {"NUL in the path", with(n - 1, {0})},
      {"unknown flags", with(36, {0x80, 0})},
      {"bad nanoseconds", with(32, {0xFF, 0xFF, 0xFF, 0xFF})},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    // Exactly sized copies, so that AddressSanitizer sees any overread.
    std::vector<UInt8> copy = row.bytes;
    const UInt8* data = copy.empty() ? nullptr : copy.data();
    FSRef ref;
    EXPECT_EQ(files::ParseAlias(data, copy.size(), nullptr), paramErr);
    EXPECT_EQ(files::ResolveAliasBytes(data, copy.size(), &ref, nullptr), paramErr);
    if (!copy.empty()) {
      AliasHandle alias = HandleOf(copy);
      EXPECT_EQ(FSResolveAlias(nullptr, alias, &ref, nullptr), paramErr);
      EXPECT_EQ(GetAliasSize(alias), 0);
      DisposeHandle(reinterpret_cast<Handle>(alias));
    }
  }
  // Every truncation of a good record is refused.
  for (size_t len = 0; len < n; ++len) {
    std::vector<UInt8> cut(good.begin(), good.begin() + len);
    EXPECT_EQ(files::ParseAlias(cut.empty() ? nullptr : cut.data(), cut.size(), nullptr), paramErr) << len;
  }
  // A handle larger than its record is fine: the record says its own size.
  std::vector<UInt8> padded = good;
  padded.resize(n + 10, 0xEE);
  FSRef ref;
  EXPECT_EQ(files::ResolveAliasBytes(padded.data(), padded.size(), &ref, nullptr), noErr);
  EXPECT_EQ(FSResolveAlias(nullptr, nullptr, &ref, nullptr), paramErr);
}
