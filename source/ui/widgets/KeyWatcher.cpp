#include "ui/widgets/KeyWatcher.h"

KeyWatcher::KeyWatcher (juce::Component& watched, std::function<bool (const juce::KeyPress&)> onKey, std::function<void()> onMouseDown)
    : owner (watched)
    , keyUsed (std::move (onKey))
    , mousePressed (std::move (onMouseDown))
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
    return keyUsed (key);
}

void KeyWatcher::mouseDown (const juce::MouseEvent&)
{
    mousePressed();
}
