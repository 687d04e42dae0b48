#include "ui/main/MainParts.h"

#include "ui/main/MainLayout.h"
#include "ui/main/RunTexts.h"
#include "ui/style/Palette.h"

using namespace MainLayout;

namespace
{
    FaceButton::Style getFaceStyle (ControlKind kind)
    {
        switch (kind)
        {
            case ControlKind::selectAll:
                return FaceButton::Style::faintWord;
            case ControlKind::cancel:
                return FaceButton::Style::faintWordLit;
            case ControlKind::showInFolder:
            case ControlKind::retry:
                return FaceButton::Style::word;
            case ControlKind::tab:
            case ControlKind::install:
            case ControlKind::formatRow:
                break;
        }

        return FaceButton::Style::picture;
    }

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

MainParts::MainParts (juce::Component& ownerToFill, juce::Button::Listener& listener, const juce::String& productName,
                      const juce::String& productVersionLine, const MainTexts& texts)
    : header (productName, productVersionLine)
    , productText (juce::AccessibilityRole::staticText, texts.product)
    , outcomeText (juce::AccessibilityRole::staticText, texts.outcome)
    , copiesLine (juce::AccessibilityRole::staticText, texts.copiesLine)
    , owner (ownerToFill)
{
    owner.addAndMakeVisible (header);
    owner.addChildComponent (progress);
    owner.addChildComponent (result);

    for (const auto& control : mainControls)
    {
        if (control.kind != ControlKind::formatRow)
        {
            addFace (control, listener);
            continue;
        }

        auto& row = rows[(size_t) control.index];
        row = std::make_unique<FormatRow> (listener, control.index, control.icon);
        owner.addAndMakeVisible (*row);
    }

    // Invisible: the texts are painted, these only let screen readers read them.
    productText.setName ("PRODUCT_LINE");
    owner.addAndMakeVisible (productText);
    outcomeText.setName ("OUTCOME");
    owner.addChildComponent (outcomeText);

    for (int i = 0; i < numFormats; ++i)
    {
        const auto index = (size_t) i;
        resultLines[index] = std::make_unique<ReadableText> (juce::AccessibilityRole::staticText, [texts, i] { return texts.resultLine (i); });
        resultLines[index]->setName ("RESULT_" + formatNames[i]);
        owner.addChildComponent (*resultLines[index]);

        progressReadouts[index] = std::make_unique<ProgressReadout> ([texts, i] { return texts.progressFraction (i); },
                                                                     [texts, i] { return texts.progressText (i); });
        progressReadouts[index]->setName ("PROGRESS_" + formatNames[i]);
        progressReadouts[index]->setTitle (formatNames[i]);
        owner.addChildComponent (*progressReadouts[index]);
    }

    copiesLine.setName ("RESULT_COPIES");
    owner.addChildComponent (copiesLine);

    owner.addAndMakeVisible (hintLine);
    hintLine.setJustificationType (juce::Justification::centred);
    hintLine.setColour (juce::Label::textColourId, Palette::grey.withAlpha (Faces::alphaHalf));

    // Screen readers and Tab follow the reading order, whatever the order of drawing.
    for (auto* child : owner.getChildren())
        if (const auto place = getReadingPlace (child->getName()); place > 0)
            child->setExplicitFocusOrder (place);
}

void MainParts::addFace (const MainControl& control, juce::Button::Listener& listener)
{
    auto* face = faces.add (new FaceButton (listener, control.name, getFaceStyle (control.kind)));
    owner.addAndMakeVisible (face);

    switch (control.kind)
    {
        case ControlKind::tab:
        case ControlKind::install:
            face->icon = Faces::createIcon (control.icon);
            face->iconInset = control.kind == ControlKind::install ? installIconInset : tabIconInset;
            break;
        case ControlKind::selectAll:
            face->setButtonText ("SELECT ALL");
            face->textHeight = selectAllTextHeight;
            break;
        case ControlKind::cancel:
            face->setButtonText ("CANCEL");
            face->textHeight = cancelTextHeight;
            break;
        case ControlKind::showInFolder:
            face->setButtonText ("Show in folder");
            face->textHeight = showButtonTextHeight;
            break;
        case ControlKind::retry:
            face->setButtonText ("Retry");
            face->textHeight = showButtonTextHeight;
            break;
        case ControlKind::formatRow:
            break;
    }
}

juce::Component* MainParts::find (const juce::String& name) const
{
    for (auto* child : owner.getChildren())
        if (child->getName() == name)
            return child;

    return nullptr;
}

TransparentButton& MainParts::getControl (const juce::String& name) const
{
    auto* control = dynamic_cast<TransparentButton*> (find (name));
    jassert (control != nullptr);
    return *control;
}

//==============================================================================
void MainParts::layOut (int width, const RunReport& report, const juce::Font& font)
{
    const auto u = (float) width * 0.01f;
    unit = u;

    header.unit = u;
    header.setBounds (0, 0, width, (int) std::ceil ((headerBox.y + headerBox.height) * u) + 1);

    progress.unit = u;
    progress.setBounds (getProgressArea (0, u).getUnion (getProgressArea (numFormats - 1, u)).getSmallestIntegerContainer());

    // The line above the result lines, for the entry's notice, may reach above the result's box.
    result.unit = u;
    result.setBounds (resultBox.toPixelsUnrounded (u).getUnion (getResultLineArea (-1, numFormats, u)).getSmallestIntegerContainer());

    for (auto* face : faces)
        face->unit = u;

    auto tabX = firstTabX * u;

    for (const auto* name : { "EULA", "MANUAL", "WEBSITE", "SUPPORT" })
    {
        place (getControl (name), tabX, tabRowY * u, tabSize * u, tabSize * u);
        tabX += tabStep * u;
    }

    place (getControl ("INSTALL"), installBounds, u);
    place (getControl ("SELECT_ALL"), selectAllBounds, u);
    place (getControl ("CANCEL"), cancelBounds, u);

    for (size_t i = 0; i < rows.size(); ++i)
    {
        rows[i]->unit = u;
        place (*rows[i], formatRowBounds[i], u);
    }

    if (const auto hintFont = font.withHeight (hintFontHeight * u); hintLine.getFont() != hintFont)
        hintLine.setFont (hintFont);

    place (hintLine, hintBounds, u);

    // Over the painted header and the painted result of a run, where screen readers find them.
    place (productText, headerBox, u);
    place (outcomeText, resultBox, u);

    for (int i = 0; i < numFormats; ++i)
        if (const auto row = progress.getRow (i); row >= 0)
            progressReadouts[(size_t) i]->setBounds (getProgressArea (row, u).toNearestInt());

    placeResultLines (report);
}

void MainParts::placeResultLines (const RunReport& report)
{
    const auto u = unit;
    const auto rows = RunTexts::getLineCount (report);

    const auto placeLine = [this, u] (juce::Component& text, juce::Component& button, juce::Rectangle<float> line)
    {
        text.setBounds (line.toNearestInt());
        place (button, showButtonX * u, line.getCentreY() - showButtonHeight * u * 0.5f, showButtonWidth * u, showButtonHeight * u);
    };

    // The other copies' line comes after the formats'.
    placeLine (copiesLine, getControl ("SHOW_COPIES"), getResultLineArea (report.outcomes.size(), rows, u));

    for (int i = 0; i < numFormats; ++i)
    {
        const auto row = RunTexts::getResultRow (report, i);

        if (row < 0)
            continue;

        // Each installed one with its "Show in folder" at the right of its line, in the same place
        // as a failed one's "Retry".
        const auto line = getResultLineArea (row, rows, u);

        for (const auto& prefix : { "SHOW_", "RETRY_" })
            placeLine (*resultLines[(size_t) i], getControl (prefix + formatNames[i]), line);
    }
}

void MainParts::show (ControlView view, const RunReport& report)
{
    for (const auto& control : mainControls)
    {
        auto& button = getControl (control.name);
        auto shown = control.view == ControlView::always || control.view == view;

        // A result line offers its folder where a bundle was put, and another run where the format
        // failed or a removal waits for the next restart; the other copies' line, the first one's.
        if (control.action == ControlAction::showOtherCopy)
            shown = shown && ! RunTexts::getOtherCopies (report).isEmpty();
        else if (control.kind == ControlKind::showInFolder || control.kind == ControlKind::retry)
        {
            const auto row = RunTexts::getResultRow (report, control.index);
            const auto* outcome = row >= 0 ? &report.outcomes.getReference (row) : nullptr;
            shown = shown && outcome != nullptr
                 && (control.kind == ControlKind::retry ? RunTexts::canRetry (report, *outcome)
                                                        : ! report.uninstall && outcome->succeeded);
        }

        // INSTALL stays in sight during a run, but cannot be pressed.
        if (control.kind == ControlKind::install && view == ControlView::running)
        {
            button.setVisible (true);
            button.setEnabled (false);
            continue;
        }

        button.setEnabled (true);
        button.setVisible (shown);
    }

    progress.setVisible (view == ControlView::running);
    result.setVisible (view == ControlView::finished);
    outcomeText.setVisible (view == ControlView::finished);
    copiesLine.setVisible (view == ControlView::finished && ! RunTexts::getOtherCopies (report).isEmpty());

    for (int i = 0; i < numFormats; ++i)
    {
        const auto index = (size_t) i;
        progressReadouts[index]->setVisible (view == ControlView::running && progress.getRow (i) >= 0);
        resultLines[index]->setVisible (view == ControlView::finished && RunTexts::getResultRow (report, i) >= 0);
    }
}

//==============================================================================
void MainParts::paintBackground (juce::Graphics& g, const juce::Font& font, bool uninstallMode) const
{
    const auto u = unit;
    const auto width = (float) owner.getWidth();
    const auto height = (float) owner.getHeight();

    // Every text is in the one typeface; each piece sets its heights.
    g.setFont (font);
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

    // A caption under each tab and INSTALL.
    for (const auto& control : mainControls)
    {
        if (control.kind != ControlKind::tab && control.kind != ControlKind::install)
            continue;

        auto& button = getControl (control.name);
        const auto bounds = button.getBounds().toFloat();

        // After a run INSTALL is gone for good, but its face stays in its place, at rest.
        if (! button.isVisible())
            if (auto* face = dynamic_cast<FaceButton*> (&button))
                if (auto* drawer = dynamic_cast<FaceButton::LookAndFeelMethods*> (&face->getLookAndFeel()))
                {
                    const juce::Graphics::ScopedSaveState state (g);
                    g.setOrigin (button.getPosition());
                    drawer->drawFaceButton (g, *face);
                }

        const auto caption = control.kind == ControlKind::install ? (uninstallMode ? "UNINSTALL" : "INSTALL") : control.name;
        const auto box = bounds.translated (0.0f, captionDrop * u).withSizeKeepingCentre (captionWidth * u, bounds.getHeight());
        g.setFont (captionHeight * u);
        g.setColour (Palette::grey);
        g.drawText (caption, box, juce::Justification::centredBottom, true);
    }
}
