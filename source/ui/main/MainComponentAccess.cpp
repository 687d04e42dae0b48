// The keyboard and screen readers: what each control is called and says, the reading and Tab
// order, the focus outline, Tab and Escape, panels that take the focus, and the run's outcome.
#include "ui/main/MainComponent.h"

void MainComponent::describe (TransparentButton& button, const MainControl& control)
{
    button.setTitle (control.title);
    button.setExplicitFocusOrder (getReadingPlace (control.name));
    button.getHelpNow = [this, &control] { return getHintText (control.name).value_or (juce::String()); };

    button.onFocusChange = [this, &button]
    {
        if (keyboardFocusShown)
            buttonStateChanged (&button);
    };

    if (control.action == ControlAction::toggleFormat)
    {
        // Checked is selected; the description is the row's status line as painted now.
        const auto formatIndex = control.index;
        button.isCheckedNow = [this, formatIndex] { return selected[(size_t) formatIndex]; };
        button.getDescriptionNow = [this, formatIndex] { return getShownStatus (formatIndex).statusText; };
    }

    if (control.action == ControlAction::install)
        button.getTitleNow = [this] { return juce::String (uninstallMode ? "Uninstall" : "Install"); };
}

void MainComponent::placeInReadingOrder()
{
    productText->setExplicitFocusOrder (getReadingPlace ("PRODUCT_LINE"));
    outcomeText->setExplicitFocusOrder (getReadingPlace ("OUTCOME"));
    hintLabel->setExplicitFocusOrder (getReadingPlace ("HINT_LINE"));

    for (int i = 0; i < numFormats; ++i)
    {
        progressReadouts[(size_t) i]->setExplicitFocusOrder (getReadingPlace ("PROGRESS_" + formatNames[i]));
        resultLineTexts[(size_t) i]->setExplicitFocusOrder (getReadingPlace ("RESULT_" + formatNames[i]));
    }
}

std::unique_ptr<juce::AccessibilityHandler> MainComponent::createAccessibilityHandler()
{
    // The component is only the window's content: screen readers see its controls directly.
    return createIgnoredAccessibilityHandler (*this);
}

//==============================================================================
void MainComponent::setKeyboardFocusShown (bool shouldBeShown)
{
    if (keyboardFocusShown == shouldBeShown)
        return;

    keyboardFocusShown = shouldBeShown;
    repaint();

    for (auto* panel : { (OverlayPanel*) eulaPanel.get(), (OverlayPanel*) supportPanel.get() })
        if (panel != nullptr)
            panel->repaint();

    // A control that had the focus before the keyboard was used shows its hint now.
    if (shouldBeShown)
        if (auto* focused = dynamic_cast<juce::Button*> (KeyboardFocus::findFocusedChild (*this)))
            buttonStateChanged (focused);
}

bool MainComponent::handleUnusedKey (const juce::KeyPress& key)
{
    auto* panel = findShownPanel();

    if (key.isKeyCode (juce::KeyPress::escapeKey))
    {
        if (panel == nullptr)
            return false;

        panel->closeButton->press();
        return true;
    }

    if (key.isKeyCode (juce::KeyPress::tabKey))
    {
        // The focus is on no control of the open panel, or of this component when no panel is
        // open (at start the window itself has it): Tab goes to the first control, shift-Tab to
        // the last.
        auto& scope = panel != nullptr ? *panel : static_cast<juce::Component&> (*this);
        auto* focused = juce::Component::getCurrentlyFocusedComponent();

        if (focused != nullptr && scope.isParentOf (focused))
            return false;

        const auto controls = juce::KeyboardFocusTraverser().getAllComponents (&scope);

        if (controls.empty())
            return false;

        (key.getModifiers().isShiftDown() ? controls.back() : controls.front())->grabKeyboardFocus();
        return true;
    }

    return false;
}

void MainComponent::paintOverChildren (juce::Graphics& g)
{
    // An open panel shows the focus itself.
    if (keyboardFocusShown && findShownPanel() == nullptr)
        if (auto* focused = KeyboardFocus::findFocusedChild (*this))
            KeyboardFocus::drawOutline (g, *focused, unit);
}

void MainComponent::parentHierarchyChanged()
{
    keyWatcher.followWindow();
    session->setLookingEverySecond (isShowing());
}

//==============================================================================
void MainComponent::openedPanel (OverlayPanel& panel, juce::Component& tab)
{
    panel.isKeyboardFocusShown = [this] { return keyboardFocusShown; };

    // Closed, the panel gives the focus back to its tab.
    panel.onClose = [this, &tab]
    {
        setMainControlsAccessible (true);

        if (tab.isShowing())
            tab.grabKeyboardFocus();
    };

    // The controls under the panel are out of reach until it closes.
    setMainControlsAccessible (false);

    if (keyboardFocusShown && panel.isShowing())
        panel.getFirstControl().grabKeyboardFocus();
}

OverlayPanel* MainComponent::findShownPanel() const
{
    // A closed panel is no child; the frontmost is the one in use.
    for (int i = getNumChildComponents(); --i >= 0;)
        if (auto* panel = dynamic_cast<OverlayPanel*> (getChildComponent (i)))
            return panel;

    return nullptr;
}

void MainComponent::setMainControlsAccessible (bool shouldBeAccessible)
{
    for (auto* child : getChildren())
        if (dynamic_cast<OverlayPanel*> (child) == nullptr)
            child->setAccessible (shouldBeAccessible);
}
