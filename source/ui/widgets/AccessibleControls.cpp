#include "ui/widgets/AccessibleControls.h"

#include "ui/style/Palette.h"

namespace
{
    // In layout units: the ring's distance outside the control's bounds and its thickness.
    constexpr float outlineGap = 0.6f;
    constexpr float outlineThickness = 0.4f;
    constexpr float outlineCorner = 1.6f;

    class TransparentButtonHandler final : public juce::AccessibilityHandler
    {
    public:
        explicit TransparentButtonHandler (TransparentButton& buttonToWrap)
            : AccessibilityHandler (buttonToWrap,
                                    buttonToWrap.isCheckedNow ? juce::AccessibilityRole::toggleButton
                                                              : juce::AccessibilityRole::button,
                                    getActions (buttonToWrap))
            , button (buttonToWrap)
        {
        }

        juce::String getTitle() const override
        {
            return button.getTitleNow ? button.getTitleNow() : button.getTitle();
        }

        juce::String getDescription() const override
        {
            return button.getDescriptionNow ? button.getDescriptionNow() : button.getDescription();
        }

        juce::String getHelp() const override
        {
            return button.getHelpNow ? button.getHelpNow() : button.getHelpText();
        }

        juce::AccessibleState getCurrentState() const override
        {
            auto state = AccessibilityHandler::getCurrentState();

            if (button.isCheckedNow)
            {
                state = state.withCheckable();

                if (button.isCheckedNow())
                    state = state.withChecked();
            }

            return state;
        }

    private:
        static juce::AccessibilityActions getActions (TransparentButton& button)
        {
            auto actions = juce::AccessibilityActions().addAction (juce::AccessibilityActionType::press,
                                                                   [&button] { button.press(); });

            // A toggle's checked state is its owner's selection, which only a click changes.
            if (button.isCheckedNow)
                actions.addAction (juce::AccessibilityActionType::toggle, [&button] { button.press(); });

            return actions;
        }

        TransparentButton& button;
    };

    /** Read-only text for screen readers; the component stands for the whole text. */
    class ReadOnlyText final : public juce::AccessibilityTextInterface
    {
    public:
        explicit ReadOnlyText (const ReadableText& owner)
            : text (owner)
        {
        }

        bool isDisplayingProtectedText() const override { return false; }
        bool isReadOnly() const override { return true; }
        int getTotalNumCharacters() const override { return text.getText().length(); }
        juce::Range<int> getSelection() const override { return {}; }
        void setSelection (juce::Range<int>) override {}
        int getTextInsertionOffset() const override { return 0; }

        juce::String getText (juce::Range<int> range) const override
        {
            return text.getText().substring (range.getStart(), range.getEnd());
        }

        void setText (const juce::String&) override {}

        juce::RectangleList<int> getTextBounds (juce::Range<int>) const override
        {
            return text.getScreenBounds();
        }

        int getOffsetAtPoint (juce::Point<int>) const override { return 0; }

    private:
        const ReadableText& text;
    };

    class ReadableTextHandler final : public juce::AccessibilityHandler
    {
    public:
        ReadableTextHandler (ReadableText& textToWrap, juce::AccessibilityRole roleToUse)
            : AccessibilityHandler (textToWrap, roleToUse, {}, { std::make_unique<ReadOnlyText> (textToWrap) })
            , text (textToWrap)
        {
        }

        juce::String getTitle() const override
        {
            const auto title = text.getTitle();
            return title.isNotEmpty() ? title : text.getText();
        }

    private:
        ReadableText& text;
    };

    /** A progress bar's value: read-only, from 0 to 1. */
    class ProgressValue final : public juce::AccessibilityValueInterface
    {
    public:
        explicit ProgressValue (const ProgressReadout& owner)
            : readout (owner)
        {
        }

        bool isReadOnly() const override { return true; }
        double getCurrentValue() const override { return readout.getFraction(); }
        juce::String getCurrentValueAsString() const override { return readout.getValueText(); }
        void setValue (double) override {}
        void setValueAsString (const juce::String&) override {}
        AccessibleValueRange getRange() const override { return { { 0.0, 1.0 }, 0.01 }; }

