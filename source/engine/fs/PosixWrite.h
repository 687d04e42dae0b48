// POSIX only: writing every byte to a descriptor, as the door's writers all do.
#pragma once

#include <cerrno>
#include <cstddef>
#include <unistd.h>

namespace DurableFiles
{
    /** Writes all `size` bytes to `fd`, going on after an interrupted or partial write; false when
        the system stops taking them. */
    inline bool writeAll (int fd, const void* data, size_t size)
    {
        const auto* bytes = static_cast<const char*> (data);

        while (size > 0)
        {
            const auto written = ::write (fd, bytes, size);

            if (written < 0 && errno == EINTR)
                continue;

            if (written <= 0)
                return false;

            bytes += written;
            size -= (size_t) written;
        }

        return true;
    }
} // namespace DurableFiles
