// finderkit_finder_double — a child program that plays the Finder for the
// cross-process tests.
//
//   finderkit_finder_double LOG ITEM...
//
// Answers 'core'/'getd' of the selection with a list of 'file' specifiers
// named by the ITEM paths, 'core'/'getd' of such a specifier with an alias
// of the path, and 'core'/'getd' of anything else with errAENoSuchObject.
// Appends one line per event to LOG: "class/id" and, for 'fndr'/'fupd', the
// path the alias resolves to. Ends on 'aevt'/'quit'.
#include <cstdio>
#include <string>
#include <vector>

#include "aekit/MoreAppleEvents.h"
#include "finderkit/tests/FinderDouble.h"
#include "platform/eventloop/CarbonEvents.h"
#include "platform/processes/Processes.h"

MAC_PROCESS_IDENTITY("Finder", 'FNDR', 'MACS', 0);

namespace fd = tw::finderdouble;

namespace {

std::string gLog;
std::vector<std::string> gItems;

void Log(const std::string& line) {
  if (FILE* f = std::fopen(gLog.c_str(), "a")) {
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
  }
}

std::string Code(FourCharCode c) {
  std::string s(4, ' ');
  for (int i = 0; i < 4; ++i) s[i] = char((c >> (24 - 8 * i)) & 0xFF);
  return s;
}

std::string ResolvedPath(const AEDesc* aliasDesc) {
  Handle h = NewHandle(AEGetDescDataSize(aliasDesc));
  if (h == nullptr) return "?";
  AEGetDescData(aliasDesc, *h, GetHandleSize(h));
  FSRef ref;
  Boolean changed = false;
  std::string path = "?";
  if (FSResolveAlias(nullptr, reinterpret_cast<AliasHandle>(h), &ref, &changed) == noErr) {
    char buffer[4096];
    if (FSRefMakePath(&ref, reinterpret_cast<UInt8*>(buffer), sizeof(buffer)) == noErr) path = buffer;
  }
  DisposeHandle(h);
  return path;
}

OSErr Respond(const AppleEvent* event, AppleEvent* reply) {
  AEEventClass eventClass = 0;
  AEEventID eventID = 0;
  DescType type;
  Size size;
  AEGetAttributePtr(event, keyEventClassAttr, typeType, &type, &eventClass, 4, &size);
  AEGetAttributePtr(event, keyEventIDAttr, typeType, &type, &eventID, 4, &size);
  std::string line = Code(eventClass) + "/" + Code(eventID);

  AEDesc direct;
  MoreAENullDesc(&direct);
  AEGetParamDesc(event, keyDirectObject, typeWildCard, &direct);
  OSErr result = noErr;
  if (eventClass == kCoreEventClass && eventID == kAEQuitApplication) {
    QuitApplicationEventLoop();
  } else if (eventClass == 'fndr' && eventID == 'fupd') {
    line += " " + ResolvedPath(&direct);
  } else if (eventClass == kAECoreSuite && eventID == kAEGetData) {
    fd::Specifier spec;
    if (fd::ReadSpecifier(&direct, &spec) && spec.keyForm == formPropertyID) {
      AEDescList list;
      MoreAENullDesc(&list);
      result = fd::MakeItemList(gItems, &list);
      if (result == noErr) result = fd::PutDirectObject(reply, &list);
      MoreAEDisposeDesc(&list);
    } else if (fd::ReadSpecifier(&direct, &spec) && spec.keyForm == formName) {
      AEDesc alias;
      MoreAENullDesc(&alias);
      result = fd::MakeAliasDesc(spec.keyBytes, &alias);
      if (result == noErr) result = fd::PutDirectObject(reply, &alias);
      MoreAEDisposeDesc(&alias);
    } else {
      result = errAENoSuchObject;
    }
  }
  MoreAEDisposeDesc(&direct);
  Log(line);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  gLog = argv[1];
  for (int i = 2; i < argc; ++i) gItems.push_back(argv[i]);
  fd::Install(false);  // the identity is declared above
  fd::SetResponder(Respond);
  ProcessSerialNumber self;
  GetCurrentProcess(&self);  // registers: from here on requests can find us
  Log("ready");
  RunApplicationEventLoop();
  fd::Reset();  // frees the copies of the events received
  return 0;
}
