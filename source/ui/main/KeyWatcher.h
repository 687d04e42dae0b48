// Tells the main component when the keyboard or the mouse is used anywhere in its window.
#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

class MainComponent;

/**
    Listens to the keys of the window that holds the main component and to mouse presses on the
    component and its children. A key press turns the keyboard focus outline and the focus hints
    on, a mouse press turns them off, so that mouse use looks as it would without a keyboard.
    Keys that nothing in the window took go to the main component.
*/
class KeyWatcher final : private juce::KeyListener,
                         private juce::MouseListener
{
public:
    explicit KeyWatcher (MainComponent& owner);
    ~KeyWatcher() override;

    /** Listens to the owner's window anew; called when the owner gets another parent. */
    void followWindow();

private:
    bool keyPressed (const juce::KeyPress&, juce::Component*) override;
    void mouseDown (const juce::MouseEvent&) override;

    MainComponent& owner;
    juce::Component::SafePointer<juce::Component> window;

    JUCE_DECLARE_NON_COPYABLE (KeyWatcher)
};
