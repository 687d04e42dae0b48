#include "ui/panels/LicencePanel.h"

#include "ui/panels/ThirdPartyNotices.h"
#include "ui/style/Drawing.h"
#include "ui/style/Palette.h"

namespace
{
    // In layout units.
    constexpr UnitRect editorBounds { 4.0f, 12.0f, 92.0f, 80.0f };
    constexpr float headingX = 4.0f;
    constexpr float headingBaseline = 6.0f;
    constexpr float headingHeight = 4.0f;
} // namespace

LicencePanel::LicencePanel (const juce::String& text)
    : OverlayPanel ("Licence agreement")
{
    editor = std::make_unique<juce::TextEditor>();
    addAndMakeVisible (*editor);
    editor->setMultiLine (true, true);
    editor->setText (withThirdPartyNotices (text), false);
    editor->applyColourToAllText (Palette::grey, true);

    // The outline takes the panel's own background, so none shows.
    editor->setColour (juce::TextEditor::outlineColourId, Palette::black);
    editor->setColour (juce::TextEditor::focusedOutlineColourId, Palette::black);

    // Escape goes on to the owner, which closes the panel.
    editor->setEscapeAndReturnKeysConsumed (false);
    editor->setTitle ("Licence agreement");
}

LicencePanel::~LicencePanel() = default;

void LicencePanel::paint (juce::Graphics& g)
{
    g.fillAll (Palette::black);

    g.setColour (Palette::white);
    g.setFont (headingHeight * unit);
    g.drawSingleLineText ("LICENSE AGREEMENT", (int) (headingX * unit), (int) (headingBaseline * unit),
                          juce::Justification::left);

    drawCloseRing (g);
}

void LicencePanel::resized()
{
    editor->setBounds (editorBounds.toPixels (unit));
    placeCloseButton();
}

void LicencePanel::buttonClicked (juce::Button*)
{
    dismiss();
}

juce::Component& LicencePanel::getFirstControl()
{
    return *editor;
}
