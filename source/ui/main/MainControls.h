// The main component's controls as one table that its painting, clicks, hints and screen-reader
// words all read, and the one list of the main view's reading order.
#pragma once

#include <juce_core/juce_core.h>

#include <array>

/** What a click on a control does. */
enum class ControlAction { openLicence, openManual, openWebsite, openSupport, toggleFormat, selectAll, install, cancelRun, showInFolder, retryFormat, showOtherCopy };

/** How the control looks and where it is kept: a tab face, a format row, INSTALL, SELECT ALL, the
    run's Cancel, or a result line's "Show in folder" or "Retry". */
enum class ControlKind { tab, formatRow, install, selectAll, cancel, showInFolder, retry };

/** When a control is shown: always, in the view where formats are chosen (until a run starts),
    while a run works, or in the result view after it. */
enum class ControlView { always, choosingFormats, running, finished };

/** One control of the main view. */
struct MainControl
{
    const char* name;  // the component name, which is its command
    const char* title; // what screen readers call it
    const char* hint;  // on the hint line while it is pointed at; nullptr leaves the line as it is
    const char* icon;  // the resource name of its picture (in buttonIcons or formatIcons), or nullptr
    ControlAction action;
    ControlKind kind;
    int index; // in the lists of its kind: the tab's or the format's index; INSTALL's picture follows the tabs'
    ControlView view;
};

/** Every control, in the order they are drawn: the tabs, the format rows, INSTALL, SELECT ALL,
    Cancel, the "Show in folder" and "Retry" buttons, and the other copies' "Show in folder". */
extern const std::array<MainControl, 17> mainControls;

/** The control of that component name, or nullptr. */
const MainControl* findMainControl (const juce::String& name);

/** Everything screen readers read in the main view, in the order they read it and Tab follows it:
    the controls by their names, the painted texts by names of their own ("RESULT_" and
    "PROGRESS_" followed by a format's name, and "RESULT_COPIES"). */
extern const std::array<const char*, 27> readingOrder;

/** The place of a name in readingOrder, counted from 1 as explicit focus orders are; 0 for none. */
int getReadingPlace (const juce::String& name);
