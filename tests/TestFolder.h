// A temporary folder for one test, removed with everything in it when the test ends.
#pragma once

#include <juce_core/juce_core.h>

class TestFolder final
{
public:
    TestFolder()
        : folder (juce::File::getSpecialLocation (juce::File::tempDirectory)
                      .getNonexistentChildFile ("tw_installer_test", ""))
    {
        folder.createDirectory();
    }

    ~TestFolder() { folder.deleteRecursively(); }

    juce::File operator/ (const juce::String& relativePath) const { return folder.getChildFile (relativePath); }
    const juce::File& get() const { return folder; }

private:
    juce::File folder;

    JUCE_DECLARE_NON_COPYABLE (TestFolder)
};
