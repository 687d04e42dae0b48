#include "engine/fs/ReadableFile.h"

namespace DurableFiles
{
    ReadableFile::ReadableFile (ReadableFile&& other) noexcept
    {
        *this = std::move (other);
    }
} // namespace DurableFiles
