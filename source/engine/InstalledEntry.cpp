#include "engine/InstalledEntry.h"

namespace InstalledEntry
{
    namespace
    {
        juce::String quoted (const juce::File& file)
        {
            return "\"" + file.getFullPathName() + "\"";
        }
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
} // namespace InstalledEntry
