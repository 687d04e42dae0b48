// What the keyboard and screen readers reach of a window whose parents draw their controls: the
// transparent button, painted text made readable, and the keyboard focus outline.
#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

/**
    A fully transparent click target; its parent draws what the user sees of it.

    Screen readers get its title, description and help text, each worked out when they ask, and,
    for a toggle, whether it is checked. Space, Return and a screen reader's press all go to the
    listener's buttonClicked at once, exactly as a mouse click does.
*/
class TransparentButton : public juce::TextButton
{
public:
    /** Made with an empty name; the listener is the one its clicks go to. */
    explicit TransparentButton (juce::Button::Listener& clickListener);

    /** What a click does, for the keyboard and for screen readers. Does nothing while hidden. */
    void press();

    /** Each one, when set, is asked instead of the component's own title, description or help text. */
    std::function<juce::String()> getTitleNow;
    std::function<juce::String()> getDescriptionNow;
    std::function<juce::String()> getHelpNow;

    /** Set (before a screen reader first asks) for a toggle: whether it is checked now. */
    std::function<bool()> isCheckedNow;

    /** Called when the keyboard focus comes to it or leaves it. */
    std::function<void()> onFocusChange;

    /** Told the modifier keys held with Space or Return, before the press. */
    std::function<void (const juce::ModifierKeys&)> onKeyModifiers;

    //==============================================================================
    bool keyPressed (const juce::KeyPress&) override;
    void focusGained (FocusChangeType) override;
    void focusLost (FocusChangeType) override;
    std::unique_ptr<juce::AccessibilityHandler> createAccessibilityHandler() override;

private:
    void focusChanged();

    juce::Button::Listener& listener;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TransparentButton)
};

/**
    Text that its parent paints, made readable: an invisible child over the painted text that
    takes no clicks. Screen readers read it as read-only text; without a title of its own, the
    text is its title too.
*/
class ReadableText final : public juce::Component
{
public:
    /** staticText for a line to be read, editableText for a read-only text field. */
    ReadableText (juce::AccessibilityRole role, std::function<juce::String()> getText);

    juce::String getText() const;

    std::unique_ptr<juce::AccessibilityHandler> createAccessibilityHandler() override;

private:
    const juce::AccessibilityRole role;
    const std::function<juce::String()> textNow;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ReadableText)
};

/**
    A progress bar that its parent paints, made readable: an invisible child over the painted bar
    that screen readers read as a progress bar with its value.
*/
class ProgressReadout final : public juce::Component
{
public:
    /** `fractionNow` gives how far the work is, from 0 to 1; `valueTextNow` says it in words. */
    ProgressReadout (std::function<double()> fractionNow, std::function<juce::String()> valueTextNow);

    double getFraction() const;
    juce::String getValueText() const;

    /** Tells screen readers that the value changed, when it moved by a whole percent since the last time. */
    void update();

    std::unique_ptr<juce::AccessibilityHandler> createAccessibilityHandler() override;

private:
    const std::function<double()> getFractionNow;
    const std::function<juce::String()> getValueTextNow;
    int lastPercent = -1;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ProgressReadout)
};

namespace KeyboardFocus
{
    /** The child of parent that has the keyboard focus itself, or nullptr. */
    juce::Component* findFocusedChild (const juce::Component& parent);

    /** The focus outline around a control, in its parent's coordinates: a white ring just outside
        the control's bounds, so it stands on the dark background whatever colour the control's face
        has. */
    void drawOutline (juce::Graphics& g, const juce::Component& control, float unit);

    /** A screen reader's view of a panel: a group of controls with the panel's title. */
    std::unique_ptr<juce::AccessibilityHandler> createGroupHandler (juce::Component& panel);
} // namespace KeyboardFocus
