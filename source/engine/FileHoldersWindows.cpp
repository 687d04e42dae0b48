// Windows: the programs that hold a bundle's files, named by the Restart Manager.
#include "engine/FileHolders.h"

#include "engine/FailureReason.h"
#include "engine/WindowsApi.h"

#include <restartmanager.h>

#include <string>
#include <vector>

namespace
{
    /** Merges `more` into `holders`, each holder once. */
    void addUnique (juce::Array<FileHolder>& holders, const juce::Array<FileHolder>& more)
    {
        for (const auto& holder : more)
            holders.addIfNotAlreadyThere (holder);
    }

    /** RmGetList's answer, asked again while the list grows between the two calls. */
    juce::Array<FileHolder> listHolders (DWORD session)
    {
        constexpr int attempts = 4;
        std::vector<RM_PROCESS_INFO> infos;
        juce::Array<FileHolder> holders;

        for (int attempt = 0; attempt < attempts; ++attempt)
        {
            // Wine's stub writes none of these: they must read "nothing" as they are.
            UINT needed = 0;
            auto count = (UINT) infos.size();
            DWORD rebootReasons = RmRebootReasonNone;
            const auto status = RmGetList (session, &needed, &count, infos.empty() ? nullptr : infos.data(), &rebootReasons);

            if (status == ERROR_MORE_DATA && needed > infos.size())
            {
                infos.resize (needed);
                continue;
            }

            if (status != ERROR_SUCCESS)
                return {};

            const auto ownId = GetCurrentProcessId();

            for (UINT i = 0; i < juce::jmin (count, (UINT) infos.size()); ++i)
            {
                const auto& info = infos[i];

                // The name is read no further than its array, terminated or not.
                if (info.Process.dwProcessId != ownId)
                    holders.addIfNotAlreadyThere ({ juce::String (info.strAppName, (size_t) CCH_RM_MAX_APP_NAME), info.Process.dwProcessId });
            }

            return holders;
        }

        return holders;
    }
} // namespace

juce::Array<FileHolder> BundleHolders::findHoldersOf (const juce::Array<juce::File>& filesToCheck)
{
    // Only files: a folder makes RmGetList fail with access denied.
    std::vector<std::wstring> paths;

    for (const auto& file : filesToCheck)
        if (! file.isDirectory())
            paths.push_back (file.getFullPathName().toWideCharPointer());

    if (paths.empty())
        return {};

    std::vector<LPCWSTR> names;

    for (const auto& path : paths)
        names.push_back (path.c_str());

    // Wine's RmStartSession returns success without writing either of these.
    DWORD session = 0;
    WCHAR sessionKey[CCH_RM_SESSION_KEY + 1] = {};

    if (RmStartSession (&session, 0, sessionKey) != ERROR_SUCCESS)
        return {};

    juce::Array<FileHolder> holders;

    if (RmRegisterResources (session, (UINT) names.size(), names.data(), 0, nullptr, 0, nullptr) == ERROR_SUCCESS)
        holders = listHolders (session);

    RmEndSession (session);
    return holders;
}

BundleHolders::BundleHolders (const juce::File& bundle)
{
    forEachBundleFile (bundle, [this] (const DurableFiles::Folder& folder, const juce::String& name)
                       { files.add (folder.getChildFile (name)); });

    before = findHoldersOf (files);
}

juce::Array<FileHolder> BundleHolders::afterRun (const juce::Result& result, const juce::Array<juce::File>& removedAtRestart) const
{
    // A file in use stopped the run: who holds it now, and who held it as the run began.
    if (result.failed() && result.getErrorMessage().startsWith (FailureReason::fileInUse))
    {
        auto holders = findHoldersOf (files);
        addUnique (holders, before);
        return holders;
    }

    // Files left for the restart: who holds them where they are now; failing that, as it began.
    if (result.wasOk() && ! removedAtRestart.isEmpty())
    {
        const auto holders = findHoldersOf (removedAtRestart);
        return holders.isEmpty() ? before : holders;
    }

    return {};
}
