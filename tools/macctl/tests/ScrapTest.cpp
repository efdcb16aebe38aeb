// macctl scrap: printing a named scrap's flavors.
#include <gtest/gtest.h>

#include <string>

#include "platform/scrap/Scrap.h"
#include "testing/TestSupport.h"


namespace {

std::string Macctl() { return tw::test::BinPath("macctl"); }

}  // namespace

TEST(MacctlScrap, PrintsOneLinePerFlavorWithTypeSizeAndHex) {
  tw::test::PrivateEnvironment env;
  ScrapRef scrap = nullptr;
  ASSERT_EQ(GetScrapByName(CFSTR("com.tolvane.tintwell"), kScrapClearNamedScrap, &scrap), noErr);
  UInt8 snapshot[36] = {};
  snapshot[11] = 1;
  snapshot[35] = 1;
  ASSERT_EQ(PutScrapFlavor(scrap, 'xyu!', kScrapFlavorMaskNone, 36, snapshot), noErr);
  ASSERT_EQ(PutScrapFlavor(scrap, 'zero', 0, 0, nullptr), noErr);
  ASSERT_EQ(PutScrapFlavor(scrap, 0x41000A27, 0, 2, "\xff\x01"), noErr);  // odd type bytes

  std::string out, err;
  ASSERT_EQ(tw::test::Run({Macctl(), "scrap", "com.tolvane.tintwell"}, &out, &err), 0) << err;
  EXPECT_EQ(out,
            "'xyu!' 36 " + std::string(22, '0') + "01" + std::string(46, '0') + "01\n"
            "'zero' 0\n"
            "'A\\x00\\x0a\\x27' 2 ff01\n");
}

TEST(MacctlScrap, MissingOrEmptyScrapPrintsNothing) {
  tw::test::PrivateEnvironment env;
  std::string out, err;
  ASSERT_EQ(tw::test::Run({Macctl(), "scrap", "never.written"}, &out, &err), 0) << err;
  EXPECT_EQ(out, "");
  ScrapRef scrap = nullptr;
  ASSERT_EQ(GetScrapByName(CFSTR("cleared"), kScrapClearNamedScrap, &scrap), noErr);
  ASSERT_EQ(tw::test::Run({Macctl(), "scrap", "cleared"}, &out, &err), 0) << err;
  EXPECT_EQ(out, "");
}

TEST(MacctlScrap, DamagedScrapAndBadUsageFail) {
  tw::test::PrivateEnvironment env;
  ScrapRef scrap = nullptr;
  ASSERT_EQ(GetScrapByName(CFSTR("damaged"), kScrapClearNamedScrap, &scrap), noErr);
  tw::test::WriteFile(env.runtime() + "/macplatform/scraps/damaged.scrap", "SCRP garbage");
  std::string out, err;
  EXPECT_EQ(tw::test::Run({Macctl(), "scrap", "damaged"}, &out, &err), 1);
  EXPECT_EQ(out, "");
  EXPECT_NE(err.find("-4988"), std::string::npos) << err;
  EXPECT_EQ(tw::test::Run({Macctl(), "scrap"}, &out, &err), 2);
  EXPECT_EQ(tw::test::Run({Macctl(), "scrap", "a", "b"}, &out, &err), 2);
}
