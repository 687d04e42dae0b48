// Prints the fixed file version our reader finds in each file given: "version<TAB>path" per line.
// Used by scripts/fuzz to compare the reader with one that is not ours.
#include "engine/PeVersion.h"

#include <cstdio>
#include <fstream>

namespace
{
    /** Reads the file in place, piece by piece, as the installer does. */
    class FileSource final : public PeByteSource
    {
    public:
        explicit FileSource (const char* path) : in (path, std::ios::binary) {}

        bool read (std::uint64_t offset, void* destination, std::size_t size) override
        {
            in.clear();
            in.seekg ((std::streamoff) offset);
            in.read (static_cast<char*> (destination), (std::streamsize) size);
            return in.good() || (std::size_t) in.gcount() == size;
        }

    private:
        std::ifstream in;
    };
} // namespace

int main (int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
    {
        FileSource source (argv[i]);
        std::printf ("%s\t%s\n", readPeFileVersion (source).c_str(), argv[i]);
    }

    return 0;
}
