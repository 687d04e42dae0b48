// The application object and its one window, and the program's entry point, which runs the command
// line without any window or display, or else starts the window.
#include "ui/main/MainComponent.h"
#include "app/Console.h"
#include "app/StartBounds.h"
#include "app/WineRepaintPump.h"
#include "engine/InstalledEntry.h"
#include "engine/WindowsApi.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <optional>

namespace
{
    /** The formats that --uninstall --confirm asks about, handed to the window that asks. */
    std::optional<std::array<bool, numFormats>> formatsToConfirm;
} // namespace

class tw_installerApplication final : public juce::JUCEApplication
{
public:
    tw_installerApplication() = default;

    const juce::String getApplicationName() override { return applicationName; }
    const juce::String getApplicationVersion() override { return applicationVersion; }
    // A second start opens its own window: the framework cannot hand a start over to the first
    // copy on Linux, and a finished window offers no new run. The engine keeps two runs apart.
    bool moreThanOneInstanceAllowed() override { return true; }

    void initialise (const juce::String&) override
    {
        if (formatsToConfirm.has_value())
            askThenRemove (*formatsToConfirm);
        else
            mainWindow = std::make_unique<MainWindow> (getApplicationName());
    }

    void shutdown() override
    {
        mainWindow = nullptr;
    }

    void systemRequestedQuit() override
    {
        // A run at work is cancelled and waited for, so that no format is left half-written: the
        // window (or the end of the Windows session, held meanwhile) waits until it is whole.
        if (mainWindow != nullptr)
            if (auto* content = dynamic_cast<MainComponent*> (mainWindow->getContentComponent()))
                if (content->closeWhenRunEnds ([] { quit(); }))
                    return;

        quit();
    }

    void anotherInstanceStarted (const juce::String&) override
    {
    }

    //==============================================================================
    class MainWindow final : public juce::DocumentWindow
    {
    public:
        explicit MainWindow (juce::String name)
            : DocumentWindow (name,
                              juce::Desktop::getInstance().getDefaultLookAndFeel().findColour (juce::ResizableWindow::backgroundColourId),
                              DocumentWindow::allButtons,
                              true)
        {
            setUsingNativeTitleBar (true);
            setContentOwned (new MainComponent(), true);
            setResizable (true, true);
            // Placed before the aspect ratio is fixed: on Windows the framework applies the ratio
            // to the whole window, frame included, whenever it is moved and sized at once.
            placeOnMainDisplay();
            getConstrainer()->setFixedAspectRatio (1.0);
            setVisible (true);
        }

        void closeButtonPressed() override
        {
            JUCEApplication::getInstance()->systemRequestedQuit();
        }

        void activeWindowStatusChanged() override
        {
            // Coming back to the window, the user may have changed the plug-in folders meanwhile.
            if (isActiveWindow())
                if (auto* content = dynamic_cast<MainComponent*> (getContentComponent()))
                    content->lookAgain();
        }

    private:
        /** Opens at the content's own size, or smaller where that and the frame would not fit the
            main display, centred with the title bar on screen. */
        void placeOnMainDisplay()
        {
            const auto* display = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay();

            if (display == nullptr)
            {
                centreWithSize (getWidth(), getHeight());
                return;
            }

            // The frame as the system reports it now. On X11 it is known only once a window manager
            // has framed the window, and without one there is none.
            const auto* peer = getPeer();
            const auto frameIfKnown = peer != nullptr ? peer->getFrameSizeIfPresent() : juce::ComponentPeer::OptionalBorderSize();
            const auto frame = frameIfKnown ? *frameIfKnown : juce::BorderSize<int>();
            setBounds (getStartBounds (display->userArea, frame, getWidth(), getConstrainer()->getMinimumWidth()));
        }

        // Under Wine only; on Windows it does nothing (see WineRepaintPump.h).
        WineRepaintPump repaintPump { *this };

        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainWindow)
    };

