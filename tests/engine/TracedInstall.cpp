// Installs the carried VST3 bundle into the folder given, for a test that records its system calls.
#include "engine/BundleInstaller.h"

#include <BinaryData.h>

#include <cstdio>

int main (int argc, char** argv)
{
    if (argc != 2)
        return 2;

    const auto result = installBundle (juce::File (argv[1]), "Morvane4.vst3", BinaryData::vst3_zip, (size_t) BinaryData::vst3_zipSize);

    if (result.failed())
        std::fprintf (stderr, "%s\n", result.getErrorMessage().toRawUTF8());

    return result.wasOk() ? 0 : 1;
}
