#include "engine/RestartChain.h"

#include <gtest/gtest.h>

TEST (RestartChain, closesEveryFolderFromTheFilesOwnUpToTheOneItsTreeIsRemovedFrom)
{
    const auto install = juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile ("VST3");
    const auto removing = install.getChildFile (".Morvane4.vst3.removing-1");

    EXPECT_EQ (countFoldersTakingNoEntries (removing.getChildFile ("Contents/x86_64-win"), install), 4);
    EXPECT_EQ (countFoldersTakingNoEntries (install, install), 1);
    EXPECT_EQ (countFoldersTakingNoEntries (install, removing), countFoldersTakingNoEntries (install, {})); // not above: up to the root
}
