// The scrap file's bytes and the scrap's file name, without the file system.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/scrap/ScrapFile.h"

using namespace macplatform::scrap;

namespace {

std::vector<UInt8> Bytes(std::initializer_list<int> list) {
  std::vector<UInt8> out;
  for (int b : list) out.push_back(static_cast<UInt8>(b));
  return out;
}

Contents Sample() {
  Contents c(3);
  c[0].type = 'xyu!';
  c[0].data.assign(36, 0);
  c[0].data[8] = 1;
  c[1].type = 'TEXT';
  c[1].flags = kScrapFlavorMaskTranslated;
  c[1].data = {'h', 'i'};
  c[2].type = 'none';  // zero bytes
  return c;
}

}  // namespace

TEST(ScrapFormat, EncodesBigEndianAndDecodesBack) {
  Contents one(1);
  one[0].type = 'xyu!';
  one[0].flags = 2;
  one[0].data = {0xAB};
  EXPECT_EQ(Encode(one), Bytes({'S', 'C', 'R', 'P', 0, 0, 0, 1, 0, 0, 0, 1,  //
                                'x', 'y', 'u', '!', 0, 0, 0, 2, 0, 0, 0, 1, 0xAB}));

  std::vector<UInt8> bytes = Encode(Sample());
  Contents back;
  ASSERT_EQ(Decode(bytes.data(), bytes.size(), &back), noErr);
  ASSERT_EQ(back.size(), 3u);
  for (size_t i = 0; i < back.size(); ++i) {
    EXPECT_EQ(back[i].type, Sample()[i].type);
    EXPECT_EQ(back[i].flags, Sample()[i].flags);
    EXPECT_EQ(back[i].data, Sample()[i].data);
  }

  std::vector<UInt8> empty = Encode({});
  back = Sample();
  ASSERT_EQ(Decode(empty.data(), empty.size(), &back), noErr);
  EXPECT_TRUE(back.empty());
}

TEST(ScrapFormat, EveryTruncationOfAValidFileIsRefused) {
  std::vector<UInt8> bytes = Encode(Sample());
  for (size_t n = 0; n < bytes.size(); ++n) {
    SCOPED_TRACE(n);
    Contents out = Sample();
    EXPECT_EQ(Decode(bytes.data(), n, &out), internalScrapErr);
    EXPECT_EQ(out.size(), 3u);  // untouched
  }
}

TEST(ScrapFormat, GarbageIsRefusedWithoutOverreadOrHugeAllocation) {
  struct Case {
    const char* what;
    std::vector<UInt8> bytes;
  } cases[] = {
      {"wrong magic", Bytes({'S', 'C', 'R', 'Q', 0, 0, 0, 1, 0, 0, 0, 0})},
      {"newer version", Bytes({'S', 'C', 'R', 'P', 0, 0, 0, 2, 0, 0, 0, 0})},
      {"count far past the end", Bytes({'S', 'C', 'R', 'P', 0, 0, 0, 1, 0xFF, 0xFF, 0xFF, 0xFF})},
      {"count one past the end",
       Bytes({'S', 'C', 'R', 'P', 0, 0, 0, 1, 0, 0, 0, 2, 'a', 'b', 'c', 'd', 0, 0, 0, 0, 0, 0, 0, 0})},
      {"size past the end",
       Bytes({'S', 'C', 'R', 'P', 0, 0, 0, 1, 0, 0, 0, 1, 'a', 'b', 'c', 'd', 0, 0, 0, 0, 0xFF, 0xFF,
              0xFF, 0xF0, 1, 2})},
      {"trailing byte",
       Bytes({'S', 'C', 'R', 'P', 0, 0, 0, 1, 0, 0, 0, 1, 'a', 'b', 'c', 'd', 0, 0, 0, 0, 0, 0, 0, 0, 9})},
      {"same type twice", Bytes({'S', 'C', 'R', 'P', 0, 0, 0, 1, 0, 0, 0, 2, 'a', 'b', 'c', 'd', 0, 0,
                                 0, 0, 0, 0, 0, 0, 'a', 'b', 'c', 'd', 0, 0, 0, 0, 0, 0, 0, 0})},
      {"text", std::vector<UInt8>(200, 'z')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Contents out;
    EXPECT_EQ(Decode(c.bytes.data(), c.bytes.size(), &out), internalScrapErr);
  }
  Contents out;
  EXPECT_EQ(Decode(nullptr, 0, &out), internalScrapErr);
  EXPECT_EQ(Decode(nullptr, 12, &out), paramErr);
}

TEST(ScrapFormat, FileNamesStayInsideTheFolderAndNeverCollide) {
  const std::string names[] = {
      "com.tolvane.tintwell", "a/b", "/etc/passwd", "..", ".", "../..", "a%2Fb",
      std::string("nul\0byte", 8), "\x01\x7f\xff", "space name", "%", "x.corrupt", "x.scrap",
  };
  std::set<std::string> seen;
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    std::string file;
    ASSERT_EQ(FileNameFor(name, &file), noErr);
    EXPECT_EQ(file.find('/'), std::string::npos);
    EXPECT_EQ(file.find('\0'), std::string::npos);
    EXPECT_NE(file, ".");
    EXPECT_NE(file, "..");
    EXPECT_EQ(file.substr(file.size() - 6), ".scrap");
    for (unsigned char c : file) EXPECT_TRUE(c > 0x20 && c < 0x7F);
    EXPECT_TRUE(seen.insert(file).second) << "two names share " << file;
  }
  std::string file;
  EXPECT_EQ(FileNameFor("com.tolvane.tintwell", &file), noErr);
  EXPECT_EQ(file, "com.tolvane.tintwell.scrap");
  EXPECT_EQ(FileNameFor("a/b", &file), noErr);
  EXPECT_EQ(file, "a%2Fb.scrap");
  EXPECT_EQ(FileNameFor("", &file), paramErr);
  EXPECT_EQ(FileNameFor(std::string(kMaxEncodedName, 'a'), &file), noErr);
  EXPECT_EQ(FileNameFor(std::string(kMaxEncodedName + 1, 'a'), &file), bdNamErr);
  EXPECT_EQ(FileNameFor(std::string(100, '/'), &file), bdNamErr);
}
