// Hands the pages of read-only, file-backed memory (such as the resources inside the executable) back to the system.
#pragma once

#include <cstddef>

/** Drops `data`'s pages from the process's resident memory once they have been read, so that
    unpacking three archives that live in the executable does not keep all three resident. The
    bytes stay readable: touching them again reads them back from the file.

    Only for memory mapped read-only from a file (the executable's own resources, a read-only
    memory-mapped file): on Linux the pages are discarded, which for any other memory would lose
    its content. */
void releaseMappedPages (const void* data, size_t size);
