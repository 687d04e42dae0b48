#include "panels/panel_eula.h"

#include "panels/PanelParts.h"

#include "style/Palette.h"

namespace
{
    // In layout units.
    constexpr PanelParts::UnitRect editorBounds { 4.0f, 12.0f, 92.0f, 80.0f };
    constexpr float headingX = 4.0f;
    constexpr float headingBaseline = 6.0f;
    constexpr float headingHeight = 4.0f;
} // namespace

panel_eula::panel_eula (const juce::String& text)
{
    unit = 9.0f;

    editor = std::make_unique<juce::TextEditor>();
    addAndMakeVisible (*editor);
    editor->setMultiLine (true, true);
    editor->setText (text, false);
    editor->applyColourToAllText (Palette::grey, true);

    // The outline takes the panel's own background, so none shows.
    editor->setColour (juce::TextEditor::outlineColourId, Palette::black);
    editor->setColour (juce::TextEditor::focusedOutlineColourId, Palette::black);

    // Escape goes on to the owner, which closes the panel.
    editor->setEscapeAndReturnKeysConsumed (false);
    editor->setTitle ("Licence agreement");

    closeButton = PanelParts::createTransparentButton (*this, "X", *this);
    closeButton->setTitle ("Close");

    PanelParts::makeFocusGroup (*this, "Licence agreement");
}

panel_eula::~panel_eula() = default;

void panel_eula::paint (juce::Graphics& g)
{
    g.fillAll (Palette::black);

    g.setColour (Palette::white);
    g.setFont (headingHeight * unit);
    g.drawSingleLineText ("LICENSE AGREEMENT", (int) (headingX * unit), (int) (headingBaseline * unit),
                          juce::Justification::left);

    PanelParts::drawCloseRing (g, *closeButton, unit);
}

void panel_eula::resized()
{
    editor->setBounds (PanelParts::toPixels (editorBounds, unit));
    closeButton->setBounds (PanelParts::toPixels (PanelParts::closeButtonBounds, unit));
}

void panel_eula::buttonClicked (juce::Button*)
{
    PanelParts::close (*this, onClose);
}

void panel_eula::paintOverChildren (juce::Graphics& g)
{
    PanelParts::drawKeyboardFocus (g, *this, isKeyboardFocusShown, unit);
}

std::unique_ptr<juce::AccessibilityHandler> panel_eula::createAccessibilityHandler()
{
    return KeyboardFocus::createGroupHandler (*this);
}
