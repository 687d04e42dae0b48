#include "ui/main/TestLocations.h"
#include "ui/main/MainComponent.h"
#include "ui/main/MessagePump.h"

#include <gtest/gtest.h>

namespace
{
    juce::Rectangle<int> boundsOf (const juce::Component& part) { return part.getBounds(); }
} // namespace

class MainComponentTest : public TestLocationsFixture
{
};

TEST_F (MainComponentTest, startsAt600WithUnit6AndTheVersionInTheHintLine)
{
    MainComponent component (locations);

    EXPECT_EQ (component.getWidth(), 600);
    EXPECT_EQ (component.getHeight(), 600);
    EXPECT_FLOAT_EQ (component.getUnit(), 6.0f);
    EXPECT_EQ (component.getHintLine().getText(), "1.1.0");
    EXPECT_EQ (component.getSession().getSetup().productName, "Morvane4");
    EXPECT_EQ (component.getSession().getSetup().productVersion, "4.0.2");
    EXPECT_FALSE (component.isUninstallMode());
    EXPECT_FALSE (component.isRunFinished());
    EXPECT_EQ (component.getSession().getSetup().settingsFolder, folder / "ProgramData/Tarnwick");
}

TEST_F (MainComponentTest, hasItsNamedControlsInZOrder)
{
    MainComponent component (locations);

    juce::StringArray shown, hidden;

    for (auto* child : component.getChildren())
        if (auto* button = dynamic_cast<juce::TextButton*> (child))
        {
            (button->isVisible() ? shown : hidden).add (button->getName());
            EXPECT_NE (dynamic_cast<TransparentButton*> (button), nullptr) << "read and pressed as a button";
        }

    EXPECT_EQ (shown.joinIntoString (" "), "EULA MANUAL WEBSITE SUPPORT VST3 CLAP AAX INSTALL SELECT_ALL");
    // The run's Cancel and the result view's buttons come with their views.
    EXPECT_EQ (hidden.joinIntoString (" "), "CANCEL SHOW_VST3 SHOW_CLAP SHOW_AAX RETRY_VST3 RETRY_CLAP RETRY_AAX SHOW_COPIES");
    EXPECT_EQ (component.getChildren().getLast(), &component.getHintLine());
}

TEST_F (MainComponentTest, preselectsExactlyTheFormatsWhoseBundleIsPresent)
{
    {
        MainComponent component (locations);
        EXPECT_FALSE (component.getSelection()[0] || component.getSelection()[1] || component.getSelection()[2]);
    }

    // A VST3 bundle folder and a CLAP file; AAX absent.
    (folder / "Common Files/VST3/Morvane4.vst3").createDirectory();
    (folder / "Common Files/CLAP/Morvane4.clap").create();

    MainComponent component (locations);
    EXPECT_TRUE (component.getSelection()[0]);
    EXPECT_TRUE (component.getSelection()[1]);
    EXPECT_FALSE (component.getSelection()[2]);
}

TEST_F (MainComponentTest, putsBackABundleAnInterruptedUpdateMovedAsideBeforePreselecting)
{
    const auto vst3 = folder / "Common Files/VST3";
    ASSERT_TRUE (vst3.getChildFile (".Morvane4.vst3.old-0badf00d/desktop.ini").create().wasOk());
    ASSERT_TRUE (vst3.getChildFile (".Morvane4.vst3.staging-12345678/Morvane4.vst3/desktop.ini").create().wasOk());

    MainComponent component (locations);

    EXPECT_TRUE (vst3.getChildFile ("Morvane4.vst3/desktop.ini").existsAsFile());
    EXPECT_EQ (vst3.getNumberOfChildFiles (juce::File::findFilesAndDirectories), 1);
    EXPECT_TRUE (component.getSelection()[0]);
}

TEST_F (MainComponentTest, removesALeftoverScriptFileButNotAFolderOfThatName)
{
    const auto script = folder / "Temp/script.sh";

    script.create();
    std::make_unique<MainComponent> (locations).reset();
    EXPECT_FALSE (script.exists());

    script.createDirectory();
    std::make_unique<MainComponent> (locations).reset();
    EXPECT_TRUE (script.isDirectory());
}

