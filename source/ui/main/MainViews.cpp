#include "ui/main/MainViews.h"

#include "ui/main/MainLayout.h"
#include "ui/main/RunTexts.h"
#include "ui/style/Palette.h"

#include <BinaryData.h>

using namespace MainLayout;

namespace
{
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

        return Palette::grey.withAlpha (hovered ? Faces::alphaHalf : Faces::alphaIdleRow);
    }

    void drawIcon (juce::Graphics& g, const juce::Drawable* icon, juce::Rectangle<float> area)
    {
        if (icon != nullptr)
            icon->drawWithin (g, area, juce::RectanglePlacement::centred, 1.0f);
    }
} // namespace

//==============================================================================
PaintedView::PaintedView()
{
    setInterceptsMouseClicks (false, false);
}

std::unique_ptr<juce::AccessibilityHandler> PaintedView::createAccessibilityHandler()
{
    // What it paints is read through the owner's readable texts, in their reading order.
    return createIgnoredAccessibilityHandler (*this);
}

void PaintedView::useOwnerCoordinates (juce::Graphics& g) const
{
    g.setOrigin (-getPosition());
}

//==============================================================================
HeaderView::HeaderView (const juce::String& productName, const juce::String& productVersionLine)
    : title (productName.toUpperCase())
    , versionLine (productVersionLine)
{
    // The logo is drawn white on the dark header.
    logo = juce::Drawable::createFromImageData (BinaryData::logo_tarnwick_svg, (size_t) BinaryData::logo_tarnwick_svgSize);

    if (logo != nullptr)
        logo->replaceColour (juce::Colours::black, Palette::white);
}

void HeaderView::paint (juce::Graphics& g)
{
    const auto u = unit;

    g.setColour (Palette::blue);
    g.fillRect (juce::Rectangle<float> (0.0f, 0.0f, 100.0f * u, topBarHeight * u));

    // The title and version line may run on to the window's right edge.
    auto header = headerBox.toPixelsUnrounded (u);
    header.setWidth ((float) getWidth());

    g.setColour (Palette::grey);
    g.setFont (titleHeight * u);
    g.drawText (title, header, juce::Justification::topLeft, true);

    g.setColour (Palette::grey.withAlpha (Faces::alphaHalf));
    g.setFont (versionLineHeight * u);
    g.drawText (versionLine, header, juce::Justification::bottomLeft, true);

    if (logo != nullptr)
        logo->drawWithin (g, logoBox.toPixelsUnrounded (u), juce::RectanglePlacement::xLeft | juce::RectanglePlacement::yMid, 1.0f);

    g.setColour (Palette::grey.withAlpha (Faces::alphaHalf));
    g.setFont (productLineHeight * u);
    drawSingleLine (g, "PLUGIN MANAGER", productLine, u);

    g.setFont (applicationVersionHeight * u);
    drawSingleLine (g, juce::String ("v") + applicationVersion, applicationVersionLine, u);
}

//==============================================================================
FormatRow::FormatRow (juce::Button::Listener& clickListener, int index, const char* iconName)
    : TransparentButton (clickListener)
    , formatIndex (index)
    , icon (Faces::createIcon (iconName))
{
    setName (formatNames[index]);
    addListener (&clickListener);

    // The selection's outline lies half outside the row.
    setPaintingIsUnclipped (true);
}

void FormatRow::show (const FormatStatus& newStatus, bool isSelected)
{
    const auto changed = newStatus.state != status.state || newStatus.statusText != status.statusText || isSelected != selected;
    status = newStatus;
    selected = isSelected;

    if (changed)
        if (auto* parent = getParentComponent())
            parent->repaint (getBounds().expanded (juce::roundToInt (selectionThickness * unit) + 1));
}

void FormatRow::paintButton (juce::Graphics& g, bool, bool)
{
    const auto u = unit;
    const auto bounds = getLocalBounds().toFloat();

    g.setColour (getRowColour (status.state, isMouseOver()));
    g.fillRoundedRectangle (bounds, Faces::cornerSize * u);

    if (selected)
    {
        g.setColour (Palette::yellow);
        g.drawRoundedRectangle (bounds, Faces::cornerSize * u, selectionThickness * u);
    }

    // Right of the icon and inside the face, so that a long status is shortened rather than
    // running over the next row.
    const auto textBox = bounds.reduced (rowTextInset * u).withTrimmedLeft (rowIconWidth * u);

    g.setColour (Palette::black);
    g.setFont (formatNameHeight * u);
    g.drawText (formatNames[formatIndex], textBox, juce::Justification::topLeft, true);

    g.setFont (statusHeight * u);
    g.drawText (status.statusText, textBox, juce::Justification::bottomLeft, true);

    drawIcon (g, icon.get(), bounds.withWidth (rowIconWidth * u).reduced (rowIconInset * u));
}

