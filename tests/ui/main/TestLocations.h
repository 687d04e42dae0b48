// System locations that point into a test's temporary folder.
#pragma once

#include "TestFolder.h"
#include "engine/Catalogue.h"

#include <gtest/gtest.h>

inline SystemLocations makeTestLocations (const TestFolder& folder)
{
    SystemLocations locations;
    locations.defaultInstallFolders = { folder / "Common Files/VST3",
                                        folder / "Common Files/CLAP",
                                        folder / "Common Files/Avid/Audio/Plug-Ins" };
    locations.commonApplicationData = folder / "ProgramData";
    locations.temporaryFolder = folder / "Temp";
    return locations;
}

/** A fixture whose components work in their own temporary folders, removed after each test. */
class TestLocationsFixture : public testing::Test
{
protected:
    TestFolder folder;
    SystemLocations locations = makeTestLocations (folder);
};
