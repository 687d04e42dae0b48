// The keyboard and screen readers: what each control is called and says, the reading and Tab
// order, the focus outline, Tab and Escape, panels that take the focus, and the run's outcome.
#include "main/MainComponent.h"

#include "main/KeyWatcher.h"

namespace
{
    struct ControlWords
    {
        const char* name; // the button's component name
        const char* title;
        int order; // in reading order, which Tab follows
    };

    // The painted product line comes first, then the outcome of a run where the rows were.
    constexpr int productTextOrder = 1;
    constexpr int outcomeTextOrder = 2;
    constexpr int hintLineOrder = 12;

    constexpr ControlWords controlWords[] = {
        { "VST3", "VST3", 3 },
        { "CLAP", "CLAP", 4 },
        { "AAX", "AAX", 5 },
        { "SELECT_ALL", "Select all", 6 },
        { "EULA", "Licence agreement", 7 },
        { "MANUAL", "Manual", 8 },
        { "WEBSITE", "Website", 9 },
        { "SUPPORT", "Support", 10 },
        { "INSTALL", "Install", 11 },
    };
} // namespace

void MainComponent::describe (TransparentButton& button)
{
    const auto name = button.getName();

    for (const auto& words : controlWords)
    {
        if (name == words.name)
        {
            button.setTitle (words.title);
            button.setExplicitFocusOrder (words.order);
        }
    }

    button.getHelpNow = [this, &button] { return getHintText (button.getName()).value_or (juce::String()); };

    button.onFocusChange = [this, &button]
    {
        if (keyboardFocusShown)
            buttonStateChanged (&button);
    };

    if (const auto formatIndex = formatNames.indexOf (name); formatIndex >= 0)
    {
        // Checked is selected; the description is the row's status line as painted now.
        button.isCheckedNow = [this, formatIndex] { return selected[(size_t) formatIndex]; };
        button.getDescriptionNow = [this, formatIndex] { return detectInstallState (formatIndex).statusText; };
    }

    if (name == "INSTALL")
        button.getTitleNow = [this] { return juce::String (uninstallMode ? "Uninstall" : "Install"); };
}

void MainComponent::placeInReadingOrder()
{
    productText->setExplicitFocusOrder (productTextOrder);
    outcomeText->setExplicitFocusOrder (outcomeTextOrder);
    hintLabel->setExplicitFocusOrder (hintLineOrder);
}

juce::String MainComponent::getOutcomeText() const
{
    if (! runFinished)
        return {};

    auto lines = runReport.allSucceeded() ? juce::StringArray { "Success" } : runReport.getFailureLines();

    if (entryNotice.isNotEmpty())
        lines.add (entryNotice);

    return lines.joinIntoString ("\n");
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

    for (auto* panel : { (juce::Component*) eulaPanel.get(), (juce::Component*) supportPanel.get() })
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

        auto& closeButton = panel == eulaPanel.get() ? *eulaPanel->closeButton : *supportPanel->closeButton;
        closeButton.press();
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
    if (keyWatcher != nullptr)
        keyWatcher->followWindow();
}

//==============================================================================
void MainComponent::openedPanel (panel_eula& panel)
{
    // The licence text is what the keyboard user came for.
    connectPanel (panel, panel.isKeyboardFocusShown, panel.onClose, *panel.editor, *tabButtons[0]);
}

void MainComponent::openedPanel (panel_support& panel)
{
    connectPanel (panel, panel.isKeyboardFocusShown, panel.onClose, *panel.discordButton, *tabButtons[3]);
}

void MainComponent::connectPanel (juce::Component& panel, std::function<bool()>& isKeyboardFocusShown,
                                  std::function<void()>& onClose, juce::Component& firstControl, juce::Component& tab)
{
    isKeyboardFocusShown = [this] { return keyboardFocusShown; };

    // Closed, the panel gives the focus back to its tab.
    onClose = [this, &tab]
    {
        setMainControlsAccessible (true);

        if (tab.isShowing())
            tab.grabKeyboardFocus();
    };

    // The controls under the panel are out of reach until it closes.
    setMainControlsAccessible (false);

    if (keyboardFocusShown && panel.isShowing())
        firstControl.grabKeyboardFocus();
}

juce::Component* MainComponent::findShownPanel() const
{
    for (int i = getNumChildComponents(); --i >= 0;)
    {
        auto* child = getChildComponent (i);

        if (child == eulaPanel.get() || child == supportPanel.get())
            return child;
    }

    return nullptr;
}

void MainComponent::setMainControlsAccessible (bool shouldBeAccessible)
{
    for (auto* child : getChildren())
        if (child != eulaPanel.get() && child != supportPanel.get())
            child->setAccessible (shouldBeAccessible);
}
