// Puts a component on the (virtual) desktop, moves, presses and releases the mouse over it, and
// types keys into it.
#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#if JUCE_LINUX
 #include <dlfcn.h>
#endif

/** Drives a component through the framework's own mouse path, as a person's pointer would: the
    system pointer is moved there and the window is told of the move, so hover and press states,
    enter and exit callbacks and isMouseOver() all see it. Needs a display (tests run under Xvfb). */
class DesktopPointer final
{
public:
    explicit DesktopPointer (juce::Component& componentToShow)
        : component (componentToShow)
    {
        ignoreXErrorsLikeTheApplication();
        component.setTopLeftPosition (0, 0);
        component.setVisible (true);
        // As the main window does; a window without a title bar asks for decoration hints that a
        // display without a window manager does not know.
        component.addToDesktop (juce::ComponentPeer::windowHasTitleBar | juce::ComponentPeer::windowAppearsOnTaskbar);
    }

    ~DesktopPointer()
    {
        if (juce::ModifierKeys::currentModifiers.isShiftDown())
            holdShift (false);

        leave(); // so no hover state outlives the test
        component.removeFromDesktop();
    }

    /** Moves the pointer to a point of the given child (or of the component), in its coordinates. */
    void moveTo (const juce::Component& target, juce::Point<int> localPoint)
    {
        send (component.getLocalPoint (&target, localPoint), buttons);
    }

    void moveToCentreOf (const juce::Component& target)
    {
        moveTo (target, target.getLocalBounds().getCentre());
    }

    /** Moves off the component, just right of it (still on a 640 pixel wide screen for a
        600 pixel component). */
    void leave()
    {
        send ({ component.getWidth() + 15, 10 }, buttons);
    }

    void press()
    {
        buttons = juce::ModifierKeys (juce::ModifierKeys::leftButtonModifier);
        send (lastPosition, buttons);
    }

    void release()
    {
        buttons = juce::ModifierKeys();
        send (lastPosition, buttons);
    }

    /** A full click at the centre of the given child. */
    void clickOn (const juce::Component& target)
    {
        moveToCentreOf (target);
        press();
        release();
    }

    /** A key typed into the window, through the framework's own key path: the focused component
        first, then its parents, then Tab's move to the next control. */
    void type (const juce::KeyPress& key)
    {
        if (auto* peer = component.getPeer())
            peer->handleKeyPress (key);
    }

    /** Holds or lets go of shift, as the window sees it. */
    void holdShift (bool down)
    {
        juce::ModifierKeys::currentModifiers = down ? juce::ModifierKeys (juce::ModifierKeys::shiftModifier)
                                                    : juce::ModifierKeys();

        if (auto* peer = component.getPeer())
            peer->handleModifierKeysChange();
    }

    /** The application lets JUCE log X errors and go on (a display without a window manager lacks
        some of the atoms a new window is given); a test process has no application object, so
        Xlib's default handler would end it instead. */
    static void ignoreXErrorsLikeTheApplication()
    {
       #if JUCE_LINUX
        using ErrorHandler = int (*) (void*, void*);
        using SetErrorHandler = ErrorHandler (*) (ErrorHandler);

        if (auto* xlib = dlopen ("libX11.so.6", RTLD_LAZY))
            if (auto* setHandler = reinterpret_cast<SetErrorHandler> (dlsym (xlib, "XSetErrorHandler")))
                setHandler ([] (void*, void*) { return 0; });
       #endif
    }

private:
    void send (juce::Point<int> positionInComponent, juce::ModifierKeys mods)
    {
        lastPosition = positionInComponent;
        auto* peer = component.getPeer();

        if (peer == nullptr)
            return;

        // The live pointer position is what isMouseOver() asks for; the event moves the
        // framework's mouse source (component under the mouse, enter, exit, down, up).
        juce::Desktop::setMousePosition (component.localPointToGlobal (positionInComponent));
        peer->handleMouseEvent (juce::MouseInputSource::InputSourceType::mouse,
                                positionInComponent.toFloat(),
                                mods,
                                juce::MouseInputSource::defaultPressure,
                                juce::MouseInputSource::defaultOrientation,
                                juce::Time::currentTimeMillis());
    }

    juce::Component& component;
    juce::Point<int> lastPosition;
    juce::ModifierKeys buttons;

    JUCE_DECLARE_NON_COPYABLE (DesktopPointer)
};
