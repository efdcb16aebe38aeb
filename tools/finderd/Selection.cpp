// Selection.cpp — the Finder selection: an ordered list of items, and the
// property 'sele' that reads and replaces it.
//
// The selection is kept as it was set. An item deleted since still appears
// in it (its specifier is made from the stored path); asking for its alias
// then gives fnfErr, as for any item that has gone.
#include <algorithm>
#include <vector>

#include "tools/finderd/Finder.h"

namespace finderd {

namespace {

std::vector<FinderItem> gSelection;

}  // namespace

// A list of the selected items' specifiers, in selection order. A list is
// the value whatever the requested type: a client asks for each item's alias
// in a request of its own.
OSErr GetSelectionProperty(const PropertyRef&, DescType, AEDesc* value) {
  return MakeSpecifierList(gSelection, value);
}

// The selection becomes the items of `data`: one item, or a list of them (an
// empty list clears it). An item that cannot be found refuses the whole
// request and leaves the selection as it was. An item named twice is kept
// once, at its first place.
OSErr SetSelectionProperty(const PropertyRef&, const AEDesc* data) {
  std::vector<FinderItem> items;
  OSErr err = AppendItemsOfDesc(data, &items);
  if (err != noErr) return err;
  std::vector<FinderItem> unique;
  for (const FinderItem& item : items) {
    auto same = [&](const FinderItem& other) { return other.path == item.path; };
    if (std::none_of(unique.begin(), unique.end(), same)) unique.push_back(item);
  }
  gSelection = std::move(unique);
  return noErr;
}

OSErr SelectionItems(const PropertyRef&, std::vector<FinderItem>* items) {
  items->insert(items->end(), gSelection.begin(), gSelection.end());
  return noErr;
}

}  // namespace finderd
