#include "engine/Catalogue.h"

#include <gtest/gtest.h>

TEST (Catalogue, namesTheBundlesAfterProductAndFormatInFormatOrder)
{
    EXPECT_EQ (getBundleName ("Morvane4", 0), "Morvane4.vst3");
    EXPECT_EQ (getBundleName ("Morvane4", 1), "Morvane4.clap");
    EXPECT_EQ (getBundleName ("Morvane4", 2), "Morvane4.aaxplugin");

    EXPECT_EQ (formatNames.joinIntoString (","), "VST3,CLAP,AAX");
    EXPECT_EQ (getPluginFormat (0).settingsKey, "VST3_Path");
    EXPECT_EQ (getPluginFormat (1).settingsKey, "CLAP_Path");
    EXPECT_EQ (getPluginFormat (2).settingsKey, "AAX_Path");
}

TEST (Catalogue, indexOutOfRangeGivesEmptyText)
{
    EXPECT_EQ (formatNames[3], "");
    EXPECT_EQ (formatNames[-1], "");
    EXPECT_EQ (bundleExtensions[3], "");
    EXPECT_TRUE (getPluginFormat (7).name.isEmpty());
}

TEST (Catalogue, findsTheModuleInsideEachBundle)
{
    const juce::File folder ("/plugins");

    const auto vst3 = getBundlePath (folder, "Morvane4", 0);
    EXPECT_EQ (getModulePath (vst3, "Morvane4", 0).getFullPathName(), juce::File ("/plugins/Morvane4.vst3/Contents/x86_64-win/Morvane4.vst3").getFullPathName());

    const auto clap = getBundlePath (folder, "Morvane4", 1);
    EXPECT_EQ (getModulePath (clap, "Morvane4", 1), clap);

    const auto aax = getBundlePath (folder, "Morvane4", 2);
    EXPECT_EQ (getModulePath (aax, "Morvane4", 2).getFullPathName(), juce::File ("/plugins/Morvane4.aaxplugin/Contents/x64/Morvane4.aaxplugin").getFullPathName());
}

TEST (Catalogue, statusWords)
{
    EXPECT_EQ (getStatusWord (InstallState::Installed), "INSTALLED");
    EXPECT_EQ (getStatusWord (InstallState::NeedsUpdate), "NEEDS UPDATE");
    EXPECT_EQ (getStatusWord (InstallState::NotInstalled), "NOT INSTALLED");
}
