// What the main view shows, read at chosen points of snapshots rendered without a window.
#include "ui/main/SnapshotReading.h"
#include "ui/main/TestLocations.h"
#include "ui/main/MainComponent.h"
#include "ui/style/Palette.h"

#include <gtest/gtest.h>

using snapshot::hasColourAt;
using snapshot::over;

namespace
{
    const auto idleFace = over (Palette::black, Palette::grey.withAlpha ((juce::uint8) 128));
    const auto notInstalledRow = over (Palette::black, Palette::grey.withAlpha ((juce::uint8) 89));
    const auto installedRow = over (Palette::black, Palette::blue.withAlpha ((juce::uint8) 230));
    const auto outdatedRow = over (Palette::black, Palette::yellow.withAlpha ((juce::uint8) 230));
    const auto orange = juce::Colour (255, 170, 0);

    // At the default size (u = 6): points inside each row's face, clear of its text and icon, and
    // outside the box of the success mark.
    const juce::Point<int> vst3RowPoint { 285, 190 };
    const juce::Point<int> clapRowPoint { 567, 190 };
    const juce::Point<int> aaxRowPoint { 86, 300 };

    // The box of the success mark and of the warning picture; the result box it lies in.
    const juce::Rectangle<int> resultIconBox { 96, 240, 408, 84 };
    const juce::Rectangle<int> resultBox { 24, 168, 552, 228 };

    juce::Image snapshotOf (MainComponent& component)
    {
        return component.createComponentSnapshot (component.getLocalBounds(), true, 1.0f);
    }

    juce::Image render (juce::Drawable& drawable)
    {
        juce::Image image (juce::Image::ARGB, 64, 64, true);
        juce::Graphics g (image);
        drawable.drawWithin (g, image.getBounds().toFloat(), juce::RectanglePlacement::centred, 1.0f);
        return image;
    }

    /** Counts the clearly visible pixels of a rendered drawable that are not of the given colour. */
    int countVisibleNotOf (const juce::Image& image, juce::Colour colour)
    {
        int count = 0;

        for (int y = 0; y < image.getHeight(); ++y)
            for (int x = 0; x < image.getWidth(); ++x)
            {
                const auto pixel = image.getPixelAt (x, y);

                if (pixel.getAlpha() >= 128 && ! snapshot::isNear (pixel.withAlpha (1.0f), colour, 8))
                    ++count;
            }

        return count;
    }

    int countVisible (const juce::Image& image)
    {
        int count = 0;

        for (int y = 0; y < image.getHeight(); ++y)
            for (int x = 0; x < image.getWidth(); ++x)
                if (image.getPixelAt (x, y).getAlpha() >= 128)
                    ++count;

        return count;
    }

    RunReport failedReport()
    {
        RunReport report;
        report.outcomes.add ({ 0, false, "disk full", {}, false });
        report.outcomes.add ({ 1, true, {}, {}, false });
        report.outcomes.add ({ 2, false, "access denied", {}, false });
        return report;
    }
} // namespace

class MainComponentPaintTest : public TestLocationsFixture
{
protected:
    void installClapFile()
    {
        ASSERT_TRUE ((folder / "Common Files/CLAP").createDirectory().wasOk());
        ASSERT_TRUE (juce::File (TW_PE_MODULES_DIR).getChildFile ("module-4.0.2.0.dll").copyFileTo (folder / "Common Files/CLAP/Morvane4.clap"));
    }

    /** A VST3 bundle whose module carries file version 4.0.1.0. */
    void installOutdatedVst3()
    {
        const auto module = folder / "Common Files/VST3/Morvane4.vst3/Contents/x86_64-win/Morvane4.vst3";
        ASSERT_TRUE (module.getParentDirectory().createDirectory());
        const auto outdated = juce::File (TW_PE_MODULES_DIR).getChildFile ("module-4.0.1.0.dll");
        ASSERT_TRUE (outdated.copyFileTo (module)) << outdated.getFullPathName();
    }
};

