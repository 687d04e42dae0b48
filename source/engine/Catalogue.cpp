#include "engine/Catalogue.h"

const juce::StringArray formatNames { "VST3", "CLAP", "AAX" };
const juce::StringArray bundleExtensions { ".vst3", ".clap", ".aaxplugin" };

juce::String getStatusWord (InstallState state)
{
    switch (state)
    {
        case InstallState::Installed:    return "INSTALLED";
        case InstallState::NeedsUpdate:  return "NEEDS UPDATE";
        case InstallState::NotInstalled: return "NOT INSTALLED";
    }

    return {};
}

const PluginFormat& getPluginFormat (int formatIndex)
{
    static const std::array<PluginFormat, numFormats> formats { {
        { "VST3", ".vst3", "VST3_Path", "VST3", "Contents/x86_64-win/" },
        { "CLAP", ".clap", "CLAP_Path", "CLAP", "" },
        { "AAX", ".aaxplugin", "AAX_Path", "Avid/Audio/Plug-Ins", "Contents/x64/" },
    } };
    static const PluginFormat none;

    return juce::isPositiveAndBelow (formatIndex, numFormats) ? formats[(size_t) formatIndex] : none;
}

juce::String getBundleName (const juce::String& productName, int formatIndex)
{
    return productName + bundleExtensions[formatIndex];
}

juce::File getBundlePath (const juce::File& installFolder, const juce::String& productName, int formatIndex)
{
    return installFolder.getChildFile (getBundleName (productName, formatIndex));
}

juce::File getModulePath (const juce::File& bundlePath, const juce::String& productName, int formatIndex)
{
    const auto& moduleFolder = getPluginFormat (formatIndex).moduleFolder;

    if (moduleFolder.isEmpty())
        return bundlePath;

    // The sub-path is built whole and joined in one step.
    return bundlePath.getChildFile (moduleFolder + getBundleName (productName, formatIndex));
}

SystemLocations SystemLocations::fromSystem()
{
    SystemLocations locations;

   #if JUCE_WINDOWS
    // Fixed strings, not looked up: the plug-in hosts look on drive C: whatever the system drive is.
    const juce::File commonFiles ("C:/Program Files/Common Files");

    for (int i = 0; i < numFormats; ++i)
        locations.defaultInstallFolders[(size_t) i] = commonFiles.getChildFile (getPluginFormat (i).defaultSubfolder);

    // Fixed too: the entry in Installed apps names the copy kept there.
    locations.keptCopyFolder = juce::File ("C:/Program Files").getChildFile (Product::makerFolderName).getChildFile (Product::name);
   #else
    const auto home = juce::File::getSpecialLocation (juce::File::userHomeDirectory);
    locations.defaultInstallFolders = { home.getChildFile (".vst3"),
                                        home.getChildFile (".clap"),
                                        home.getChildFile (".aax") };
   #endif

    locations.commonApplicationData = juce::File::getSpecialLocation (juce::File::commonApplicationDataDirectory);
    locations.temporaryFolder = juce::File::getSpecialLocation (juce::File::tempDirectory);
    // The profiles and homes are read only by a start that looks for other copies.
    locations.findsHostFolders = true;
    return locations;
}
