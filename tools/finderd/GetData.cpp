// GetData.cpp — 'core'/'getd': the value of what the direct object names.
//
//   '----'  an object specifier (required)
//   'rtyp'  the type wanted for an item (optional): 'alis' gives its alias
//           record, 'obj ' or none its specifier, another type the alias
//           coerced to it
//
// A property answers through its row of the property table; one item
// answers as ItemValue; several items (every item of a folder) answer as a
// list of their specifiers, whatever 'rtyp' asks, as the selection does.
#include "tools/finderd/Finder.h"

namespace finderd {

namespace {

OSErr RequestedType(const AppleEvent* event, DescType* requestedType) {
  DescType actual = typeNull;
  DescType code = 0;
  Size size = 0;
  OSErr err = AEGetParamPtr(event, keyAERequestedType, typeType, &actual, &code, sizeof code, &size);
  if (err == errAEDescNotFound) {
    *requestedType = typeWildCard;
    return noErr;
  }
  if (err != noErr) return err;
  if (size != Size(sizeof code)) return errAEWrongDataType;
  *requestedType = code;
  return noErr;
}

OSErr ValueOfToken(const AEDesc* token, DescType requestedType, AEDesc* value) {
  switch (token->descriptorType) {
    case kPropertyToken: {
      PropertyRef ref;
      OSErr err = PropertyFromToken(token, &ref);
      if (err != noErr) return err;
      const Property* property = FindProperty(ref.code, ref.hasOwner);
      if (property == nullptr || property->get == nullptr) return errAENoSuchObject;
      return property->get(ref, requestedType, value);
    }
    case kItemToken: {
      FinderItem item;
      OSErr err = ItemFromToken(token, &item);
      if (err != noErr) return err;
      return ItemValue(item, requestedType, value);
    }
    case typeAEList: {
      std::vector<FinderItem> items;
      OSErr err = AppendItemsOfToken(token, &items);
      if (err != noErr) return err;
      return MakeSpecifierList(items, value);
    }
    default:
      return errAENoSuchObject;
  }
}

}  // namespace

OSErr HandleGetData(const AppleEvent* event, AppleEvent* reply, SInt32) {
  ScopedDesc object, token, value;
  DescType requestedType = typeWildCard;
  OSErr err = AEGetParamDesc(event, keyDirectObject, typeWildCard, &object);
  if (err == noErr) err = RequestedType(event, &requestedType);
  if (err == noErr) err = AEResolve(object.get(), kAEIDoMinimum, &token);
  if (err == noErr) err = ValueOfToken(token.get(), requestedType, &value);
  if (err == noErr && WantsReply(reply)) err = AEPutParamDesc(reply, keyDirectObject, value.get());
  return err;
}

}  // namespace finderd
