// labeltable_test_peer NAME — a second process with the label table loaded.
// Loads the table and prints "loaded <name of label 3>", then runs its event
// loop until a reload has made label 3 NAME, prints
// "reloaded <name> <red> <green> <blue>" (label 3's colour, decimal) and
// exits 0. The test that started it kills it if that never happens.
#include <cstdio>
#include <string>

#include "labeldb/LabelDB.h"
#include "platform/eventloop/CarbonEvents.h"

namespace {

std::string Text(CFStringRef s) {
  if (s == nullptr) return "(null)";
  char buf[512];
  return CFStringGetCString(s, buf, sizeof buf, kCFStringEncodingUTF8) ? buf : "(unconvertible)";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: labeltable_test_peer NAME\n");
    return 2;
  }
  std::printf("loaded %s\n", Text(TWdb_GetLabelName(3)).c_str());
  std::fflush(stdout);
  // The name is read again after every turn of the loop: only the reload
  // observer, run by the loop, can change it.
  while (Text(TWdb_GetLabelName(3)) != argv[1]) RunCurrentEventLoop(0.05);
  const LabelColor* color = TWdb_GetLabelColor(3);
  std::printf("reloaded %s %u %u %u\n", Text(TWdb_GetLabelName(3)).c_str(), color ? color->red : 0u,
              color ? color->green : 0u, color ? color->blue : 0u);
  return 0;
}
