#include "engine/OtherCopies.h"

#include "engine/DurableFiles.h"
#include "engine/InstallDetection.h"
#include "engine/PeVersion.h"

static_assert (std::tuple_size<HostFolders>::value == numFormats, "one list of host folders per format");

namespace
{
    /** A module read at offsets through the one handle it was opened with. */
    class ReadableSource final : public PeByteSource
    {
    public:
        explicit ReadableSource (DurableFiles::ReadableFile& fileToRead) : file (fileToRead) {}

        bool read (std::uint64_t offset, void* destination, std::size_t size) override
        {
            return file.readAt (offset, destination, size);
        }

    private:
        DurableFiles::ReadableFile& file;
    };

    /** The version of the module `name` inside `folder`, opened through it: a link of that name is
        never followed, and only a plain file is read, without waiting. */
    juce::String readModuleVersionIn (const DurableFiles::Folder& folder, const juce::String& name)
    {
        auto file = DurableFiles::ReadableFile::openIn (folder, name);
        ReadableSource source (file);
        return file.isOpen() ? juce::String (readPeFileVersion (source)) : juce::String();
    }

    /** The folder reached from `folder.start` through `below`, no link followed on the way. */
    DurableFiles::Folder openHostFolder (const HostFolder& folder)
    {
        auto held = DurableFiles::Folder::open (folder.start);

        for (const auto& part : juce::StringArray::fromTokens (folder.below, "/", ""))
            if (held.isOpen() && part.isNotEmpty())
                held = held.openChild (part);

        return held;
    }

    /** The version of the copy `name` in `folder`: its module reached through held folders, never
        through a link. */
    juce::String readCopyVersion (const DurableFiles::Folder& folder, const juce::String& name, bool isFolder, int formatIndex)
    {
        if (! isFolder)
            return readModuleVersionIn (folder, name);

        auto held = folder.openChild (name);

        for (const auto& part : juce::StringArray::fromTokens (getPluginFormat (formatIndex).moduleFolder, "/", ""))
            if (held.isOpen() && part.isNotEmpty())
                held = held.openChild (part);

        return held.isOpen() ? readModuleVersionIn (held, name) : juce::String();
    }
} // namespace

juce::Array<OtherCopy> findOtherCopies (int formatIndex, const juce::File& ownBundle, const juce::String& productName,
                                        const juce::Array<HostFolder>& folders)
{
    using Kind = DurableFiles::EntryKind;
    const auto bundleName = getBundleName (productName, formatIndex);
    const auto ownIdentity = getEntryIdentity (ownBundle);
    juce::StringArray seen;
    juce::Array<OtherCopy> copies;

    for (const auto& hostFolder : folders)
    {
        const auto folder = openHostFolder (hostFolder);
        const auto kind = folder.isOpen() ? DurableFiles::getEntryKind (folder, bundleName) : Kind::missing;

        if (kind == Kind::missing || kind == Kind::other)
            continue;

        const auto path = folder.getChildFile (bundleName);
        const auto identity = getEntryIdentity (path);
        const auto isOwn = identity.isNotEmpty() ? identity == ownIdentity : path == ownBundle;

        if (isOwn || (identity.isNotEmpty() && seen.contains (identity)))
            continue;

        seen.add (identity);

        // A link is read through only where no one else chose where it leads.
        const auto version = kind != Kind::link ? readCopyVersion (folder, bundleName, kind == Kind::folder, formatIndex)
                             : hostFolder.below.isEmpty() ? readModuleVersion (path.isDirectory() ? getModulePath (path, productName, formatIndex) : path)
                                                          : juce::String();
        copies.add ({ formatIndex, path, version });
    }

    return copies;
}

void findOtherCopies (RunReport& report, const juce::String& productName, const HostFolders& folders)
{
    for (auto& outcome : report.outcomes)
        if (juce::isPositiveAndBelow (outcome.formatIndex, numFormats))
            outcome.otherCopies = findOtherCopies (outcome.formatIndex, outcome.bundlePath, productName,
                                                   folders[(size_t) outcome.formatIndex]);
}

juce::String describeOtherCopy (const OtherCopy& copy)
{
    const auto version = copy.version.isNotEmpty() ? copy.version : juce::String ("unknown");
    return formatNames[copy.formatIndex] + " another copy at " + printableText (copy.path.getFullPathName())
           + " (version " + printableText (version) + "): a host may load it first";
}
