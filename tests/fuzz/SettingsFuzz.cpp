// libFuzzer target for the settings reader: any bytes decode to well-formed text, and every folder
// value it gives is one the folder rules take, under the POSIX and the Windows rules alike, never
// with a read outside the input (AddressSanitizer watches). Built by scripts/fuzz.
#include "engine/FileNames.h"
#include "engine/SettingsFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    const auto text = Settings::decodeText (data, size);

    if (! isWellFormedUtf8 (text.toRawUTF8(), text.getNumBytesAsUTF8()))
        std::abort();

    for (const auto rules : { Settings::PathRules::posix, Settings::PathRules::windows })
        for (const auto& value : Settings::readFolderValues (data, size, rules))
            if (value.isNotEmpty() && ! Settings::isUsableFolderPath (value, rules))
                std::abort();

    return 0;
}
