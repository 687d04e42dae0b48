// libFuzzer target for the module version reader: any input gives an empty version or four numbers
// of 0..65535, and never a read outside the input (AddressSanitizer watches). Built by scripts/fuzz.
#include "engine/PeVersion.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace
{
    bool isEmptyOrWellFormed (const std::string& version)
    {
        if (version.empty())
            return true;

        int numbers = 0;
        size_t start = 0;

        for (;;)
        {
            const auto end = version.find ('.', start);
            const auto part = version.substr (start, end == std::string::npos ? std::string::npos : end - start);

            if (part.empty() || part.size() > 5 || part.find_first_not_of ("0123456789") != std::string::npos
                || std::stoul (part) > 0xffff)
                return false;

            ++numbers;

            if (end == std::string::npos)
                return numbers == 4;

            start = end + 1;
        }
    }
} // namespace

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    if (! isEmptyOrWellFormed (readPeFileVersion (data, size)))
        std::abort();

    return 0;
}
