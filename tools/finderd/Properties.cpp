// Properties.cpp — the table of the properties finderd knows: what 'getd'
// answers and what 'setd' changes. A new property is one more row, with its
// functions in a file of their own.
#include "tools/finderd/Finder.h"
#include "tools/finderd/FinderdProtocol.h"

namespace finderd {

namespace {

const Property kProperties[] = {
    // The application's properties.
    {pSelection, false, GetSelectionProperty, SetSelectionProperty, SelectionItems},
    {kDesktopProperty, false, GetDesktopProperty, nullptr, DesktopItems},
};

}  // namespace

const Property* FindProperty(DescType code, bool ofItem) {
  for (const Property& p : kProperties)
    if (p.code == code && p.ofItem == ofItem) return &p;
  return nullptr;
}

}  // namespace finderd