TEST_F (MainComponentPaintTest, drawsTheTopBarCornerDotsAndIdleButtonFaces)
{
    MainComponent component (locations);
    const auto image = snapshotOf (component);

    EXPECT_TRUE (hasColourAt (image, 300, 2, Palette::blue));
    EXPECT_TRUE (hasColourAt (image, 300, 8, Palette::black)) << "the bar is one unit high";

    // Dots of diameter u at (W - 2u, H - 2u), (W - 2u, H - 4u), (W - 4u, H - 2u).
    EXPECT_TRUE (hasColourAt (image, 591, 591, idleFace));
    EXPECT_TRUE (hasColourAt (image, 591, 579, idleFace));
    EXPECT_TRUE (hasColourAt (image, 579, 591, idleFace));
    EXPECT_TRUE (hasColourAt (image, 579, 579, Palette::black)) << "no fourth dot";

    for (const auto x : { 24, 93, 162, 231 })
        EXPECT_TRUE (hasColourAt (image, x + 6, 447, idleFace)) << "tab at x " << x;

    EXPECT_TRUE (hasColourAt (image, 522, 447, idleFace)) << "INSTALL";
    EXPECT_TRUE (hasColourAt (image, 466, 136, over (Palette::black, Palette::grey.withAlpha ((juce::uint8) 26))))
        << "SELECT ALL";

    // The section rules, 0.25u thick at 27.5u and 71.5u.
    EXPECT_TRUE (hasColourAt (image, 300, 165, Palette::grey));
    EXPECT_TRUE (hasColourAt (image, 300, 429, Palette::grey));
}

TEST_F (MainComponentPaintTest, drawsTabIconsInThePanelColourOnTheirFaces)
{
    MainComponent component (locations);
    const auto image = snapshotOf (component);

    for (const auto x : { 24, 93, 162, 231, 516 })
    {
        const auto iconArea = juce::Rectangle<int> (x + 9, 450, 42, 42);
        EXPECT_GT (snapshot::countNear (image, iconArea, Palette::panel), 20) << "button at x " << x;
    }
}

TEST_F (MainComponentPaintTest, drawsEachRowByItsInstalledStateAndSelection)
{
    installClapFile();
    MainComponent component (locations);
    ASSERT_TRUE (component.getSelection()[1]) << "a present bundle begins selected";

    component.setSelection ({ false, false, false });
    auto image = snapshotOf (component);

    EXPECT_TRUE (hasColourAt (image, vst3RowPoint.x, vst3RowPoint.y, notInstalledRow));
    EXPECT_TRUE (hasColourAt (image, clapRowPoint.x, clapRowPoint.y, installedRow));
    EXPECT_TRUE (hasColourAt (image, aaxRowPoint.x, aaxRowPoint.y, notInstalledRow));
    EXPECT_TRUE (hasColourAt (image, 24, 282, notInstalledRow)) << "no outline on an unselected row";
    EXPECT_TRUE (hasColourAt (image, 23, 282, Palette::black));

    // A selected row keeps its face and gets a yellow outline 0.5u thick, centred on its edge.
    component.setSelection ({ false, false, true });
    image = snapshotOf (component);

    EXPECT_TRUE (hasColourAt (image, aaxRowPoint.x, aaxRowPoint.y, notInstalledRow));
    EXPECT_TRUE (hasColourAt (image, 23, 282, Palette::yellow));
    EXPECT_TRUE (hasColourAt (image, 24, 282, Palette::yellow));
    EXPECT_TRUE (hasColourAt (image, 150, 252, Palette::yellow)) << "top edge";
    EXPECT_TRUE (hasColourAt (image, 21, 282, Palette::black)) << "the outline reaches 1.5 pixels out";
    EXPECT_TRUE (hasColourAt (image, 27, 282, notInstalledRow)) << "and 1.5 pixels in";
}

