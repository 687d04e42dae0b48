// Draws the main view: header, sections, the faces of the transparent buttons, the format rows and
// the view shown after a run.
#include "ui/main/MainComponent.h"

#include "ui/style/Drawing.h"
#include "ui/style/Palette.h"

namespace
{
    struct UnitPoint
    {
        float x, baseline;
    };

    // Geometry and font heights, in layout units (one hundredth of the component's width).
    constexpr float topBarHeight = 1.0f;
    constexpr float dotDiameter = 1.0f;
    constexpr UnitRect headerBox { 4.0f, 8.0f, 0.0f, 12.0f }; // its width is the component's width
    constexpr float titleHeight = 9.0f;
    constexpr float versionLineHeight = 4.0f;
    constexpr UnitRect logoBox { 4.0f, 2.5f, 26.7f, 3.7f };
    constexpr UnitPoint productLine { 75.0f, 4.0f };
    constexpr float productLineHeight = 3.0f;
    constexpr UnitPoint applicationVersionLine { 75.0f, 6.0f };
    constexpr float applicationVersionHeight = 2.0f;
    constexpr float sectionTitleHeight = 4.0f;
    constexpr UnitPoint formatsTitle { 4.0f, 26.0f };
    constexpr UnitRect formatsRule { 4.0f, 27.5f, 92.0f, 0.25f };
    constexpr UnitPoint extrasTitle { 4.0f, 70.0f };
    constexpr UnitRect extrasRule { 4.0f, 71.5f, 92.0f, 0.25f };
    constexpr float cornerSize = 1.0f;
    constexpr float captionHeight = 2.5f;
    constexpr float captionDrop = 3.5f;
    // A caption is centred under its button in a box wider than the button, so that "UNINSTALL"
    // is not cut short; the captions of neighbouring tabs are far narrower than the tab step.
    constexpr float captionWidth = 14.0f;
    constexpr float tabIconInset = 2.0f;
    constexpr float installIconInset = 1.5f;
    constexpr UnitRect resultBox { 4.0f, 28.0f, 92.0f, 38.0f };
    constexpr float resultIconInset = 12.0f;
    constexpr float resultTextHeight = 8.0f;
    constexpr float selectAllTextHeight = 3.0f;
    constexpr float selectionThickness = 0.5f;
    constexpr float rowTextInset = 1.5f;
    constexpr float rowIconWidth = 10.0f;
    constexpr float rowIconInset = 1.0f;
    constexpr float formatNameHeight = 3.5f;
    constexpr float statusHeight = 3.0f;

    // The result lines (placed by the layout) and their "Show in folder" buttons.
    constexpr float resultLineHeight = 2.5f;
    constexpr float resultLineMinimumScale = 0.8f; // squeezed this far before the end gives way to an ellipsis
    constexpr float showButtonTextHeight = 2.0f;

    // A run's progress rows: the format and what it is doing above its bar.
    constexpr float progressTextHeight = 3.0f;
    constexpr float progressTextBandHeight = 4.5f;
    constexpr float progressBarHeight = 2.0f;
    constexpr float progressBarOffset = 5.5f;
    constexpr float cancelTextHeight = 3.0f;

    // Alphas of the palette colours.
    constexpr auto alphaHalf = Faces::alphaHalf;
    constexpr juce::uint8 alphaIdleRow = 89;
    constexpr juce::uint8 alphaFaint = 26;
    constexpr juce::uint8 alphaStateRow = 230;

    void drawSingleLine (juce::Graphics& g, const juce::String& text, UnitPoint p, float u)
    {
        // Single-line texts sit on whole pixels, truncated toward zero.
        g.drawSingleLineText (text, (int) (p.x * u), (int) (p.baseline * u), juce::Justification::left);
    }

    juce::Colour getRowColour (InstallState state, bool hovered)
    {
        switch (state)
        {
            case InstallState::Installed:
                return hovered ? Palette::blue : Palette::blue.withAlpha (alphaStateRow);
            case InstallState::NeedsUpdate:
                return hovered ? Palette::yellow : Palette::yellow.withAlpha (alphaStateRow);
            case InstallState::NotInstalled:
                break;
        }

        return Palette::grey.withAlpha (hovered ? alphaHalf : alphaIdleRow);
    }

    void drawIcon (juce::Graphics& g, juce::Drawable* icon, juce::Rectangle<float> area)
    {
        if (icon != nullptr)
            icon->drawWithin (g, area, juce::RectanglePlacement::centred, 1.0f);
    }
} // namespace

void MainComponent::paint (juce::Graphics& g)
{
    // Every text is in the regular typeface; each piece sets its heights.
    g.setFont (juce::Font (customLookAndFeel.regularTypeface));

    paintHeader (g);
    paintSections (g);
    paintTabFaces (g);

    // After a run: the result in place of the format rows, and nothing more; while one works, its
    // progress.
    if (runFinished)
        paintResult (g);
    else if (isRunWorking())
        paintProgress (g);
    else
        paintFormatRows (g);
}