private:
    /** Asks once whether the installed ones of `requested` go; if so, the window removes them as
        shift-INSTALL would and shows the outcome. The uninstall command of Installed apps. */
    void askThenRemove (const std::array<bool, numFormats>& requested)
    {
        // Only read for the question: the window's own start repairs and writes, once, after it.
        const auto present = InstallSession (SystemLocations::fromSystem(), InstallSession::Start::readOnly).getPresentFormats();
        std::array<bool, numFormats> installed {};

        for (size_t i = 0; i < installed.size(); ++i)
            installed[i] = requested[i] && present[i];

        const auto question = juce::MessageBoxOptions()
                                  .withIconType (juce::MessageBoxIconType::QuestionIcon)
                                  .withTitle (getApplicationName())
                                  .withMessage (InstalledEntry::getRemovalQuestion (installed))
                                  .withButton ("Remove")
                                  .withButton ("Cancel");

        juce::NativeMessageBox::showAsync (question, [this, requested] (int button)
        {
            if (button != 0)
            {
                quit();
                return;
            }

            mainWindow = std::make_unique<MainWindow> (getApplicationName());

            if (auto* content = dynamic_cast<MainComponent*> (mainWindow->getContentComponent()))
            {
                // What its start found present, after any repair of an interrupted run.
                auto formats = content->getSelection();

                for (size_t i = 0; i < requested.size(); ++i)
                    formats[i] = formats[i] && requested[i];

                content->setSelection (formats);
                content->setUninstallMode (true);
                // The run works beside the window: its code is known only when it ends.
                content->setOnRunFinished ([this] (const RunReport& report) { setApplicationReturnValue (CommandLine::getExitCode (report)); });
                content->installSelectedFormats();
            }
        });
    }

    std::unique_ptr<MainWindow> mainWindow;
};

//==============================================================================
JUCE_CREATE_APPLICATION_DEFINE (tw_installerApplication)

namespace
{
    /** With arguments, the command line: no window, no display, nothing of the GUI brought up.
        Without, the window, where one can be shown. */
    int startProgram (const juce::StringArray& arguments, const std::function<int()>& startWindow)
    {
        if (arguments.isEmpty())
        {
            const auto noDisplayReason = Console::whyNoDisplay();

            if (noDisplayReason.isEmpty())
                return startWindow();

            Console::connect().err (juce::String (applicationName) + ": " + noDisplayReason + " (see " + applicationName + " --help for the commands that need none)");
            return CommandLine::noDisplay;
        }

        const auto options = CommandLine::parse (arguments);

        // Asking needs the window's side of the program, and so a display.
        if (options.confirm && options.error.isEmpty())
        {
            const auto noDisplayReason = Console::whyNoDisplay();

            if (noDisplayReason.isNotEmpty())
            {
                Console::connect().err (juce::String (applicationName) + ": --confirm asks in a window, and " + noDisplayReason);
                return CommandLine::noDisplay;
            }

            formatsToConfirm = options.formats;
            return startWindow();
        }

        return CommandLine::run (options, SystemLocations::fromSystem(), Console::connect());
    }
} // namespace

#if JUCE_WINDOWS
namespace
{
    /** DLLs load only from System32, never from beside the exe or the working folder, where anyone
        may have put one. DLLs that are not KnownDLLs are delay-loaded (see cmake/Windows.cmake), so
        this covers them too. It runs before the static objects are made, as JUCE's timer set-up
        among them already calls into the delay-loaded winmm. */
    __attribute__ ((constructor (101))) void loadDllsOnlyFromSystem32()
    {
        SetDefaultDllDirectories (LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
} // namespace

extern "C" int __stdcall WinMain (struct HINSTANCE__*, struct HINSTANCE__*, char*, int)
{
    // Already done before the static objects were made; said again where a reader looks first.
    loadDllsOnlyFromSystem32();

    // Held from here on: the copy kept for Installed apps is made from this very file.
    InstalledEntry::holdOwnExecutable();

    juce::JUCEApplicationBase::createInstance = &juce_CreateApplication;
    return startProgram (juce::JUCEApplicationBase::getCommandLineParameterArray(),
                         []
                         { return juce::JUCEApplicationBase::main(); });
}
#else
int main (int argc, char* argv[])
{
    juce::JUCEApplicationBase::createInstance = &juce_CreateApplication;

    juce::StringArray arguments;

    for (int i = 1; i < argc; ++i)
        arguments.add (juce::CharPointer_UTF8 (argv[i]));

    return startProgram (arguments, [&]
                         { return juce::JUCEApplicationBase::main (argc, (const char**) argv); });
}
#endif
