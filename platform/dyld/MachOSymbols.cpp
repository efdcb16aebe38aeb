// MachOSymbols.cpp — run-time symbol lookup through dlsym.
//
// An NSSymbol is the address itself: lookup binds at once, so there is
// nothing else to keep.
#include "platform/dyld/MachOSymbols.h"

#include <dlfcn.h>

namespace {

void* Lookup(const char* symbolName) {
  if (symbolName == nullptr) return nullptr;
  if (symbolName[0] == '_') ++symbolName;
  if (symbolName[0] == '\0') return nullptr;
  return dlsym(RTLD_DEFAULT, symbolName);
}

}  // namespace

bool NSIsSymbolNameDefined(const char* symbolName) { return Lookup(symbolName) != nullptr; }

NSSymbol NSLookupAndBindSymbol(const char* symbolName) {
  return static_cast<NSSymbol>(Lookup(symbolName));
}

void* NSAddressOfSymbol(NSSymbol symbol) { return symbol; }
