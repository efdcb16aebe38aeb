// SetData.cpp — 'core'/'setd': a property takes a new value.
//
//   '----'  an object specifier of a property (required)
//   'data'  the new value (required)
//
// Only properties with a setter in the property table can change; anything
// else is errAENotModifiable.
#include "tools/finderd/Finder.h"

namespace finderd {

OSErr HandleSetData(const AppleEvent* event, AppleEvent*, SInt32) {
  ScopedDesc object, data, token;
  OSErr err = AEGetParamDesc(event, keyDirectObject, typeWildCard, &object);
  if (err == noErr) err = AEGetParamDesc(event, keyAEData, typeWildCard, &data);
  if (err == noErr) err = AEResolve(object.get(), kAEIDoMinimum, &token);
  if (err != noErr) return err;
  if (token.get()->descriptorType != kPropertyToken) return errAENotModifiable;
  PropertyRef ref;
  err = PropertyFromToken(token.get(), &ref);
  if (err != noErr) return err;
  const Property* property = FindProperty(ref.code, ref.hasOwner);
  if (property == nullptr || property->set == nullptr) return errAENotModifiable;
  return property->set(ref, data.get());
}

}  // namespace finderd
