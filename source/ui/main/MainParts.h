// The main window's children: its views, its controls and the readable stand-ins of its painted
// texts; where each goes, which of them each view shows, and what lies painted between them.
#pragma once

#include "ui/main/MainControls.h"
#include "ui/main/MainViews.h"
#include "ui/widgets/FaceButton.h"

/** Where the readable stand-ins of the painted texts get their words. */
struct MainTexts
{
    std::function<juce::String()> product;
    std::function<juce::String()> outcome;
    std::function<juce::String (int)> resultLine;
    std::function<juce::String()> copiesLine;
    std::function<double (int)> progressFraction;
    std::function<juce::String (int)> progressText;
};

/**
    Makes the main component's children, in the order they are drawn (the views, the controls, the
    readable texts, the hint line), and places them on a grid 100 layout units wide. Each child is
    named as the reading order knows it.
*/
class MainParts final
{
public:
    MainParts (juce::Component& owner, juce::Button::Listener& listener, const juce::String& productName,
               const juce::String& productVersionLine, const MainTexts& texts);

    /** A control or readable text by its name, or nullptr. */
    juce::Component* find (const juce::String& name) const;

    /** A control by its name; it must exist. */
    TransparentButton& getControl (const juce::String& name) const;

    /** Places every child for a view `width` pixels wide; the result lines follow `report`, the hint
        line is in `font`. */
    void layOut (int width, const RunReport& report, const juce::Font& font);

    /** Shows what `view` shows; the result view's parts follow `report`. */
    void show (ControlView view, const RunReport& report);

    /** The background, the corner dots, the sections and the captions under the tabs and INSTALL. */
    void paintBackground (juce::Graphics& g, const juce::Font& font, bool uninstallMode) const;

    float getUnit() const { return unit; }

    //==============================================================================
    HeaderView header;
    ProgressView progress;
    ResultView result;
    std::array<std::unique_ptr<FormatRow>, numFormats> rows;
    juce::OwnedArray<FaceButton> faces; // tabs, INSTALL, SELECT ALL, Cancel, the "Show in folder"s
    ReadableText productText;
    ReadableText outcomeText;
    std::array<std::unique_ptr<ReadableText>, numFormats> resultLines;
    ReadableText copiesLine;
    std::array<std::unique_ptr<ProgressReadout>, numFormats> progressReadouts;
    juce::Label hintLine { "HINT_LINE" };

private:
    void addFace (const MainControl& control, juce::Button::Listener& listener);
    void placeResultLines (const RunReport& report);

    juce::Component& owner;
    float unit = 9.0f;

    JUCE_DECLARE_NON_COPYABLE (MainParts)
};
