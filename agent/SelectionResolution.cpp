// SelectionResolution.cpp — the Finder selection as an array of FSRefs.
//
// Each list item is an object specifier; the Finder turns it into an alias
// record, which is resolved here. A descriptor that is not a list is taken
// as one item and converted directly.
#include <cstdlib>
#include <cstring>

#include "agent/SelectionResolutionInternal.h"
#include "agent/TWHelper.h"
#include "finderkit/MoreFinderEvents.h"

void* (*gGetFSObjectsRealloc)(void* block, size_t size) = realloc;

namespace {

// Appends one FSRef, growing the block by exactly one element. When the block
// cannot grow, the item is dropped and the array and count stay as they were.
void AppendFSRef(FSRef** refs, UInt32* count, const FSRef* ref) {
  FSRef* grown = static_cast<FSRef*>(gGetFSObjectsRealloc(*refs, (*count + 1) * sizeof(FSRef)));
  if (grown == NULL) return;
  *refs = grown;
  memcpy(&grown[*count], ref, sizeof(FSRef));
  *count += 1;
}

}  // namespace

FSRef* GetFSObjects(const AEDesc* selection, UInt32* count) {
  FSRef* refs = NULL;
  *count = 0;
  if (selection == NULL) return NULL;

  if (selection->descriptorType == typeAEList) {
    long n = 0;
    if (AECountItems(selection, &n) == noErr) {
      for (long k = n; k >= 1; --k) {
        AEKeyword keyword = 0;
        AEDesc item = {typeNull, NULL};
        if (AEGetNthDesc(selection, k, typeWildCard, &keyword, &item) != noErr) break;

        AliasHandle alias = NULL;
        if (MoreFEGetObjectAsAlias(&item, &alias, SelectionIdleProc) == noErr && alias != NULL) {
          FSRef ref;
          Boolean changed = false;
          if (FSResolveAlias(NULL, alias, &ref, &changed) == noErr) AppendFSRef(&refs, count, &ref);
          DisposeHandle(reinterpret_cast<Handle>(alias));
        }
        AEDisposeDesc(&item);
      }
    }
  } else {
    AEDesc converted = {typeNull, NULL};
    if (AECoerceDesc(selection, typeFSRef, &converted) == noErr) {
      FSRef ref;
      if (AEGetDescData(&converted, &ref, sizeof(FSRef)) == noErr) AppendFSRef(&refs, count, &ref);
    }
    AEDisposeDesc(&converted);
  }

  if (*count == 0) {
    free(refs);
    return NULL;
  }
  return refs;
}
