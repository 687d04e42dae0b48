// Windows: where hosts look for VST3 and CLAP plug-ins (every user profile among them), and which
// entry a path leads to.
#include "engine/HostFolders.h"

#include "engine/WindowsApi.h"

namespace
{
    constexpr DWORD mostProfiles = 4096;
    constexpr int mostPathFolders = 64;

    /** The profile folders the system lists under ProfileList (ProfileImagePath of each). */
    juce::Array<juce::File> readProfiles()
    {
        juce::Array<juce::File> profiles;
        HKEY list = nullptr;

        if (RegOpenKeyExW (HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", 0,
                           KEY_READ | KEY_WOW64_64KEY, &list) != ERROR_SUCCESS)
            return profiles;

        for (DWORD i = 0; i < mostProfiles; ++i)
        {
            WCHAR name[256] = {};
            auto nameLength = (DWORD) juce::numElementsInArray (name);

            if (RegEnumKeyExW (list, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;

            WCHAR path[MAX_PATH + 1] = {};
            auto size = (DWORD) (sizeof (path) - sizeof (WCHAR)); // room left for a terminator

            // RegGetValue expands REG_EXPAND_SZ (%SystemDrive%\Users\...) and terminates the text.
            if (RegGetValueW (list, name, L"ProfileImagePath", RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ, nullptr, path, &size) == ERROR_SUCCESS)
                if (const juce::String profile (path); juce::File::isAbsolutePath (profile))
                    profiles.addIfNotAlreadyThere (juce::File (profile));
        }

        RegCloseKey (list);
        return profiles;
    }
} // namespace

HostFolders findHostFolders()
{
    HostFolders folders;
    auto& vst3 = folders[0];
    auto& clap = folders[1];

    // The per-user folders, which hosts scan first: the running user's, then every profile's.
    const auto localAppData = juce::File::getSpecialLocation (juce::File::windowsLocalAppData);

    if (localAppData != juce::File())
    {
        vst3.add ({ localAppData, "Programs/Common/VST3" });
        clap.add ({ localAppData, "Programs/Common/CLAP" });
    }

    for (const auto& profile : readProfiles())
    {
        vst3.add ({ profile, "AppData/Local/Programs/Common/VST3" });
        clap.add ({ profile, "AppData/Local/Programs/Common/CLAP" });
    }

    // 32-bit hosts look in Program Files (x86); the default folders count too, when the settings
    // file put the install elsewhere.
    vst3.add ({ juce::File ("C:/Program Files (x86)/Common Files/VST3"), {} });
    vst3.add ({ juce::File ("C:/Program Files/Common Files/VST3"), {} });
    clap.add ({ juce::File ("C:/Program Files/Common Files/CLAP"), {} });

    const auto clapPath = juce::SystemStats::getEnvironmentVariable ("CLAP_PATH", {});
    const auto entries = juce::StringArray::fromTokens (clapPath, ";", "");

    for (int i = 0; i < juce::jmin (entries.size(), mostPathFolders); ++i)
        if (const auto entry = entries[i].trim().unquoted(); juce::File::isAbsolutePath (entry))
            clap.add ({ juce::File (entry), {} });

    return folders;
}

juce::String getEntryIdentity (const juce::File& path)
{
    // Only the attributes are read; a folder needs backup semantics to be opened at all.
    const auto handle = CreateFileW (path.getFullPathName().toWideCharPointer(), FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);

    if (handle == INVALID_HANDLE_VALUE)
        return {};

    BY_HANDLE_FILE_INFORMATION info {};
    const auto read = GetFileInformationByHandle (handle, &info) != 0;
    CloseHandle (handle);

    if (! read)
        return {};

    return juce::String::toHexString ((juce::int64) info.dwVolumeSerialNumber) + ":"
           + juce::String::toHexString ((juce::int64) (((juce::uint64) info.nFileIndexHigh << 32) | info.nFileIndexLow));
}