TEST_F (MainComponentPaintTest, drawsAnOutdatedRowYellow)
{
    installOutdatedVst3();
    MainComponent component (locations);

    const auto status = component.getShownStatus (0);
    EXPECT_EQ (status.statusText, "v4.0.1.0 NEEDS UPDATE");

    component.setSelection ({ false, false, false });
    const auto image = snapshotOf (component);

    EXPECT_TRUE (hasColourAt (image, vst3RowPoint.x, vst3RowPoint.y, outdatedRow));
    EXPECT_TRUE (hasColourAt (image, clapRowPoint.x, clapRowPoint.y, notInstalledRow));
}

TEST_F (MainComponentPaintTest, writesTheRowTextsInBlackInsideTheTextBox)
{
    installClapFile();
    MainComponent component (locations);
    component.setSelection ({ false, false, false });
    const auto image = snapshotOf (component);

    // CLAP row (306, 180, 270, 60): its text box starts 1.5u in and 10u right of the row's left edge.
    const auto nameBand = juce::Rectangle<int> (375, 189, 200, 21);
    const auto statusBand = juce::Rectangle<int> (375, 213, 200, 18);

    EXPECT_GT (snapshot::countNear (image, nameBand, Palette::black, 40), 10);
    EXPECT_GT (snapshot::countNear (image, statusBand, Palette::black, 40), 10);
    // Between the icon's box (312, 186, 48, 48) and the text box nothing is written.
    EXPECT_EQ (snapshot::countNear (image, { 361, 180, 14, 60 }, Palette::black, 40), 0);
}

TEST_F (MainComponentPaintTest, holdingShiftChangesOnlyTheInstallCaption)
{
    MainComponent component (locations);
    const auto before = snapshotOf (component);

    component.setUninstallMode (true);
    const auto after = snapshotOf (component);

    juce::Rectangle<int> changed;

    for (int y = 0; y < before.getHeight(); ++y)
        for (int x = 0; x < before.getWidth(); ++x)
            if (before.getPixelAt (x, y) != after.getPixelAt (x, y))
                changed = changed.isEmpty() ? juce::Rectangle<int> (x, y, 1, 1)
                                            : changed.getUnion ({ x, y, 1, 1 });

    ASSERT_FALSE (changed.isEmpty());
    // The caption stands under INSTALL (516, 441, 60, 60), centred, in a box 14u wide.
    EXPECT_TRUE (juce::Rectangle<int> (504, 462, 84, 60).contains (changed)) << changed.toString();
    EXPECT_GT (changed.getY(), 501) << "under the button";
    EXPECT_NEAR (changed.getCentreX(), 546, 2);
    EXPECT_GT (changed.getWidth(), 60) << "UNINSTALL, wider than the button, is not shortened";
}

TEST_F (MainComponentPaintTest, showsTheGreenMarkAndNoRowsAfterASuccessfulRun)
{
    installClapFile();
    MainComponent component (locations);

    RunReport report;
    report.outcomes.add ({ 1, true, {}, {}, false });
    component.finishRun (report);
    const auto image = snapshotOf (component);

    EXPECT_GT (snapshot::countNear (image, resultIconBox, Palette::green), 200);
    EXPECT_EQ (snapshot::countNear (image, resultIconBox, orange, 10), 0);
    EXPECT_GT (snapshot::countNear (image, resultBox.withTop (336), Palette::white, 10), 50) << "SUCCESS!";

    EXPECT_TRUE (hasColourAt (image, vst3RowPoint.x, vst3RowPoint.y, Palette::black));
    EXPECT_TRUE (hasColourAt (image, clapRowPoint.x, clapRowPoint.y, Palette::black));
    EXPECT_TRUE (hasColourAt (image, aaxRowPoint.x, aaxRowPoint.y, Palette::black));
    EXPECT_TRUE (hasColourAt (image, 466, 136, Palette::black)) << "no SELECT ALL";

    // The tabs and INSTALL keep their faces.
    EXPECT_TRUE (hasColourAt (image, 30, 447, idleFace));
    EXPECT_TRUE (hasColourAt (image, 522, 447, idleFace));
}

