#include "engine/KeptCopy.h"

#include "engine/DurableFiles.h"
#include "engine/SafeRemoval.h"
#include "engine/Version.h"

namespace InstalledEntry
{
    namespace
    {
        constexpr const char* keptCopyPrefix = "tw_installer-";
        constexpr const char* keptCopyExtension = ".exe";
        constexpr const char* stagingSuffix = ".staging";
    } // namespace

    bool replacesKeptCopy (const juce::String& keptPluginVersion, const juce::String& keptInstallerVersion,
                           const juce::String& ownPluginVersion, const juce::String& ownInstallerVersion)
    {
        const Version kept (keptPluginVersion);
        const Version own (ownPluginVersion);

        if (kept != own)
            return kept < own;

        return Version (keptInstallerVersion) <= Version (ownInstallerVersion);
    }

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

        auto input = openKeptCopySource (source);
        auto ok = input != nullptr;
        const auto sourceSize = ok ? input->size : 0;
        const auto readPiece = [&input] (char* into, int wanted) { return input->read (into, wanted); };

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
} // namespace InstalledEntry
