#include "engine/MappedPages.h"

#include "engine/WindowsApi.h"

#include <juce_core/juce_core.h>

#include <cstdint>

#if ! JUCE_WINDOWS
 #include <sys/mman.h>
 #include <unistd.h>
#endif

void releaseMappedPages (const void* data, size_t size)
{
    if (data == nullptr || size == 0)
        return;

   #if JUCE_WINDOWS
    // Unlocking pages that are not locked takes them out of the working set; the call then
    // reports failure, which is expected.
    VirtualUnlock (const_cast<void*> (data), size);
   #else
    // Only whole pages inside the range: the pages at its ends may hold other data.
    const auto pageSize = (std::uintptr_t) sysconf (_SC_PAGESIZE);
    const auto start = ((std::uintptr_t) data + pageSize - 1) / pageSize * pageSize;
    const auto end = ((std::uintptr_t) data + size) / pageSize * pageSize;

    if (end > start)
        madvise (reinterpret_cast<void*> (start), end - start, MADV_DONTNEED);
   #endif
}
