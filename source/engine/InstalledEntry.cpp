#include "engine/InstalledEntry.h"

#include "engine/DurableFiles.h"
#include "engine/KeptCopyProof.h"
#include "engine/SafeRemoval.h"
#include "engine/Version.h"
#include "engine/WindowsApi.h"

#include <cstring>
#include <vector>

namespace InstalledEntry
{
    namespace
    {
       #if JUCE_WINDOWS
        /** The program's own file, held from the start without write or delete sharing. */
        HANDLE ownExecutable = INVALID_HANDLE_VALUE;
       #endif

        constexpr const char* keptCopyPrefix = "tw_installer-";
        constexpr const char* keptCopyExtension = ".exe";
        constexpr const char* stagingSuffix = ".staging";

        juce::String quoted (const juce::File& file)
        {
            return "\"" + file.getFullPathName() + "\"";
        }

       #if JUCE_WINDOWS
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

        /** The plug-in version in a kept copy's version block ("PluginVersion"), or "". */
        juce::String readPluginVersion (const juce::File& exe)
        {
            const auto* path = exe.getFullPathName().toWideCharPointer();
            DWORD ignored = 0;
            const auto size = GetFileVersionInfoSizeW (path, &ignored);

            if (size == 0)
                return {};

            juce::HeapBlock<char> block (size, true);
            void* value = nullptr;
            UINT length = 0;

            if (! GetFileVersionInfoW (path, 0, size, block.get())
                || ! VerQueryValueW (block.get(), L"\\StringFileInfo\\040904B0\\PluginVersion", &value, &length)
                || value == nullptr || length == 0)
                return {};

            return juce::String (juce::CharPointer_UTF16 ((const juce::CharPointer_UTF16::CharType*) value), (size_t) length);
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
       #endif
    } // namespace

    juce::String getKeyName()
    {
        return juce::String (Product::makerFolderName) + " " + Product::name;
    }

    juce::Array<Value> makeValues (const Facts& facts)
    {
        const auto exe = quoted (facts.keptCopy);
        const auto kibibytes = (facts.installedBytes + 1023) / 1024;

        auto text = [] (const char* name, const juce::String& value) { return Value { name, value, 0, false }; };
        auto number = [] (const char* name, juce::int64 value)
        { return Value { name, {}, (juce::uint32) juce::jlimit ((juce::int64) 0, (juce::int64) 0xffffffff, value), true }; };

        return {
            text ("DisplayVersion", Product::version),
            text ("Publisher", Product::makerFolderName),
            text ("DisplayIcon", exe),
            text ("InstallLocation", facts.keptCopy.getParentDirectory().getFullPathName()), // a path, read as one: no quotes
            number ("EstimatedSize", kibibytes),
            text ("Comments", describeFormats (facts.installed)),
            text ("URLInfoAbout", Product::websiteAddress),
            text ("HelpLink", Product::manualAddress),
            number ("NoRepair", 0),
            text ("ModifyPath", exe),
            text ("UninstallString", exe + " --uninstall all --confirm"),
            text ("QuietUninstallString", exe + " --uninstall all --quiet"),
            text ("InstallDate", facts.installDate),
            text ("DisplayName", Product::name)
        };
    }

    juce::String describeFormats (const std::array<bool, numFormats>& installed)
    {
        juce::StringArray names;

        for (int i = 0; i < numFormats; ++i)
            if (installed[(size_t) i])
                names.add (formatNames[i]);

        return names.joinIntoString (", ");
    }

    juce::String getRemovalQuestion (const std::array<bool, numFormats>& installed)
    {
        const auto formats = describeFormats (installed);
        return "Remove " + juce::String (Product::name) + (formats.isEmpty() ? "" : " (" + formats + ")") + " from this computer?";
    }

    juce::int64 countBytes (const juce::Array<juce::File>& bundles)
    {
        juce::int64 total = 0;

        for (const auto& bundle : bundles)
        {
            if (bundle.isSymbolicLink())
                continue;

            if (bundle.existsAsFile())
                total += bundle.getSize();

            if (bundle.isDirectory())
                for (const auto& file : bundle.findChildFiles (juce::File::findFiles, true, "*", juce::File::FollowSymlinks::no))
                    if (! file.isSymbolicLink())
                        total += file.getSize();
        }

        return total;
    }

    bool replacesKeptCopy (const juce::String& keptPluginVersion, const juce::String& keptInstallerVersion,
                           const juce::String& ownPluginVersion, const juce::String& ownInstallerVersion)
    {
        const Version kept (keptPluginVersion);
        const Version own (ownPluginVersion);

        if (kept != own)
            return kept < own;

        return Version (keptInstallerVersion) <= Version (ownInstallerVersion);
    }

