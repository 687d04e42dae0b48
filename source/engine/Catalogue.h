// The product, its three plug-in formats and where each one is installed.
#pragma once

#include "engine/HostFolders.h"

#include <juce_core/juce_core.h>

#include <array>

constexpr int numFormats = 3;

/** The installer's own name and version. */
constexpr const char* applicationName = "tw_installer";
constexpr const char* applicationVersion = "1.1.0";

/** The product this installer carries, and its maker. */
namespace Product
{
    constexpr const char* name = "Morvane4";
    constexpr const char* version = "4.0.2";
    constexpr const char* platformSuffix = " for Windows";
    constexpr const char* makerFolderName = "Tarnwick";
    constexpr const char* websiteAddress = "https://www.tarnwick.com/products/morvane4";
    constexpr const char* manualAddress = "https://www.tarnwick.com/downloads/manuals/Morvane4_Manual.pdf";
} // namespace Product

/** Format names by format index: 0 = VST3, 1 = CLAP, 2 = AAX. An index out of range gives "". */
extern const juce::StringArray formatNames;

/** Bundle extensions by format index (".vst3", ".clap", ".aaxplugin"). */
extern const juce::StringArray bundleExtensions;

/** The state of one format as the user sees it; worked out whenever it is shown. */
enum class InstallState
{
    Installed,
    NeedsUpdate,
    NotInstalled
};

/** "INSTALLED", "NEEDS UPDATE" or "NOT INSTALLED". */
juce::String getStatusWord (InstallState state);

/** The catalogue record of one format. */
struct PluginFormat
{
    juce::String name;            // display name and component name of the format's row
    juce::String bundleExtension; // extension of the installed bundle
    juce::String settingsKey;     // attribute of the settings file that names the install folder
    juce::String defaultSubfolder; // below "C:/Program Files/Common Files" on Windows
    juce::String moduleFolder;    // folder inside the bundle that holds the module; "" when the bundle is the module
};

/** The record of a format index 0..2; any other index gives an empty record. */
const PluginFormat& getPluginFormat (int formatIndex);

/** productName + the format's bundle extension, e.g. "Morvane4.vst3". */
juce::String getBundleName (const juce::String& productName, int formatIndex);

/** The bundle below a format's install folder. */
juce::File getBundlePath (const juce::File& installFolder, const juce::String& productName, int formatIndex);

/** The file whose version resource tells the installed version of a bundle. */
juce::File getModulePath (const juce::File& bundlePath, const juce::String& productName, int formatIndex);

/** The places of the system that the installer reads and writes. The program takes them from the
    system; tests hand in temporary folders instead. */
struct SystemLocations
{
    std::array<juce::File, numFormats> defaultInstallFolders;
    juce::File commonApplicationData; // parent of the maker's settings folder
    juce::File temporaryFolder;
    juce::File keptCopyFolder; // where the installer keeps its own copy for Installed apps; none: no entry
    HostFolders hostFolders;   // where plug-in hosts look for other copies; none: no search
    bool findsHostFolders = false; // this machine's host folders are found when first needed (after
                                   // a run, on --verify), in place of hostFolders

    /** The real locations of this machine. On Windows the install folders are the fixed system
        plug-in folders on drive C:; on Linux they are ~/.vst3, ~/.clap and ~/.aax. */
    static SystemLocations fromSystem();
};
