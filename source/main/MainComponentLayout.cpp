// Places the main component's children on a grid 100 layout units wide.
#include "main/MainComponent.h"

#include "style/Drawing.h"

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

    // Each coordinate is rounded on its own, halves to even.
    void place (juce::Component& child, float x, float y, float width, float height)
    {
        child.setBounds (juce::roundToInt (x), juce::roundToInt (y), juce::roundToInt (width), juce::roundToInt (height));
    }

    void place (juce::Component& child, UnitRect r, float u)
    {
        child.setBounds (r.toPixels (u));
    }

    // An overlay panel covers the whole component; one that has closed itself stays off screen.
    void cover (OverlayPanel* panel, juce::Rectangle<int> bounds, float u)
    {
        if (panel == nullptr)
            return;

        panel->unit = u;
        panel->setBounds (bounds);
        panel->setAlwaysOnTop (true);
    }
} // namespace

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

    cover (eulaPanel.get(), getBounds(), u);
    cover (supportPanel.get(), getBounds(), u);
}
