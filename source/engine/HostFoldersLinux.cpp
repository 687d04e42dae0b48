// Linux: where hosts look for VST3 and CLAP plug-ins, and which entry a path leads to.
#include "engine/HostFolders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
    constexpr int mostHomes = 4096;
    constexpr int mostPathFolders = 64;

    /** The homes of the password database, for a run as root: each one's user could have put a
        copy there. */
    juce::StringArray readHomes()
    {
        juce::StringArray homes;
        ::setpwent();

        for (int i = 0; i < mostHomes; ++i)
        {
            const auto* entry = ::getpwent();

            if (entry == nullptr)
                break;

            const juce::String home (juce::CharPointer_UTF8 (entry->pw_dir != nullptr ? entry->pw_dir : ""));

            if (juce::File::isAbsolutePath (home) && home != "/")
                homes.addIfNotAlreadyThere (home);
        }

        ::endpwent();
        return homes;
    }
} // namespace

HostFolders findHostFolders()
{
    HostFolders folders;
    auto& vst3 = folders[0];
    auto& clap = folders[1];

    // The running user's own folders are theirs to link where they like, as hosts follow them.
    const auto home = juce::File::getSpecialLocation (juce::File::userHomeDirectory);
    vst3.add ({ home.getChildFile (".vst3"), {} });
    clap.add ({ home.getChildFile (".clap"), {} });

    if (::geteuid() == 0)
        for (const auto& other : readHomes())
        {
            vst3.add ({ juce::File (other), ".vst3" });
            clap.add ({ juce::File (other), ".clap" });
        }

    vst3.add ({ juce::File ("/usr/lib/vst3"), {} });
    vst3.add ({ juce::File ("/usr/local/lib/vst3"), {} });
    clap.add ({ juce::File ("/usr/lib/clap"), {} });

    const auto clapPath = juce::SystemStats::getEnvironmentVariable ("CLAP_PATH", {});
    const auto entries = juce::StringArray::fromTokens (clapPath, ":", "");

    for (int i = 0; i < juce::jmin (entries.size(), mostPathFolders); ++i)
        if (juce::File::isAbsolutePath (entries[i]))
            clap.add ({ juce::File (entries[i]), {} });

    return folders;
}

juce::String getEntryIdentity (const juce::File& path)
{
    struct stat info {};

    if (::stat (path.getFullPathName().toRawUTF8(), &info) != 0)
        return {};

    return juce::String ((juce::uint64) info.st_dev) + ":" + juce::String ((juce::uint64) info.st_ino);
}