//==============================================================================
void ProgressView::show (const RunProgress* progress, const std::array<bool, numFormats>& formats)
{
    runProgress = progress;
    runFormats = formats;
    repaint();
}

int ProgressView::getRow (int formatIndex) const
{
    if (runProgress == nullptr || ! juce::isPositiveAndBelow (formatIndex, numFormats) || ! runFormats[(size_t) formatIndex])
        return -1;

    return (int) std::count (runFormats.begin(), runFormats.begin() + formatIndex, true);
}

void ProgressView::refresh()
{
    repaint();
}

void ProgressView::paint (juce::Graphics& g)
{
    const auto u = unit;
    useOwnerCoordinates (g);

    // Each format the run works on: its name and what it is doing, then how far it is.
    for (int i = 0; i < numFormats; ++i)
    {
        const auto row = getRow (i);

        if (row < 0)
            continue;

        const auto area = getProgressArea (row, u);
        const auto textBand = area.withHeight (progressTextBandHeight * u);
        const auto bar = area.withY (area.getY() + progressBarOffset * u).withHeight (progressBarHeight * u);

        g.setFont (progressTextHeight * u);
        g.setColour (Palette::white);
        g.drawText (formatNames[i], textBand, juce::Justification::centredLeft, true);
        g.setColour (Palette::grey);
        g.drawText (RunTexts::getProgressText (runProgress, i), textBand, juce::Justification::centredRight, true);

        g.setColour (Palette::grey.withAlpha (Faces::alphaFaint));
        g.fillRoundedRectangle (bar, bar.getHeight() * 0.5f);

        if (const auto fraction = (float) RunTexts::getProgressFraction (runProgress, i); fraction > 0.0f)
        {
            g.setColour (Palette::green);
            g.fillRoundedRectangle (bar.withWidth (juce::jmax (bar.getHeight(), bar.getWidth() * fraction)), bar.getHeight() * 0.5f);
        }
    }
}

//==============================================================================
ResultView::ResultView()
    : successMark (Faces::createIcon ("icon_install_svg"))
    , warningMark (juce::Drawable::createFromImageData (BinaryData::icon_warning_svg, (size_t) BinaryData::icon_warning_svgSize))
{
    // INSTALL's picture, in green.
    if (successMark != nullptr)
        successMark->replaceColour (Palette::panel, Palette::green);
}

void ResultView::show (const RunReport& report, const juce::String& notice)
{
    runReport = report;
    entryNotice = notice;
    repaint();
}

void ResultView::paint (juce::Graphics& g)
{
    const auto u = unit;
    useOwnerCoordinates (g);

    const auto box = resultBox.toPixelsUnrounded (u);
    const auto succeeded = runReport.allSucceeded();
    const auto rows = RunTexts::getLineCount (runReport);

    // The picture stays clear of lines that run on below the band.
    auto iconBox = box.reduced (resultIconInset * u);
    iconBox.setTop (juce::jmax (iconBox.getY(), getResultLineArea (rows - 1, rows, u).getBottom()));
    drawIcon (g, succeeded ? successMark.get() : warningMark.get(), iconBox);

    // One line per format the run touched, as the command line prints it, fitted to its width,
    // and one for the other copies; above them, what went wrong with the entry in Installed apps.
    g.setColour (Palette::grey);
    g.setFont (resultLineHeight * u);

    for (int row = entryNotice.isNotEmpty() ? -1 : 0; row < rows; ++row)
    {
        const auto text = row < 0 ? entryNotice
                        : row < runReport.outcomes.size() ? RunTexts::getLine (runReport, runReport.outcomes.getReference (row).formatIndex)
                                                          : RunTexts::getCopiesLine (runReport);
        g.drawFittedText (text, getResultLineArea (row, rows, u).toNearestInt(), juce::Justification::centredLeft, 1, resultLineMinimumScale);
    }

    g.setFont (resultTextHeight * u);
    g.setColour (Palette::white);
    g.drawText (succeeded ? "SUCCESS!" : "FAILED!", box, juce::Justification::centredBottom, true);
}