void MainComponent::paintHeader (juce::Graphics& g)
{
    const auto u = unit;
    const auto width = (float) getWidth();
    const auto height = (float) getHeight();

    // Background, top bar and the three corner dots.
    g.fillAll (Palette::black);

    g.setColour (Palette::blue);
    g.fillRect (juce::Rectangle<float> (0.0f, 0.0f, 100.0f * u, topBarHeight * u));

    g.setColour (Palette::grey.withAlpha (alphaHalf));
    const auto dot = dotDiameter * u;

    for (const auto corner : { juce::Point<float> (width - 2.0f * u, height - 2.0f * u),
                               juce::Point<float> (width - 2.0f * u, height - 4.0f * u),
                               juce::Point<float> (width - 4.0f * u, height - 2.0f * u) })
        g.fillEllipse (juce::Rectangle<float> (corner.x, corner.y, dot, dot));

    // Title, version line, logo, product line and the application's version.
    auto header = headerBox.toPixelsUnrounded (u);
    header.setWidth (width);

    g.setColour (Palette::grey);
    g.setFont (titleHeight * u);
    g.drawText (productName.toUpperCase(), header, juce::Justification::topLeft, true);

    g.setColour (Palette::grey.withAlpha (alphaHalf));
    g.setFont (versionLineHeight * u);
    g.drawText ("Version " + productVersion + platformSuffix, header, juce::Justification::bottomLeft, true);

    if (logo != nullptr)
    {
        // The logo is drawn white on the dark header and keeps its black between paints.
        logo->replaceColour (juce::Colours::black, Palette::white);
        logo->drawWithin (g, logoBox.toPixelsUnrounded (u), juce::RectanglePlacement::xLeft | juce::RectanglePlacement::yMid, 1.0f);
        logo->replaceColour (Palette::white, juce::Colours::black);
    }

    g.setColour (Palette::grey.withAlpha (alphaHalf));
    g.setFont (productLineHeight * u);
    drawSingleLine (g, "PLUGIN MANAGER", productLine, u);

    g.setFont (applicationVersionHeight * u);
    drawSingleLine (g, juce::String ("v") + applicationVersion, applicationVersionLine, u);
}

void MainComponent::paintSections (juce::Graphics& g)
{
    // The two sections with their rules.
    const auto u = unit;

    g.setColour (Palette::grey);
    g.setFont (sectionTitleHeight * u);
    drawSingleLine (g, "FORMATS", formatsTitle, u);
    g.fillRect (formatsRule.toPixelsUnrounded (u));

    drawSingleLine (g, "EXTRAS", extrasTitle, u);
    g.fillRect (extrasRule.toPixelsUnrounded (u));
}

void MainComponent::paintTabFaces (juce::Graphics& g)
{
    // Tabs and INSTALL: face, icon and a caption under the button.
    const auto u = unit;

    g.setFont (captionHeight * u);

    const auto drawCaption = [&g, u] (const juce::String& caption, juce::Rectangle<float> bounds)
    {
        const auto box = bounds.translated (0.0f, captionDrop * u)
                             .withSizeKeepingCentre (captionWidth * u, bounds.getHeight());
        g.setColour (Palette::grey);
        g.drawText (caption, box, juce::Justification::centredBottom, true);
    };

    for (const auto& control : mainControls)
    {
        if (control.kind != ControlKind::tab && control.kind != ControlKind::install)
            continue;

        const auto& button = *getButtonHolder (control);
        const auto bounds = button.getBounds().toFloat();
        const auto isInstall = control.kind == ControlKind::install;

        g.setColour (Faces::getFaceColour (button));
        g.fillRoundedRectangle (bounds, cornerSize * u);
        drawIcon (g, getIconHolder (control).get(), bounds.reduced ((isInstall ? installIconInset : tabIconInset) * u));
        drawCaption (isInstall ? (uninstallMode ? "UNINSTALL" : "INSTALL") : control.name, bounds);
    }
}