    private:
        const ProgressReadout& readout;
    };
} // namespace

//==============================================================================
TransparentButton::TransparentButton (juce::Button::Listener& clickListener)
    : listener (clickListener)
{
}

void TransparentButton::press()
{
    if (isVisible() && isEnabled())
        listener.buttonClicked (this);
}

bool TransparentButton::keyPressed (const juce::KeyPress& key)
{
    if (key.isKeyCode (juce::KeyPress::spaceKey) || key.isKeyCode (juce::KeyPress::returnKey))
    {
        // The owner hears the modifiers held with the key first, as it does before a click: shift
        // held while pressing a control means what it means to the mouse.
        if (onKeyModifiers)
            onKeyModifiers (key.getModifiers());

        press();
        return true;
    }

    return false;
}

void TransparentButton::focusGained (FocusChangeType cause)
{
    juce::TextButton::focusGained (cause);
    focusChanged();
}

void TransparentButton::focusLost (FocusChangeType cause)
{
    juce::TextButton::focusLost (cause);
    focusChanged();
}

void TransparentButton::focusChanged()
{
    // The outline lies outside the button, where only the parent draws.
    if (auto* parent = getParentComponent())
        parent->repaint();

    if (onFocusChange)
        onFocusChange();
}

std::unique_ptr<juce::AccessibilityHandler> TransparentButton::createAccessibilityHandler()
{
    return std::make_unique<TransparentButtonHandler> (*this);
}

//==============================================================================
ReadableText::ReadableText (juce::AccessibilityRole roleToUse, std::function<juce::String()> getText)
    : role (roleToUse)
    , textNow (std::move (getText))
{
    setInterceptsMouseClicks (false, false);
}

juce::String ReadableText::getText() const
{
    return textNow ? textNow() : juce::String();
}

std::unique_ptr<juce::AccessibilityHandler> ReadableText::createAccessibilityHandler()
{
    return std::make_unique<ReadableTextHandler> (*this, role);
}

//==============================================================================
namespace KeyboardFocus
{
    juce::Component* findFocusedChild (const juce::Component& parent)
    {
        auto* focused = juce::Component::getCurrentlyFocusedComponent();
        return focused != nullptr && focused->getParentComponent() == &parent ? focused : nullptr;
    }

    void drawOutline (juce::Graphics& g, const juce::Component& control, float unit)
    {
        g.setColour (Palette::white);
        g.drawRoundedRectangle (control.getBounds().toFloat().expanded (outlineGap * unit),
                                outlineCorner * unit, outlineThickness * unit);
    }

    std::unique_ptr<juce::AccessibilityHandler> createGroupHandler (juce::Component& panel)
    {
        return std::make_unique<juce::AccessibilityHandler> (panel, juce::AccessibilityRole::group);
    }
} // namespace KeyboardFocus

//==============================================================================
ProgressReadout::ProgressReadout (std::function<double()> fractionNow, std::function<juce::String()> valueTextNow)
    : getFractionNow (std::move (fractionNow)), getValueTextNow (std::move (valueTextNow))
{
    setInterceptsMouseClicks (false, false);
}

double ProgressReadout::getFraction() const
{
    return juce::jlimit (0.0, 1.0, getFractionNow());
}

juce::String ProgressReadout::getValueText() const
{
    return getValueTextNow();
}

void ProgressReadout::update()
{
    const auto percent = juce::roundToInt (getFraction() * 100.0);

    if (percent == lastPercent)
        return;

    lastPercent = percent;

    if (auto* handler = getAccessibilityHandler())
        handler->notifyAccessibilityEvent (juce::AccessibilityEvent::valueChanged);
}

std::unique_ptr<juce::AccessibilityHandler> ProgressReadout::createAccessibilityHandler()
{
    return std::make_unique<juce::AccessibilityHandler> (*this, juce::AccessibilityRole::progressBar, juce::AccessibilityActions(),
                                                         juce::AccessibilityHandler::Interfaces { std::make_unique<ProgressValue> (*this) });
}