TEST_F (MainComponentTest, tellsAnIgnoredSettingsFileOnTheHintLineAloudAndInTheSupportPanel)
{
    ASSERT_TRUE ((folder / "ProgramData/Tarnwick/PluginManagerSettings.txt").createDirectory().wasOk());
    MainComponent component (locations);
    juce::StringArray heard;
    component.setAnnouncer ([&heard] (const juce::String& text) { heard.add (text); });
    const juce::String sentence ("Settings file ignored: it is not a plain file.");

    EXPECT_EQ (component.getHintLine().getText(), sentence);
    EXPECT_TRUE (dispatchMessagesUntil ([&heard] { return ! heard.isEmpty(); }));
    EXPECT_EQ (heard, juce::StringArray (sentence));

    component.buttonClicked (&component.getControl ("SUPPORT"));
    ASSERT_NE (component.getSupportPanel(), nullptr);
    EXPECT_TRUE (component.getSupportPanel()->getAboutText().endsWith ("\n" + sentence));
}

struct GridCase
{
    int width;
    std::array<int, 4> tabX;
    int tabY, tabSize;
};

class MainComponentGridTest : public MainComponentTest, public testing::WithParamInterface<GridCase>
{
};

TEST_P (MainComponentGridTest, placesTheTabsOnTheGridRoundingHalvesToEven)
{
    const auto& expected = GetParam();
    MainComponent component (locations);
    component.setSize (expected.width, expected.width);

    for (size_t k = 0; k < 4; ++k)
        EXPECT_EQ (boundsOf (component.getControl (mainControls[k].name)),
                   juce::Rectangle<int> (expected.tabX[k], expected.tabY, expected.tabSize, expected.tabSize))
            << "tab " << k;
}

INSTANTIATE_TEST_SUITE_P (Widths, MainComponentGridTest,
                          testing::Values (GridCase { 600, { 24, 93, 162, 231 }, 441, 60 },
                                           GridCase { 300, { 12, 46, 81, 116 }, 220, 30 },
                                           GridCase { 650, { 26, 101, 176, 250 }, 478, 65 },
                                           GridCase { 1000, { 40, 155, 270, 385 }, 735, 100 },
                                           GridCase { 128, { 5, 20, 35, 49 }, 94, 13 }),
                          [] (const testing::TestParamInfo<GridCase>& gridCase) { return "width" + std::to_string (gridCase.param.width); });

TEST_F (MainComponentTest, placesTheOtherChildrenAtTheDefaultAndSmallestSizes)
{
    MainComponent component (locations);

    EXPECT_EQ (boundsOf (component.getControl ("INSTALL")), juce::Rectangle<int> (516, 441, 60, 60));
    EXPECT_EQ (boundsOf (component.getControl ("SELECT_ALL")), juce::Rectangle<int> (462, 132, 114, 30));
    EXPECT_EQ (boundsOf (component.getControl (formatNames[0])), juce::Rectangle<int> (24, 180, 270, 60));
    EXPECT_EQ (boundsOf (component.getControl (formatNames[1])), juce::Rectangle<int> (306, 180, 270, 60));
    EXPECT_EQ (boundsOf (component.getControl (formatNames[2])), juce::Rectangle<int> (24, 252, 270, 60));
    EXPECT_EQ (component.getHintLine().getBounds(), juce::Rectangle<int> (24, 540, 552, 18));
    EXPECT_FLOAT_EQ (component.getHintLine().getFont().getHeight(), 18.0f);

    component.setSize (128, 128);
    EXPECT_FLOAT_EQ (component.getUnit(), 1.28f);
    EXPECT_EQ (boundsOf (component.getControl ("INSTALL")), juce::Rectangle<int> (110, 94, 13, 13));
    EXPECT_EQ (boundsOf (component.getControl ("SELECT_ALL")), juce::Rectangle<int> (99, 28, 24, 6));
    EXPECT_EQ (boundsOf (component.getControl (formatNames[0])), juce::Rectangle<int> (5, 38, 58, 13));
    EXPECT_EQ (boundsOf (component.getControl (formatNames[1])), juce::Rectangle<int> (65, 38, 58, 13));
    EXPECT_EQ (boundsOf (component.getControl (formatNames[2])), juce::Rectangle<int> (5, 54, 58, 13));
    EXPECT_EQ (component.getHintLine().getBounds(), juce::Rectangle<int> (5, 115, 118, 4));
    EXPECT_NEAR (component.getHintLine().getFont().getHeight(), 3.84f, 1.0e-4f);
}
