// Update.cpp — 'fndr'/'fupd', the request to redraw an item, and the log
// that records it for anyone who wants to check (there is nothing to redraw
// here), read and emptied with finderd's private requests.
//
//   'fndr'/'fupd'  '----': the item (an alias, as a rule; any descriptor
//                  AppendItemsOfDesc takes). An item that cannot be found is
//                  an error and is not recorded.
//   'MPfd'/'updt'  reply '----': the recorded items' paths ('utf8'), oldest
//                  first
//   'MPfd'/'clru'  empties the log
#include <deque>
#include <string>
#include <vector>

#include "tools/finderd/Finder.h"
#include "tools/finderd/FinderdProtocol.h"

namespace finderd {

namespace {

// The newest kUpdateLogLimit requests, newest last.
std::deque<std::string> gUpdateLog;

}  // namespace

OSErr HandleUpdateItem(const AppleEvent* event, AppleEvent*, SInt32) {
  ScopedDesc object;
  OSErr err = AEGetParamDesc(event, keyDirectObject, typeWildCard, &object);
  std::vector<FinderItem> items;
  if (err == noErr) err = AppendItemsOfDesc(object.get(), &items);
  if (err != noErr) return err;
  for (const FinderItem& item : items) {
    gUpdateLog.push_back(item.path);
    while (gUpdateLog.size() > kUpdateLogLimit) gUpdateLog.pop_front();
  }
  return noErr;
}

OSErr HandleListUpdates(const AppleEvent*, AppleEvent* reply, SInt32) {
  if (!WantsReply(reply)) return noErr;
  ScopedDesc list;
  OSErr err = AECreateList(nullptr, 0, false, &list);
  for (size_t i = 0; err == noErr && i < gUpdateLog.size(); ++i)
    err = AEPutPtr(&list, 0, typeUTF8Text, gUpdateLog[i].data(), Size(gUpdateLog[i].size()));
  if (err == noErr) err = AEPutParamDesc(reply, keyDirectObject, list.get());
  return err;
}

OSErr HandleClearUpdates(const AppleEvent*, AppleEvent*, SInt32) {
  gUpdateLog.clear();
  return noErr;
}

}  // namespace finderd
