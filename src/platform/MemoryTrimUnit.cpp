#include "platform/MemoryTrimUnit.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace Platform {
void ReleaseFreeMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}
} // namespace Platform