TEST_F (MainComponentPaintTest, showsTheWarningPictureAndFailureLinesAfterAFailedRun)
{
    MainComponent component (locations);
    component.finishRun (failedReport());
    const auto image = snapshotOf (component);

    EXPECT_GT (snapshot::countNear (image, resultIconBox, orange, 10), 200);
    EXPECT_EQ (snapshot::countNear (image, resultBox, Palette::green, 10), 0) << "no success mark";
    EXPECT_GT (snapshot::countNear (image, resultBox.withTop (336), Palette::white, 10), 50) << "FAILED!";

    // Two failure lines in grey, in the band between the section rule and the picture.
    const auto linesBand = juce::Rectangle<int> (24, 168, 552, 72);
    EXPECT_GT (snapshot::countNear (image, linesBand, Palette::grey, 10), 50);
    EXPECT_EQ (snapshot::countNear (image, resultIconBox.withTrimmedTop (2), Palette::grey, 10), 0)
        << "no line reaches into the picture's box";

    EXPECT_TRUE (hasColourAt (image, vst3RowPoint.x, vst3RowPoint.y, Palette::black));
    EXPECT_TRUE (hasColourAt (image, 466, 136, Palette::black)) << "no SELECT ALL";
}

TEST_F (MainComponentPaintTest, aFourthLineForTheOtherCopiesRunsOnBelowTheBandAndThePictureMakesRoom)
{
    MainComponent component (locations);
    auto report = failedReport();
    report.outcomes.getReference (1).otherCopies.add ({ 1, folder / "elsewhere/Morvane4.clap", "4.0.1.0" });
    component.finishRun (report);
    const auto image = snapshotOf (component);

    // At u = 6 the band ends at 238.8 and a line is 21.6 high: the fourth line is 238.8 to 260.4.
    const juce::Rectangle<int> fourthLine { 24, 241, 420, 18 };
    EXPECT_GT (snapshot::countNear (image, fourthLine, Palette::grey, 10), 20) << "the other copies' line";
    EXPECT_EQ (snapshot::countNear (image, resultIconBox.withHeight (21), orange, 10), 0) << "the picture starts below it";
    EXPECT_GT (snapshot::countNear (image, resultIconBox.withTrimmedTop (22), orange, 10), 200);

    const auto& show = component.getControl ("SHOW_COPIES");
    EXPECT_TRUE (show.isVisible());
    EXPECT_EQ (show.getBounds().getCentreY(), 250);
}

TEST_F (MainComponentPaintTest, leavesTheInstallIconInItsColourAfterTheGreenSuccessMark)
{
    MainComponent component (locations);
    const auto* install = dynamic_cast<FaceButton*> (&component.getControl ("INSTALL"));
    ASSERT_TRUE (install != nullptr && install->icon != nullptr);

    snapshotOf (component);
    component.finishRun ({});
    snapshotOf (component);

    const auto installIcon = render (*install->icon);
    EXPECT_GT (countVisible (installIcon), 50);
    EXPECT_EQ (countVisibleNotOf (installIcon, Palette::panel), 0) << "the install icon keeps the panel colour";
}

TEST_F (MainComponentPaintTest, scalesTheTopBarAndCornerDotsWithTheWidth)
{
    installClapFile();
    MainComponent component (locations);

    for (const auto width : { 128, 300, 650, 1000 })
    {
        component.setSize (width, width);
        const auto image = snapshotOf (component);
        const auto u = component.getUnit();

        EXPECT_TRUE (hasColourAt (image, width / 2, 0, Palette::blue)) << width;
        EXPECT_TRUE (hasColourAt (image, width / 2, (int) u + 1, Palette::black)) << width;

        // At the smallest size a dot covers no whole pixel.
        if (u >= 3.0f)
        {
            EXPECT_TRUE (hasColourAt (image, (int) (width - 1.5f * u), (int) (width - 1.5f * u), idleFace)) << width;
        }
    }
}
