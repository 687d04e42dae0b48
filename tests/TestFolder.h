// A temporary folder for one test, removed with everything in it when the test ends.
#pragma once

#include <juce_core/juce_core.h>

class TestFolder final
{
public:
    TestFolder()
        // A name no other test process picks at the same moment: ctest runs them side by side.
        : folder (juce::File::getSpecialLocation (juce::File::tempDirectory)
                      .getNonexistentChildFile ("tw_test_" + juce::String::toHexString (juce::Random::getSystemRandom().nextInt()).paddedLeft ('0', 8), ""))
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
