// Places the main component's children on a grid 100 layout units wide, and paints what lies
// between them: the background, the corner dots, the sections and the tabs' captions.
#include "ui/main/MainComponent.h"

#include "ui/main/MainLayout.h"
#include "ui/main/RunTexts.h"
#include "ui/style/Palette.h"

using namespace MainLayout;

namespace
{
    // Each coordinate is rounded on its own, halves to even.
    void place (juce::Component& child, float x, float y, float width, float height)
    {
        child.setBounds (juce::Rectangle<float> (x, y, width, height).toNearestInt());
    }

    void place (juce::Component& child, UnitRect r, float u)
    {
        child.setBounds (r.toPixels (u));
    }

    void drawSingleLine (juce::Graphics& g, const juce::String& text, UnitPoint p, float u)
    {
        // Single-line texts sit on whole pixels, truncated toward zero.
        g.drawSingleLineText (text, (int) (p.x * u), (int) (p.baseline * u), juce::Justification::left);
    }
} // namespace

void MainComponent::resized()
{
    const auto u = (float) getWidth() * 0.01f;
    unit = u;

    header->unit = u;
    header->setBounds (0, 0, getWidth(), (int) std::ceil (headerBottom * u) + 1);

    progressView->unit = u;
    progressView->setBounds (getProgressArea (0, u).getUnion (getProgressArea (numFormats - 1, u)).getSmallestIntegerContainer());

    // The line above the result lines, for the entry's notice, may reach above the result's box.
    resultView->unit = u;
    resultView->setBounds (resultBox.toPixelsUnrounded (u).getUnion (getResultLineArea (-1, numFormats, u)).getSmallestIntegerContainer());

    for (auto* button : faceButtons)
        button->unit = u;

    auto tabX = firstTabX * u;

    for (const auto* name : { "EULA", "MANUAL", "WEBSITE", "SUPPORT" })
    {
        place (getControl (name), tabX, tabRowY * u, tabSize * u, tabSize * u);
        tabX += tabStep * u;
    }

    place (getControl ("INSTALL"), installBounds, u);
    place (getControl ("SELECT_ALL"), selectAllBounds, u);
    place (getControl ("CANCEL"), cancelBounds, u);

    for (size_t i = 0; i < formatRows.size(); ++i)
    {
        formatRows[i]->unit = u;
        place (*formatRows[i], formatRowBounds[i], u);
    }

    juce::Font hintFont (customLookAndFeel.regularTypeface);
    hintFont.setHeight (hintFontHeight * u);

    if (hintLabel->getFont() != hintFont)
        hintLabel->setFont (hintFont);

    place (*hintLabel, hintBounds, u);

    // Over the painted header and the painted result of a run, where screen readers find them.
    place (*productText, headerBox, u);
    place (*outcomeText, resultBox, u);

    for (int i = 0; i < numFormats; ++i)
        if (const auto row = progressView->getRow (i); row >= 0)
            progressReadouts[(size_t) i]->setBounds (getProgressArea (row, u).toNearestInt());

    placeResultLines();

    // An overlay panel covers the whole component (one that has closed itself keeps its size off screen).
    for (auto* panel : { static_cast<OverlayPanel*> (eulaPanel.get()), static_cast<OverlayPanel*> (supportPanel.get()) })
        if (panel != nullptr)
            panel->cover (getLocalBounds(), u);
}

void MainComponent::placeResultLines()
{
    const auto u = unit;
    const auto rows = runReport.outcomes.size();

    for (int i = 0; i < numFormats; ++i)
    {
        const auto row = RunTexts::getResultRow (runReport, i);

        if (row < 0)
            continue;

        // Each installed one with its "Show in folder" at the right of its line.
        const auto line = getResultLineArea (row, rows, u);
        resultLineTexts[(size_t) i]->setBounds (line.toNearestInt());
        place (getControl ("SHOW_" + formatNames[i]), showButtonX * u, line.getCentreY() - showButtonHeight * u * 0.5f,
               showButtonWidth * u, showButtonHeight * u);
    }
}

//==============================================================================
void MainComponent::paint (juce::Graphics& g)
{
    const auto u = unit;
    const auto width = (float) getWidth();
    const auto height = (float) getHeight();

    // Every text is in the regular typeface; each piece sets its heights.
    g.setFont (juce::Font (customLookAndFeel.regularTypeface));
    g.fillAll (Palette::black);

    // The three corner dots.
    g.setColour (Palette::grey.withAlpha (Faces::alphaHalf));
    const auto dot = dotDiameter * u;

    for (const auto corner : { juce::Point<float> (width - 2.0f * u, height - 2.0f * u),
                               juce::Point<float> (width - 2.0f * u, height - 4.0f * u),
                               juce::Point<float> (width - 4.0f * u, height - 2.0f * u) })
        g.fillEllipse (juce::Rectangle<float> (corner.x, corner.y, dot, dot));

    // The two sections with their rules.
    g.setColour (Palette::grey);
    g.setFont (sectionTitleHeight * u);
    drawSingleLine (g, "FORMATS", formatsTitle, u);
    g.fillRect (formatsRule.toPixelsUnrounded (u));

    drawSingleLine (g, "EXTRAS", extrasTitle, u);
    g.fillRect (extrasRule.toPixelsUnrounded (u));

    paintCaptions (g);
}

void MainComponent::paintCaptions (juce::Graphics& g)
{
    // A caption under each tab and INSTALL.
    const auto u = unit;

    for (const auto& control : mainControls)
    {
        if (control.kind != ControlKind::tab && control.kind != ControlKind::install)
            continue;

        const auto caption = control.kind == ControlKind::install ? (uninstallMode ? "UNINSTALL" : "INSTALL") : control.name;
        auto& button = getControl (control.name);
        const auto bounds = button.getBounds().toFloat();

        // After a run INSTALL is gone for good, but its face stays in its place, at rest.
        if (! button.isVisible())
            if (auto* face = dynamic_cast<FaceButton*> (&button))
            {
                const juce::Graphics::ScopedSaveState state (g);
                g.setOrigin (button.getPosition());
                customLookAndFeel.drawFaceButton (g, *face);
            }

        g.setFont (captionHeight * u);
        g.setColour (Palette::grey);
        const auto box = bounds.translated (0.0f, captionDrop * u).withSizeKeepingCentre (captionWidth * u, bounds.getHeight());
        g.drawText (caption, box, juce::Justification::centredBottom, true);
    }
}
