// Tells its owner when the keyboard or the mouse is used anywhere in the owner's window.
#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

/**
    Listens to the keys of the window that holds a component and to mouse presses on the component
    and its children. A key press is handed to `onKey`, which says whether it used it; a mouse
    press calls `onMouseDown`. Keys reach it only when nothing in the window took them.
*/
class KeyWatcher final : private juce::KeyListener,
                         private juce::MouseListener
{
public:
    KeyWatcher (juce::Component& watched, std::function<bool (const juce::KeyPress&)> onKey, std::function<void()> onMouseDown);
    ~KeyWatcher() override;

    /** Listens to the watched component's window anew; called when it gets another parent. */
    void followWindow();

private:
    bool keyPressed (const juce::KeyPress&, juce::Component*) override;
    void mouseDown (const juce::MouseEvent&) override;

    juce::Component& owner;
    const std::function<bool (const juce::KeyPress&)> keyUsed;
    const std::function<void()> mousePressed;
    juce::Component::SafePointer<juce::Component> window;

    JUCE_DECLARE_NON_COPYABLE (KeyWatcher)
};
