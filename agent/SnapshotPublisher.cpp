// SnapshotPublisher.cpp — once a second, while the Finder is in front, which
// labels the selection holds and whether any selected item is writable, in
// the named scrap "com.tolvane.tintwell".
#include <cstdlib>
#include <cstring>

#include "agent/TWHelper.h"
#include "finderkit/MoreFinderEvents.h"
#include "labeldb/LabelDB.h"
#include "platform/scrap/Scrap.h"

namespace {

const ScrapFlavorType kSnapshotFlavor = 'xyu!';
const EventTimerInterval kTickInterval = 1.0;

CFStringRef SnapshotScrapName() { return CFSTR("com.tolvane.tintwell"); }

}  // namespace

void EventTimer(EventLoopTimerRef timer, void* userData) {
  (void)userData;
  ProcessSerialNumber front;
  if (GetFrontProcess(&front) == noErr) {
    Boolean same = false;
    if (SameProcess(&gFinderPSN, &front, &same) == noErr && same) (void)write_selection();
  }
  // The timer fires once; re-arming it here, after the tick's work, is what
  // keeps ticks from nesting while the Finder requests run the event loop.
  (void)SetEventLoopTimerNextFireTime(timer, kTickInterval);
}

OSStatus write_selection(void) {
  SelectionSnapshot record;
  memset(&record, 0, sizeof(record));
  TWdb_Initialize();

  AEDescList selection = {typeNull, NULL};
  if (MoreFEGetSelection(SelectionIdleProc, &selection) == noErr) {
    UInt32 count = 0;
    FSRef* refs = GetFSObjects(&selection, &count);
    if (refs != NULL) {
      for (UInt32 i = 0; i < count; ++i) {
        // A label outside 0 to 7 cannot come from three bits; were it to,
        // it counts as unreadable (0) rather than index past the record.
        SInt16 label = TWdb_GetLabel(&refs[i]);
        if (label < 0 || label > 7) label = 0;
        record.labelPresent[label] = 1;
        // Probed for every item, also once one was found writable.
        if (HavePermissionsForFSRef(&refs[i])) record.writable = 1;
      }
      free(refs);
    }
  }
  AEDisposeDesc(&selection);

  // Every resolved item sets one label flag, so all eight are zero exactly
  // when nothing resolved: then the scrap is only cleared.
  static const UInt32 kNoLabels[8] = {0};
  ScrapRef scrap = NULL;
  if (memcmp(record.labelPresent, kNoLabels, sizeof(kNoLabels)) == 0)
    return GetScrapByName(SnapshotScrapName(), kScrapClearNamedScrap, &scrap);

  OSStatus err = GetScrapByName(SnapshotScrapName(), kScrapClearNamedScrap, &scrap);
  if (err != noErr) return err;
  return PutScrapFlavor(scrap, kSnapshotFlavor, kScrapFlavorMaskNone, sizeof(record), &record);
}

Boolean HavePermissionsForFSRef(const FSRef* ref) {
  FSCatalogInfo info;
  if (FSGetCatalogInfo(ref, kFSCatInfoFinderInfo, &info, NULL, NULL, NULL) != noErr) return false;
  // Writing back what was just read changes nothing but proves the item
  // accepts a write of its Finder information.
  return FSSetCatalogInfo(ref, kFSCatInfoFinderInfo, &info) == noErr;
}
