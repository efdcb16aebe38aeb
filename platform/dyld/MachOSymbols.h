// MachOSymbols.h — looking up functions by name at run time, as the Mac's
// dynamic linker did (NSLookupAndBindSymbol and friends).
//
// Names are given in their Mach-O spelling, with a leading underscore
// ("_CopyLabelColorAndName"); one leading underscore is dropped before the
// name is looked up among the symbols of the program and every library it has
// loaded. Where the Mac aborted the process for a name nothing defines, these
// answer NULL (or false), so that callers can test for the function.
#pragma once

#include "platform/core/MacTypes.h"

typedef struct __NSSymbol* NSSymbol;

// True when a loaded image exports `symbolName`.
bool NSIsSymbolNameDefined(const char* symbolName);
// The symbol, or NULL when nothing exports the name (or the name is NULL).
NSSymbol NSLookupAndBindSymbol(const char* symbolName);
// The symbol's address; NULL for a NULL symbol.
void* NSAddressOfSymbol(NSSymbol symbol);
