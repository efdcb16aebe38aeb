// Finder.h — the parts of finderd, the stand-in Finder, as its files see each
// other.
//
// finderd is an application that owns a selection and answers Apple events
// the way the system relies on the Finder to. Its files:
//   Main.cpp        the program: one instance per session, identity, front
//   Handlers.cpp    the table of event handlers, one row per request kind
//   Items.cpp       items of the file system and the Finder's names for them
//   Accessors.cpp   object accessors: object specifiers to tokens
//   Properties.cpp  the table of properties, with their getters and setters
//   Selection.cpp   the selection and the property 'sele'
//   Desktop.cpp     the desktop folder, the property 'desk', folder contents
//   GetData.cpp     'core'/'getd'
//   SetData.cpp     'core'/'setd'
//   Update.cpp      'fndr'/'fupd' and its log, the private 'MPfd' requests
//   Quit.cpp        'aevt'/'quit'
//
// Every function returns a result code; nothing here throws across a
// handler. Descriptors a function fills belong to its caller.
#pragma once

#include <string>
#include <vector>

#include "platform/appleevents/AppleEvents.h"
#include "platform/appleevents/ScopedDesc.h"
#include "platform/files/Files.h"

namespace finderd {

// ---------------------------------------------------------------------------
// Items (Items.cpp).

// A file or folder, named by its absolute POSIX path.
struct FinderItem {
  std::string path;
  bool isFolder = false;
};

// The item at `path`, which must exist (a final symbolic link is followed);
// the path is made absolute and canonical. fnfErr when there is none.
OSErr ItemAtPath(const std::string& path, FinderItem* item);
OSErr ItemFromFSRef(const FSRef& ref, FinderItem* item);

// The Finder's object specifier of an item:
//   obj {want: type(file) or type(cfol), from: null(), form: name,
//        seld: the item's HFS path as 'utxt', a folder's ending in a colon}
// Made from the stored path alone, so it works for an item that is gone.
OSErr MakeItemSpecifier(const FinderItem& item, AEDesc* specifier);
// A list of the specifiers of `items`, in order.
OSErr MakeSpecifierList(const std::vector<FinderItem>& items, AEDesc* list);
// The item as a reply value: its specifier when `requestedType` is
// typeWildCard or 'obj ', its alias record for 'alis', else the alias coerced
// to that type. fnfErr when the item no longer exists.
OSErr ItemValue(const FinderItem& item, DescType requestedType, AEDesc* value);

// Appends the items a descriptor names: an alias, 'fsrf', 'furl', 'fss ',
// an object specifier this Finder resolves, or a list of those (one level).
// errAEWrongDataType for anything else; the first failure stops.
OSErr AppendItemsOfDesc(const AEDesc* desc, std::vector<FinderItem>* items);

// Whether an item found for class `wantClass` is of that class: 'file' is a
// file, 'cfol' a folder, 'cobj' (item) either.
bool ItemIsOfClass(const FinderItem& item, DescType wantClass);

// ---------------------------------------------------------------------------
// Tokens and object accessors (Accessors.cpp).

enum : DescType {
  kItemToken = 'FTit',      // one item: a flag byte (1: folder) + its path
  kPropertyToken = 'FTpr',  // a property: its code + the owner item, if any
};

OSErr InstallObjectAccessors();

OSErr MakeItemToken(const FinderItem& item, AEDesc* token);
OSErr ItemFromToken(const AEDesc* token, FinderItem* item);

// A property of the application (no owner) or of an item.
struct PropertyRef {
  DescType code = 0;
  bool hasOwner = false;
  FinderItem owner;
};
OSErr MakePropertyToken(DescType code, const FinderItem* owner, AEDesc* token);
OSErr PropertyFromToken(const AEDesc* token, PropertyRef* property);

// The items a token stands for: an item token, a list of them, or a
// property whose value is items (the selection, the desktop folder).
OSErr AppendItemsOfToken(const AEDesc* token, std::vector<FinderItem>* items);

// ---------------------------------------------------------------------------
// Properties (Properties.cpp). One row per property; a later property is one
// more row and its functions in their own file.

struct Property {
  DescType code;
  bool ofItem;  // a property of an item, else of the application
  // The reply value for 'getd' with the requested type (typeWildCard when
  // none was asked for).
  OSErr (*get)(const PropertyRef& property, DescType requestedType, AEDesc* value);
  // 'setd' with the event's 'data'; NULL for a read-only property.
  OSErr (*set)(const PropertyRef& property, const AEDesc* data);
  // The items that the property's value is, when it is items; may be NULL.
  OSErr (*items)(const PropertyRef& property, std::vector<FinderItem>* items);
};

const Property* FindProperty(DescType code, bool ofItem);

// ---------------------------------------------------------------------------
// The selection (Selection.cpp).

OSErr GetSelectionProperty(const PropertyRef& property, DescType requestedType, AEDesc* value);
OSErr SetSelectionProperty(const PropertyRef& property, const AEDesc* data);
OSErr SelectionItems(const PropertyRef& property, std::vector<FinderItem>* items);

// ---------------------------------------------------------------------------
// The desktop and folder contents (Desktop.cpp).

// $XDG_DESKTOP_DIR when it is an absolute path, else $HOME/Desktop (the
// password database's home when HOME is unset). fnfErr when it is missing.
OSErr DesktopFolder(FinderItem* folder);
OSErr GetDesktopProperty(const PropertyRef& property, DescType requestedType, AEDesc* value);
OSErr DesktopItems(const PropertyRef& property, std::vector<FinderItem>* items);

// The visible items of a folder (names not starting with '.'), of class
// `wantClass` ('cobj', 'file' or 'cfol'), sorted by name byte by byte.
// Dangling symbolic links are left out.
OSErr FolderContents(const FinderItem& folder, DescType wantClass, std::vector<FinderItem>* items);

// ---------------------------------------------------------------------------
// Event handlers (Handlers.cpp and one file each).

OSErr InstallFinderHandlers();

OSErr HandleGetData(const AppleEvent* event, AppleEvent* reply, SInt32 refcon);
OSErr HandleSetData(const AppleEvent* event, AppleEvent* reply, SInt32 refcon);
OSErr HandleUpdateItem(const AppleEvent* event, AppleEvent* reply, SInt32 refcon);
OSErr HandleListUpdates(const AppleEvent* event, AppleEvent* reply, SInt32 refcon);
OSErr HandleClearUpdates(const AppleEvent* event, AppleEvent* reply, SInt32 refcon);
OSErr HandleQuit(const AppleEvent* event, AppleEvent* reply, SInt32 refcon);

// Whether the sender waits for a reply (the reply record is not null).
inline bool WantsReply(const AppleEvent* reply) {
  return reply != nullptr && reply->descriptorType != typeNull;
}

using macplatform::ae::ScopedDesc;

}  // namespace finderd
