#pragma once

#include <QtGlobal>

namespace Platform {
// Hands memory the allocator keeps free back to the system, after work on a
// large arrival: without it a node's size stays at its peak for good.
// Cheap when there is little to give back; a no-op where unsupported.
void ReleaseFreeMemory();
} // namespace Platform
