#include "engine/fs/Folder.h"

#include "engine/FailureReason.h"
#include "engine/fs/SystemError.h"

namespace DurableFiles
{
    bool isPlainName (const juce::String& name)
    {
        return name.isNotEmpty() && name != "." && name != ".." && ! name.containsAnyOf ("/\\:");
    }

    Folder::Folder (Folder&& other) noexcept
    {
        *this = std::move (other);
    }

    Folder Folder::openOrCreate (const juce::File& path)
    {
        return openOrCreate (path, false);
    }

    Folder Folder::openOrCreatePrivate (const juce::File& path)
    {
        auto folder = openOrCreate (path, true);

        if (folder.isOpen() && ! folder.makePrivate())
        {
            Folder refused;
            refused.path = path;
            refused.error = folder.getError() != 0 ? folder.getError() : accessDeniedError();
            return refused;
        }

        return folder;
    }

    Folder Folder::openOrCreate (const juce::File& path, bool isPrivate)
    {
        auto folder = open (path);

        if (! folder.wasMissing())
            return folder;

        // Up to the nearest folder that exists, then down again making each level inside it.
        juce::StringArray missing;
        auto existing = path;

        while (folder.wasMissing() && existing != existing.getParentDirectory())
        {
            missing.insert (0, existing.getFileName());
            existing = existing.getParentDirectory();
            folder = open (existing);
        }

        for (int i = 0; i < missing.size() && folder.isOpen(); ++i)
            folder = folder.makeChild (missing[i], isPrivate && i == missing.size() - 1);

        return folder;
    }

    juce::Result renameWithin (const Folder& sourceFolder, const juce::String& sourceName,
                               const Folder& targetFolder, const juce::String& targetName)
    {
        const auto source = sourceFolder.getChildFile (sourceName);
        announceStep ("rename", source);

        if (const auto error = renameEntry (sourceFolder, sourceName, targetFolder, targetName); error != 0)
            return juce::Result::fail (reasonForFailureOn (source, error, FailureReason::fileNotMoved));

        return juce::Result::ok();
    }
} // namespace DurableFiles
