#include "engine/InstalledEntry.h"

#include "engine/KeptCopyProof.h"
#include "engine/WindowsApi.h"

namespace InstalledEntry
{
    namespace
    {
        const juce::String uninstallKey ("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\");

        juce::String getKeyPath()
        {
            return uninstallKey + getKeyName();
        }

        /** A text value of the entry, or "" when there is none. */
        juce::String readEntryText (const char* name)
        {
            HKEY key = nullptr;

            if (RegOpenKeyExW (HKEY_LOCAL_MACHINE, getKeyPath().toWideCharPointer(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
                return {};

            wchar_t buffer[1024] = {};
            DWORD type = 0;
            DWORD size = sizeof (buffer) - sizeof (wchar_t); // room for a NUL the value may lack
            const auto result = RegQueryValueExW (key, juce::String (name).toWideCharPointer(), nullptr, &type, (LPBYTE) buffer, &size);
            RegCloseKey (key);

            if (result != ERROR_SUCCESS || type != REG_SZ)
                return {};

            return juce::String (buffer);
        }

        bool deleteEntry()
        {
            HKEY key = nullptr;
            const auto opened = RegOpenKeyExW (HKEY_LOCAL_MACHINE, getKeyPath().toWideCharPointer(), 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &key);

            if (opened == ERROR_FILE_NOT_FOUND)
                return true;

            // Out of the list first, so that nobody sees an entry whose other values are going.
            if (opened == ERROR_SUCCESS)
            {
                RegDeleteValueW (key, L"DisplayName");
                RegCloseKey (key);
            }

            const auto deleted = RegDeleteKeyExW (HKEY_LOCAL_MACHINE, getKeyPath().toWideCharPointer(), KEY_WOW64_64KEY, 0);
            return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
        }

        bool writeEntry (const juce::Array<Value>& values)
        {
            HKEY key = nullptr;

            if (RegCreateKeyExW (HKEY_LOCAL_MACHINE, getKeyPath().toWideCharPointer(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 KEY_SET_VALUE | KEY_QUERY_VALUE | KEY_WOW64_64KEY, nullptr, &key, nullptr)
                != ERROR_SUCCESS)
                return false;

            // Unlisted while its values change; the list ends with DisplayName.
            RegDeleteValueW (key, L"DisplayName");
            auto ok = true;

            for (const auto& value : values)
            {
                const auto* name = value.name.toWideCharPointer();

                if (value.isNumber)
                {
                    const DWORD number = value.number;
                    ok = ok && RegSetValueExW (key, name, 0, REG_DWORD, (const BYTE*) &number, sizeof (number)) == ERROR_SUCCESS;
                }
                else
                {
                    const auto* text = value.text.toWideCharPointer();
                    const auto bytes = (DWORD) ((wcslen (text) + 1) * sizeof (wchar_t));
                    ok = ok && RegSetValueExW (key, name, 0, REG_SZ, (const BYTE*) text, bytes) == ERROR_SUCCESS;
                }
            }

            RegCloseKey (key);

            if (! ok)
                deleteEntry();

            return ok;
        }

        /** The kept copy the entry names, when it is one of ours and still there. */
        juce::File findEntryKeptCopy (const juce::File& keptCopyFolder)
        {
            const auto icon = readEntryText ("DisplayIcon").unquoted();

            if (! juce::File::isAbsolutePath (icon))
                return {};

            const juce::File named (icon);
            const auto isOurs = named.getParentDirectory() == keptCopyFolder && isKeptCopyName (named.getFileName())
                                && named.existsAsFile() && ! named.isSymbolicLink();
            return isOurs ? named : juce::File();
        }

        juce::String getInstallDate()
        {
            const auto earlier = readEntryText ("InstallDate");

            if (earlier.length() == 8 && earlier.containsOnly ("0123456789"))
                return earlier;

            return juce::Time::getCurrentTime().formatted ("%Y%m%d");
        }
    } // namespace

    juce::String update (const juce::File& keptCopyFolder, const std::array<juce::File, numFormats>& installFolders,
                         const juce::String& productName, juce::String& unprovenRemark)
    {
        if (keptCopyFolder == juce::File())
            return {};

        Facts facts;
        juce::Array<juce::File> bundles;

        for (int i = 0; i < numFormats; ++i)
        {
            const auto bundle = getBundlePath (installFolders[(size_t) i], productName, i);
            facts.installed[(size_t) i] = bundle.exists();

            if (facts.installed[(size_t) i])
                bundles.add (bundle);
        }

        if (bundles.isEmpty())
        {
            const auto removed = deleteEntry();
            removeKeptCopies (keptCopyFolder, {});
            return removed ? juce::String() : productName + " was removed, but its entry in Installed apps could not be removed.";
        }

        // A kept copy that no entry names may be waiting for its removal at the restart (it ran the
        // uninstall): even when it runs now, a fresh copy is written rather than it being named again.
        const auto running = juce::File::getSpecialLocation (juce::File::currentExecutableFile);
        auto keep = findEntryKeptCopy (keptCopyFolder);
        juce::String problem;

        // A release keeps only proven copies: one that is not (planted through an older flaw) goes,
        // whatever its version block says. A test build proves nothing, and says so.
        const auto keepIsUnproven = KeptCopyProof::mustReplace (keep);

        if (keepIsUnproven
            || (keep != running
                && (keep == juce::File() || replacesKeptCopy (readPluginVersion (keep), keep.getVersion(), Product::version, applicationVersion))))
        {
            // The held file cannot change while it is held: the bytes proven are the bytes copied.
            const auto refusal = KeptCopyProof::checkOwnCopy (getOwnExecutable());
            const auto copy = refusal.isEmpty() ? writeKeptCopy (running, keptCopyFolder) : juce::File();

            if (copy != juce::File())
                keep = copy;
            else
                problem = "the installer cannot keep its copy in " + keptCopyFolder.getFullPathName() + (refusal.isEmpty() ? "" : ": " + refusal);

            if (copy != juce::File())
                unprovenRemark = KeptCopyProof::describeKeptCopy (keptCopyFolder);
            else if (keepIsUnproven)
                keep = juce::File();
        }

        if (keep == juce::File())
        {
            deleteEntry();
            removeKeptCopies (keptCopyFolder, {});
            return productName + " is installed, but not listed in Installed apps: " + problem + ".";
        }

        facts.installedBytes = countBytes (bundles);
        facts.keptCopy = keep;
        facts.installDate = getInstallDate();

        if (! writeEntry (makeValues (facts)))
            return productName + " is installed, but its entry in Installed apps could not be written.";

        removeKeptCopies (keptCopyFolder, keep);

        if (problem.isNotEmpty())
            return productName + " stays listed in Installed apps with the copy kept before: " + problem + ".";

        return {};
    }
} // namespace InstalledEntry
