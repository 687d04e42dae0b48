// Places the main component's children on a grid 100 layout units wide.
#include "ui/main/MainComponent.h"

#include "ui/style/Drawing.h"

namespace
{
    // In layout units (one hundredth of the component's width).
    constexpr float firstTabX = 4.0f;
    constexpr float tabStep = 11.5f;
    constexpr float tabRowY = 73.5f;
    constexpr float tabSize = 10.0f;
    constexpr UnitRect installBounds { 86.0f, 73.5f, 10.0f, 10.0f };
    constexpr UnitRect selectAllBounds { 77.0f, 22.0f, 19.0f, 5.0f };
    constexpr std::array<UnitRect, numFormats> formatRowBounds { { { 4.0f, 30.0f, 45.0f, 10.0f },
                                                                   { 51.0f, 30.0f, 45.0f, 10.0f },
                                                                   { 4.0f, 42.0f, 45.0f, 10.0f } } };
    constexpr UnitRect hintBounds { 4.0f, 90.0f, 92.0f, 3.0f };
    // Over the painted header and the painted result of a run, where screen readers find them.
    constexpr UnitRect productTextBounds { 4.0f, 8.0f, 92.0f, 12.0f };
    constexpr UnitRect outcomeTextBounds { 4.0f, 28.0f, 92.0f, 38.0f };
    constexpr float hintFontHeight = 3.0f;

    // While a run works: a row per format it works on, where the format rows were, and Cancel below.
    constexpr UnitRect firstProgressRow { 4.0f, 30.0f, 92.0f, 8.0f };
    constexpr float progressRowStep = 10.0f;
    constexpr UnitRect cancelBounds { 77.0f, 60.0f, 19.0f, 5.0f };

    // After it: a line per format it touched, at the bottom of the band between the section rule
    // and the result's picture, each installed one with its "Show in folder" at the right.
    constexpr UnitRect resultLinesBand { 4.0f, 29.0f, 92.0f, 10.8f };
    constexpr float resultLineStep = 3.6f;
    constexpr float resultTextWidth = 74.0f;
    constexpr float showButtonX = 79.0f;
    constexpr float showButtonWidth = 17.0f;
    constexpr float showButtonHeight = 3.0f;

    // Each coordinate is rounded on its own, halves to even.
    void place (juce::Component& child, float x, float y, float width, float height)
    {
        child.setBounds (juce::Rectangle<float> (x, y, width, height).toNearestInt());
    }

    void place (juce::Component& child, UnitRect r, float u)
    {
        child.setBounds (r.toPixels (u));
    }
} // namespace

juce::Rectangle<float> MainComponent::getProgressArea (int row) const
{
    return firstProgressRow.toPixelsUnrounded (unit).translated (0.0f, (float) row * progressRowStep * unit);
}

juce::Rectangle<float> MainComponent::getResultLineArea (int row) const
{
    const auto band = resultLinesBand.toPixelsUnrounded (unit);
    const auto step = resultLineStep * unit;
    const auto top = band.getBottom() - step * (float) (runReport.outcomes.size() - row);
    return { band.getX(), top, resultTextWidth * unit, step };
}

void MainComponent::resized()
{
    const auto u = (float) getWidth() * 0.01f;
    unit = u;

    auto tabX = firstTabX * u;

    for (auto& tab : tabButtons)
    {
        place (*tab, tabX, tabRowY * u, tabSize * u, tabSize * u);
        tabX += tabStep * u;
    }

    place (*installButton, installBounds, u);
    place (*selectAllButton, selectAllBounds, u);

    for (size_t i = 0; i < formatButtons.size(); ++i)
        place (*formatButtons[i], formatRowBounds[i], u);

    juce::Font hintFont (customLookAndFeel.regularTypeface);
    hintFont.setHeight (hintFontHeight * u);

    if (hintLabel->getFont() != hintFont)
        hintLabel->setFont (hintFont);

    place (*hintLabel, hintBounds, u);
    place (*productText, productTextBounds, u);
    place (*outcomeText, outcomeTextBounds, u);

    place (*cancelButton, cancelBounds, u);

    for (int i = 0; i < numFormats; ++i)
    {
        const auto index = (size_t) i;

        if (const auto row = getProgressRow (i); row >= 0)
            progressReadouts[index]->setBounds (getProgressArea (row).toNearestInt());

        if (const auto row = getResultRow (i); row >= 0)
        {
            const auto line = getResultLineArea (row);
            resultLineTexts[index]->setBounds (line.toNearestInt());
            place (*showInFolderButtons[index], showButtonX * u, line.getCentreY() - showButtonHeight * u * 0.5f,
                   showButtonWidth * u, showButtonHeight * u);
        }
    }

    // An overlay panel covers the whole component (one that has closed itself keeps its size off screen).
    for (auto* panel : { static_cast<OverlayPanel*> (eulaPanel.get()), static_cast<OverlayPanel*> (supportPanel.get()) })
        if (panel != nullptr)
            panel->cover (getLocalBounds(), u);
}