    //==============================================================================
    juce::File writeKeptCopy (const juce::File& source, const juce::File& folder)
    {
        // Held from here on, made with its parents where missing: every name below goes through it.
        const auto held = DurableFiles::Folder::openOrCreate (folder);

        if (! held.isOpen())
            return {};

        // A name no earlier copy had: a removal still pending from an uninstall names another file.
        const auto name = keptCopyPrefix + juce::String::toHexString (juce::Time::currentTimeMillis())
                          + juce::String::toHexString (juce::Random::getSystemRandom().nextInt()) + keptCopyExtension;
        const auto stagingName = "." + name + stagingSuffix;

       #if JUCE_WINDOWS
        // The running program is copied from its file held since the start, never from whatever
        // now has its name; when that file is not held, no copy is made.
        const auto isOwnFile = source == juce::File::getSpecialLocation (juce::File::currentExecutableFile);
        const auto input = isOwnFile ? ownExecutable
                                     : CreateFileW (source.getFullPathName().toWideCharPointer(), GENERIC_READ, FILE_SHARE_READ,
                                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        const juce::ScopeGuard closeInput { [&]
        {
            if (! isOwnFile && input != INVALID_HANDLE_VALUE)
                CloseHandle (input);
        } };
        LARGE_INTEGER start {}, size {};
        auto ok = input != INVALID_HANDLE_VALUE && SetFilePointerEx (input, start, nullptr, FILE_BEGIN) && GetFileSizeEx (input, &size);
        const auto sourceSize = (juce::int64) size.QuadPart;
        const auto readPiece = [input] (char* into, int wanted)
        {
            DWORD got = 0;
            return ReadFile (input, into, (DWORD) wanted, &got, nullptr) ? (int) got : -1;
        };
       #else
        juce::FileInputStream input (source);
        auto ok = input.openedOk();
        const auto sourceSize = source.getSize();
        const auto readPiece = [&input] (char* into, int wanted) { return input.read (into, wanted); };
       #endif

        {
            DurableFiles::NewFile output (held, stagingName);
            ok = ok && output.isOpen();

            constexpr int pieceSize = 1 << 20;
            juce::HeapBlock<char> piece (pieceSize);
            juce::int64 copied = 0;

            while (ok)
            {
                const auto read = readPiece (piece.get(), pieceSize);

                if (read <= 0)
                    break;

                ok = output.write (piece.get(), (size_t) read);
                copied += read;
            }

            ok = ok && copied == sourceSize && output.finish (juce::Time::getCurrentTime());
        }

        ok = ok && DurableFiles::flushFile (held, stagingName) && renameEntry (held, stagingName, held, name) == 0;

        if (! ok)
        {
            removeTree (held, stagingName);
            return {};
        }

        DurableFiles::flushFolder (held);
        return folder.getChildFile (name);
    }

    bool isKeptCopyName (const juce::String& fileName)
    {
        const auto copy = juce::String (keptCopyPrefix) + "*" + keptCopyExtension;
        return fileName.matchesWildcard (copy, true) || fileName.matchesWildcard ("." + copy + stagingSuffix, true);
    }

    void removeKeptCopies (const juce::File& folder, const juce::File& keep)
    {
        if (! folder.isDirectory() || folder.isSymbolicLink())
            return;

        const auto running = juce::File::getSpecialLocation (juce::File::currentExecutableFile);

        for (const auto& entry : folder.findChildFiles (juce::File::findFilesAndDirectories, false, "*", juce::File::FollowSymlinks::no))
        {
            if (entry == keep || ! isKeptCopyName (entry.getFileName()))
                continue;

            // A running program cannot remove its own file: that waits for the restart.
            if (entry == running)
                removeAtNextRestart ({ entry });
            else
                removeTreeNowOrAtRestart (entry);
        }

        if (keep != juce::File())
            return;

        // The folder after its files; at the restart it goes only if nothing new came into it.
        if (folder.getNumberOfChildFiles (juce::File::findFilesAndDirectories) == 0)
            folder.deleteFile();
        else
            removeAtNextRestart ({ folder });
    }

    //==============================================================================
    juce::String update (const juce::File& keptCopyFolder, const std::array<juce::File, numFormats>& installFolders,
                         const juce::String& productName, juce::String& unprovenRemark)
    {
        if (keptCopyFolder == juce::File())
            return {};

       #if JUCE_WINDOWS
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
            const auto refusal = KeptCopyProof::checkOwnCopy (ownExecutable);
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
       #else
        juce::ignoreUnused (installFolders, productName, unprovenRemark);
        return {};
       #endif
    }

    //==============================================================================
    void holdOwnExecutable()
    {
       #if JUCE_WINDOWS
        if (ownExecutable != INVALID_HANDLE_VALUE)
            return;

        std::vector<wchar_t> path (32768);
        const auto length = GetModuleFileNameW (nullptr, path.data(), (DWORD) path.size());

        if (length == 0 || length >= path.size())
            return;

        // Others may read it; no one may write, rename or delete it while it is held.
        const auto handle = CreateFileW (path.data(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);

        if (handle == INVALID_HANDLE_VALUE)
            return;

        // The file at that name must still be the program that runs: the loader maps the headers
        // as they stand in the file, but for the base address it was loaded at.
        const auto* image = reinterpret_cast<const char*> (GetModuleHandleW (nullptr));
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*> (image + reinterpret_cast<const IMAGE_DOS_HEADER*> (image)->e_lfanew);
        const auto headerSize = nt->OptionalHeader.SizeOfHeaders;
        std::vector<char> fromFile (headerSize);
        DWORD got = 0;

        if (ReadFile (handle, fromFile.data(), headerSize, &got, nullptr) && got == headerSize)
        {
            const auto baseOffset = (size_t) (reinterpret_cast<const char*> (&nt->OptionalHeader.ImageBase) - image);
            std::memcpy (fromFile.data() + baseOffset, &nt->OptionalHeader.ImageBase, sizeof (nt->OptionalHeader.ImageBase));

            if (std::memcmp (fromFile.data(), image, headerSize) == 0)
            {
                ownExecutable = handle;
                return;
            }
        }

        CloseHandle (handle);
       #endif
    }
} // namespace InstalledEntry
