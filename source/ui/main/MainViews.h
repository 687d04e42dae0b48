// The views of the main window that paint themselves: the header, a format row, a run's progress
// and its result. Each paints from what its owner last gave it and reads no file.
#pragma once

#include "engine/InstallDetection.h"
#include "engine/InstallRun.h"
#include "ui/widgets/AccessibleControls.h"

#include <juce_gui_basics/juce_gui_basics.h>

/** A view that only paints: clicks go through it and screen readers pass it by. */
class PaintedView : public juce::Component
{
public:
    PaintedView();

    float unit = 9.0f; // the main view's layout unit, set by the owner before the bounds

    std::unique_ptr<juce::AccessibilityHandler> createAccessibilityHandler() override;

protected:
    /** Draws in the owner's coordinates: the views share the owner's layout. */
    void useOwnerCoordinates (juce::Graphics& g) const;
};

//==============================================================================
/** The top of the window: the blue bar, the product's name and version, the maker's logo and the
    application's name and version. */
class HeaderView final : public PaintedView
{
public:
    HeaderView (const juce::String& productName, const juce::String& productVersionLine);

    void paint (juce::Graphics&) override;

private:
    const juce::String title;
    const juce::String versionLine;
    std::unique_ptr<juce::Drawable> logo;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (HeaderView)
};

//==============================================================================
/** A format's row, which is its own toggle: the face in the colour of its state, the format's
    name and status, its picture, and the outline while it is selected. */
class FormatRow final : public TransparentButton
{
public:
    FormatRow (juce::Button::Listener& clickListener, int formatIndex, const char* iconName);

    /** Shows `newStatus` and whether the row is selected, repainting only when either changed. */
    void show (const FormatStatus& newStatus, bool isSelected);

    const FormatStatus& getStatus() const { return status; }
    bool isSelected() const { return selected; }

    float unit = 9.0f;

    void paintButton (juce::Graphics&, bool isMouseOverButton, bool isButtonDown) override;

private:
    const int formatIndex;
    FormatStatus status;
    bool selected = false;
    std::unique_ptr<juce::Drawable> icon;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (FormatRow)
};

//==============================================================================
/** While a run works: a row per format it works on, with the format, what it is doing and a bar. */
class ProgressView final : public PaintedView
{
public:
    /** Shows the run's `progress` of the formats whose entry is true; null shows nothing. */
    void show (const RunProgress* progress, const std::array<bool, numFormats>& formats);

    /** The row of format 0..2 while it is shown, or -1. */
    int getRow (int formatIndex) const;

    /** Repaints the rows' words and bars. */
    void refresh();

    void paint (juce::Graphics&) override;

private:
    const RunProgress* runProgress = nullptr;
    std::array<bool, numFormats> runFormats {};
};

//==============================================================================
/** After a run: its mark, a line per format it touched, and "SUCCESS!" or "FAILED!". */
class ResultView final : public PaintedView
{
public:
    ResultView();

    /** Shows a finished run and what went wrong with the entry in Installed apps. */
    void show (const RunReport& report, const juce::String& entryNotice);

    void paint (juce::Graphics&) override;

private:
    RunReport runReport;
    juce::String entryNotice;
    std::unique_ptr<juce::Drawable> successMark;
    std::unique_ptr<juce::Drawable> warningMark;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ResultView)
};
