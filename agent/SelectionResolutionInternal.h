// SelectionResolutionInternal.h — the allocator GetFSObjects grows its array
// with. realloc in the program; tests replace it to make growth fail.
#pragma once

#include <cstddef>

extern void* (*gGetFSObjectsRealloc)(void* block, size_t size);
