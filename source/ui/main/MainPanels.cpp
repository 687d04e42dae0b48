#include "ui/main/MainPanels.h"

#include "ui/panels/LicenceText.h"

MainPanels::MainPanels (juce::Component& ownerToCover, std::function<bool()> isKeyboardFocusShown)
    : owner (ownerToCover)
    , keyboardFocusShown (std::move (isKeyboardFocusShown))
{
}

void MainPanels::openLicence (juce::Component& tab, float unit)
{
    // The new panel replaces (and so destroys) any earlier one.
    licence = std::make_unique<LicencePanel> (licenceText);
    opened (*licence, tab, unit);
}

void MainPanels::openSupport (juce::Component& tab, const SupportDetails& details, float unit)
{
    support = std::make_unique<SupportPanel>();
    support->settingsFolderPath = details.settingsFolderPath;
    support->settingsNotice = details.settingsNotice;
    support->productName = details.productName;
    support->productVersion = details.productVersion;
    support->launchURL = details.launchURL;
    opened (*support, tab, unit);
}

void MainPanels::opened (OverlayPanel& panel, juce::Component& tab, float unit)
{
    owner.addAndMakeVisible (panel);
    panel.cover (owner.getLocalBounds(), unit);
    panel.isKeyboardFocusShown = keyboardFocusShown;

    // Closed, the panel gives the focus back to its tab.
    panel.onClose = [this, &tab]
    {
        setOwnerControlsAccessible (true);

        if (tab.isShowing())
            tab.grabKeyboardFocus();
    };

    // The controls under the panel are out of reach until it closes.
    setOwnerControlsAccessible (false);

    if (keyboardFocusShown() && panel.isShowing())
        panel.getFirstControl().grabKeyboardFocus();
}

OverlayPanel* MainPanels::findShown() const
{
    // A closed panel is no child; the frontmost is the one in use.
    for (int i = owner.getNumChildComponents(); --i >= 0;)
        if (auto* panel = dynamic_cast<OverlayPanel*> (owner.getChildComponent (i)))
            return panel;

    return nullptr;
}

void MainPanels::setOwnerControlsAccessible (bool shouldBeAccessible)
{
    for (auto* child : owner.getChildren())
        if (dynamic_cast<OverlayPanel*> (child) == nullptr)
            child->setAccessible (shouldBeAccessible);
}

bool MainPanels::handleUnusedKey (const juce::KeyPress& key)
{
    auto* panel = findShown();

    if (key.isKeyCode (juce::KeyPress::escapeKey))
    {
        if (panel == nullptr)
            return false;

        panel->closeButton->press();
        return true;
    }

    if (! key.isKeyCode (juce::KeyPress::tabKey))
        return false;

    // The focus is on no control of the open panel, or of the owner when no panel is open (at
    // start the window itself has it).
    auto& scope = panel != nullptr ? static_cast<juce::Component&> (*panel) : owner;
    auto* focused = juce::Component::getCurrentlyFocusedComponent();

    if (focused != nullptr && scope.isParentOf (focused))
        return false;

    const auto controls = juce::KeyboardFocusTraverser().getAllComponents (&scope);

    if (controls.empty())
        return false;

    (key.getModifiers().isShiftDown() ? controls.back() : controls.front())->grabKeyboardFocus();
    return true;
}

void MainPanels::cover (float unit)
{
    for (auto* panel : { static_cast<OverlayPanel*> (licence.get()), static_cast<OverlayPanel*> (support.get()) })
        if (panel != nullptr)
            panel->cover (owner.getLocalBounds(), unit);
}

void MainPanels::repaintPanels()
{
    for (auto* panel : { static_cast<OverlayPanel*> (licence.get()), static_cast<OverlayPanel*> (support.get()) })
        if (panel != nullptr)
            panel->repaint();
}
