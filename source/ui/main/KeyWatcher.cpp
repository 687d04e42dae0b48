#include "ui/main/KeyWatcher.h"

#include "ui/main/MainComponent.h"

KeyWatcher::KeyWatcher (MainComponent& ownerToTell)
    : owner (ownerToTell)
{
    owner.addMouseListener (this, true);
    followWindow();
}

KeyWatcher::~KeyWatcher()
{
    if (window != nullptr)
        window->removeKeyListener (this);

    owner.removeMouseListener (this);
}

void KeyWatcher::followWindow()
{
    auto* topLevel = owner.getTopLevelComponent();

    if (topLevel == window.getComponent())
        return;

    if (window != nullptr)
        window->removeKeyListener (this);

    // The window's own listeners hear every key that no component inside it took.
    window = topLevel;
    window->addKeyListener (this);
}

bool KeyWatcher::keyPressed (const juce::KeyPress& key, juce::Component*)
{
    owner.setKeyboardFocusShown (true);
    return owner.handleUnusedKey (key);
}

void KeyWatcher::mouseDown (const juce::MouseEvent&)
{
    owner.setKeyboardFocusShown (false);
}
