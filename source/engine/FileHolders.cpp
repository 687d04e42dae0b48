#include "engine/FileHolders.h"

namespace
{
    constexpr int mostFilesWalked = 4096;
    constexpr int deepestFolder = 16;
    constexpr int longestName = 64;

    using Visit = std::function<void (const DurableFiles::Folder&, const juce::String&)>;

    void walk (const DurableFiles::Folder& folder, int depth, int& budget, const Visit& visit)
    {
        juce::StringArray names;

        if (depth > deepestFolder || ! DurableFiles::listNames (folder, names))
            return;

        for (const auto& name : names)
        {
            if (--budget < 0 || ! DurableFiles::isPlainName (name))
                return;

            const auto kind = DurableFiles::getEntryKind (folder, name);

            if (kind == DurableFiles::EntryKind::file)
                visit (folder, name);
            else if (kind == DurableFiles::EntryKind::folder)
                walk (folder.openChild (name), depth + 1, budget, visit);
        }
    }

    /** A holder's name as it may be printed: one line, of a bounded length. */
    juce::String printableName (const juce::String& name)
    {
        const auto printable = printableText (name.trim().substring (0, longestName));
        return printable.isEmpty() ? juce::String ("a program") : printable;
    }
} // namespace

void forEachBundleFile (const juce::File& bundle, const Visit& visit)
{
    const auto folder = DurableFiles::Folder::open (bundle.getParentDirectory());
    const auto name = bundle.getFileName();

    if (! folder.isOpen() || ! DurableFiles::isPlainName (name))
        return;

    const auto kind = DurableFiles::getEntryKind (folder, name);
    auto budget = mostFilesWalked;

    if (kind == DurableFiles::EntryKind::file)
        visit (folder, name);
    else if (kind == DurableFiles::EntryKind::folder)
        walk (folder.openChild (name), 1, budget, visit);
}

juce::String printableText (const juce::String& text)
{
    juce::String printable;

    for (const auto c : text)
        printable += (c < 0x20 || (c >= 0x7f && c < 0xa0) || c == 0x2028 || c == 0x2029) ? (juce::juce_wchar) '?' : c;

    return printable;
}

juce::String describeHolders (const juce::Array<FileHolder>& holders)
{
    juce::StringArray parts;

    for (const auto& holder : holders)
        parts.add (printableName (holder.name) + " (process " + juce::String (holder.processId) + ")");

    if (parts.size() < 2)
        return parts.joinIntoString ("");

    const auto last = parts.strings.getLast();
    parts.remove (parts.size() - 1);
    return parts.joinIntoString (", ") + " and " + last;
}