void MainComponent::paintResult (juce::Graphics& g)
{
    const auto u = unit;

    const auto box = resultBox.toPixelsUnrounded (u);
    const auto iconBox = box.reduced (resultIconInset * u);
    const auto succeeded = runReport.allSucceeded();

    if (succeeded)
    {
        if (auto* mark = buttonIcons.back().get())
        {
            mark->replaceColour (Palette::panel, Palette::green);
            mark->drawWithin (g, iconBox, juce::RectanglePlacement::centred, 1.0f);
            mark->replaceColour (Palette::green, Palette::panel);
        }
    }
    else
    {
        drawIcon (g, warningIcon.get(), iconBox);
    }

    // One line per format the run touched, as the command line prints it, fitted to its width;
    // above them, what went wrong with the entry in Installed apps.
    g.setColour (Palette::grey);
    g.setFont (resultLineHeight * u);

    for (int row = entryNotice.isNotEmpty() ? -1 : 0; row < juce::jmin (runReport.outcomes.size(), numFormats); ++row)
        g.drawFittedText (row < 0 ? entryNotice : getResultLine (runReport.outcomes.getReference (row).formatIndex),
                          getResultLineArea (row).toNearestInt(), juce::Justification::centredLeft, 1, resultLineMinimumScale);

    for (const auto& button : showInFolderButtons)
    {
        if (! button->isVisible())
            continue;

        const auto bounds = button->getBounds().toFloat();
        g.setColour (Faces::getFaceColour (*button));
        g.fillRoundedRectangle (bounds, cornerSize * u);
        g.setColour (Palette::panel);
        g.setFont (showButtonTextHeight * u);
        g.drawText ("Show in folder", bounds, juce::Justification::centred, true);
    }

    g.setFont (juce::Font (customLookAndFeel.regularTypeface));
    g.setFont (resultTextHeight * u);
    g.setColour (Palette::white);
    g.drawText (succeeded ? "SUCCESS!" : "FAILED!", box, juce::Justification::centredBottom, true);
}

void MainComponent::paintFormatRows (juce::Graphics& g)
{
    const auto u = unit;

    // SELECT ALL.
    const auto selectAllBounds = selectAllButton->getBounds().toFloat();
    const auto selectAllPressed = selectAllButton->isMouseButtonDown();

    g.setColour (selectAllPressed ? Palette::green : Palette::grey.withAlpha (alphaFaint));
    g.fillRoundedRectangle (selectAllBounds, cornerSize * u);
    g.setColour (selectAllPressed ? Palette::panel : Palette::grey);
    g.setFont (selectAllTextHeight * u);
    g.drawText ("SELECT ALL", selectAllBounds, juce::Justification::centred, true);

    // The format rows, each with its state read from disk now.
    for (int i = 0; i < numFormats; ++i)
    {
        const auto index = (size_t) i;
        const auto& button = *formatButtons[index];
        const auto bounds = button.getBounds().toFloat();
        const auto status = detectInstallState (i);

        g.setColour (getRowColour (status.state, button.isMouseOver()));
        g.fillRoundedRectangle (bounds, cornerSize * u);

        if (selected[index])
        {
            g.setColour (Palette::yellow);
            g.drawRoundedRectangle (bounds, cornerSize * u, selectionThickness * u);
        }

        // Right of the icon and inside the face, so that a long status is shortened rather than
        // running over the next row.
        const auto textBox = bounds.reduced (rowTextInset * u).withTrimmedLeft (rowIconWidth * u);

        g.setColour (Palette::black);
        g.setFont (formatNameHeight * u);
        g.drawText (formatNames[i], textBox, juce::Justification::topLeft, true);

        g.setFont (statusHeight * u);
        g.drawText (status.statusText, textBox, juce::Justification::bottomLeft, true);

        drawIcon (g, formatIcons[index].get(), bounds.withWidth (rowIconWidth * u).reduced (rowIconInset * u));
    }
}

void MainComponent::paintProgress (juce::Graphics& g)
{
    const auto u = unit;

    // Each format the run works on: its name and what it is doing, then how far it is.
    for (int i = 0; i < numFormats; ++i)
    {
        const auto row = getProgressRow (i);

        if (row < 0)
            continue;

        const auto area = getProgressArea (row);
        const auto textBand = area.withHeight (progressTextBandHeight * u);
        const auto bar = area.withY (area.getY() + progressBarOffset * u).withHeight (progressBarHeight * u);

        g.setFont (progressTextHeight * u);
        g.setColour (Palette::white);
        g.drawText (formatNames[i], textBand, juce::Justification::centredLeft, true);
        g.setColour (Palette::grey);
        g.drawText (getProgressText (i), textBand, juce::Justification::centredRight, true);

        g.setColour (Palette::grey.withAlpha (alphaFaint));
        g.fillRoundedRectangle (bar, bar.getHeight() * 0.5f);

        if (const auto fraction = (float) getProgressFraction (i); fraction > 0.0f)
        {
            g.setColour (Palette::green);
            g.fillRoundedRectangle (bar.withWidth (juce::jmax (bar.getHeight(), bar.getWidth() * fraction)), bar.getHeight() * 0.5f);
        }
    }

    // Cancel, faint like SELECT ALL until it is pressed; greyed out once pressed for good.
    const auto bounds = cancelButton->getBounds().toFloat();
    const auto pressed = cancelButton->isMouseButtonDown();
    const auto enabled = cancelButton->isEnabled();

    g.setColour (pressed ? Palette::green : Palette::grey.withAlpha (cancelButton->isMouseOver() && enabled ? alphaIdleRow : alphaFaint));
    g.fillRoundedRectangle (bounds, cornerSize * u);
    g.setColour (pressed ? Palette::panel : Palette::grey.withAlpha (enabled ? (juce::uint8) 255 : alphaHalf));
    g.setFont (cancelTextHeight * u);
    g.drawText ("CANCEL", bounds, juce::Justification::centred, true);
}
