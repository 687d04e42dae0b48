#include "SettingsFile.h"

const char* const Settings::note =
    "These are the paths that all Tarnwick installers will use for their respective formats. Edit them to personal taste, "
    "but keep in mind that some formats have specific homes. Use this feature at your own risk; follow the naming and "
    "separator conventions exactly as you see them, or you could end up with unintended consequences. If you delete this "
    "file, the next time you run the Plugin Manager for any TW product, a new one with the default locations will be written.";

namespace
{
    // The attributes are written in this order; the folder paths are read in format order.
    constexpr std::array<int, numFormats> writtenFormatOrder { 1, 0, 2 }; // CLAP, VST3, AAX

    void readSettings (const juce::XmlElement& root, std::array<juce::File, numFormats>& installFolders)
    {
        // The root's tag is not examined: other tools of the maker may name it differently.
        for (int i = 0; i < numFormats; ++i)
        {
            const auto value = root.getStringAttribute (getPluginFormat (i).settingsKey);

            if (value.trim().isEmpty())
                continue;

            auto& folder = installFolders[(size_t) i];
            folder = juce::File (value);

            if (! folder.exists())
                folder.createDirectory(); // a folder that cannot be made shows up at install time
        }
    }
} // namespace

bool writeSettingsFile (const juce::File& file, const std::array<juce::String, numFormats>& folderPaths)
{
    juce::XmlElement root (Settings::rootTag);
    root.setAttribute (Settings::noteAttribute, Settings::note);

    for (const auto formatIndex : writtenFormatOrder)
        root.setAttribute (getPluginFormat (formatIndex).settingsKey, folderPaths[(size_t) formatIndex]);

    return root.writeTo (file);
}

void applySettingsFile (const juce::File& settingsFolder, std::array<juce::File, numFormats>& installFolders)
{
    const auto file = settingsFolder.getChildFile (Settings::fileName);

    if (file.existsAsFile())
    {
        if (file.getSize() > Settings::maximumFileSize)
            return;

        if (const auto root = juce::parseXML (file))
            readSettings (*root, installFolders);

        return;
    }

    std::array<juce::String, numFormats> paths;

    for (size_t i = 0; i < paths.size(); ++i)
        paths[i] = installFolders[i].getFullPathName();

    writeSettingsFile (file, paths);
}
