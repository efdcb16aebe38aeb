// `macctl ps` and `macctl front` against process doubles forked from the test.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "platform/processes/Processes.h"
#include "platform/processes/tests/ProcessDouble.h"
#include "testing/TestSupport.h"

namespace {

using tw::test::ProcessDouble;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

UInt32 Front() {
  ProcessSerialNumber psn = {0, 0};
  return GetFrontProcess(&psn) == noErr ? psn.lowLongOfPSN : 0;
}

class MacctlPs : public ::testing::Test {
 protected:
  tw::test::PrivateEnvironment env_;
};

TEST_F(MacctlPs, ListsEveryProcessWithItsMarksInColumns) {
  ProcessDouble finder("Finder", 'FNDR', 'MACS', 0, /*front=*/true);
  ProcessDouble agent("Tint Helper", 'APPL', 'TWhp', modeOnlyBackground);
  ProcessDouble odd("Odd", 0x01020304, 'odd ');
  ASSERT_TRUE(finder.ok());
  ASSERT_TRUE(agent.ok());
  ASSERT_TRUE(odd.ok());

  std::string out, err;
  ASSERT_EQ(tw::test::Run({"macctl", "ps"}, &out, &err), 0) << err;
  std::vector<std::string> lines = Lines(out);
  ASSERT_EQ(lines.size(), 4u) << out;
  EXPECT_EQ(Words(lines[0]), (std::vector<std::string>{"PSN", "PID", "TYPE", "CRTR", "F", "B", "NAME"}));
  EXPECT_EQ(Words(lines[1]), (std::vector<std::string>{std::to_string(finder.psn().lowLongOfPSN),
                                                       std::to_string(finder.pid()), "FNDR", "MACS", "*", "-",
                                                       "Finder"}));
  EXPECT_EQ(Words(lines[2]), (std::vector<std::string>{std::to_string(agent.psn().lowLongOfPSN),
                                                       std::to_string(agent.pid()), "APPL", "TWhp", "-", "B", "Tint",
                                                       "Helper"}));
  EXPECT_EQ(Words(lines[3])[2], "0x01020304");
  // Every line starts its name column at the same place.
  size_t name = lines[0].find("NAME");
  EXPECT_EQ(lines[1].substr(name), "Finder");
  EXPECT_EQ(lines[2].substr(name), "Tint Helper");
  EXPECT_EQ(lines[3].substr(name), "Odd");
  // Looking does not register macctl, nor does it register the test.
  EXPECT_EQ(out.find("macctl"), std::string::npos);
}

TEST_F(MacctlPs, EmptyListIsTheHeaderAlone) {
  std::string out, err;
  ASSERT_EQ(tw::test::Run({"macctl", "ps"}, &out, &err), 0) << err;
  EXPECT_EQ(Lines(out).size(), 1u) << out;
  EXPECT_EQ(tw::test::Run({"macctl", "ps", "extra"}, &out, &err), 1);
}

TEST_F(MacctlPs, FrontByNameOrSerialNumber) {
  ProcessDouble finder("Finder", 'FNDR', 'MACS', 0, /*front=*/true);
  ProcessDouble editor("Text Editor", 'APPL', 'ttxt');
  ASSERT_TRUE(finder.ok());
  ASSERT_TRUE(editor.ok());
  std::string out, err;
  ASSERT_EQ(tw::test::Run({"macctl", "front", "Text Editor"}, &out, &err), 0) << err;
  EXPECT_EQ(Front(), editor.psn().lowLongOfPSN);
  ASSERT_EQ(tw::test::Run({"macctl", "front", std::to_string(finder.psn().lowLongOfPSN)}, &out, &err), 0) << err;
  EXPECT_EQ(Front(), finder.psn().lowLongOfPSN);
}

TEST_F(MacctlPs, FrontOfAnUnknownOrQuitProcessFails) {
  ProcessDouble finder("Finder", 'FNDR', 'MACS', 0, /*front=*/true);
  ASSERT_TRUE(finder.ok());
  std::string out, err;
  EXPECT_EQ(tw::test::Run({"macctl", "front", "Nobody"}, &out, &err), 1);
  EXPECT_NE(err.find("Nobody"), std::string::npos) << err;
  EXPECT_EQ(tw::test::Run({"macctl", "front", "99999999"}, &out, &err), 1);
  EXPECT_EQ(tw::test::Run({"macctl", "front"}, &out, &err), 1);
  EXPECT_NE(err.find("usage"), std::string::npos) << err;

  std::string serial = std::to_string(finder.psn().lowLongOfPSN);
  finder.Quit();
  EXPECT_EQ(tw::test::Run({"macctl", "front", serial}, &out, &err), 1);
  EXPECT_EQ(tw::test::Run({"macctl", "front", "Finder"}, &out, &err), 1);
  EXPECT_EQ(Front(), 0u);
}

}  // namespace
