// The application object and its one window.
#include "../main/MainComponent.h"
#include "WineRepaintPump.h"

#include <juce_gui_basics/juce_gui_basics.h>

class tw_installerApplication final : public juce::JUCEApplication
{
public:
    tw_installerApplication() = default;

    const juce::String getApplicationName() override { return applicationName; }
    const juce::String getApplicationVersion() override { return applicationVersion; }
    bool moreThanOneInstanceAllowed() override { return true; }

    void initialise (const juce::String&) override
    {
        mainWindow = std::make_unique<MainWindow> (getApplicationName());
    }

    void shutdown() override
    {
        mainWindow = nullptr;
    }

    void systemRequestedQuit() override
    {
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
            getConstrainer()->setFixedAspectRatio (1.0);
            centreWithSize (getWidth(), getHeight());
            setVisible (true);
        }

        void closeButtonPressed() override
        {
            JUCEApplication::getInstance()->systemRequestedQuit();
        }

    private:
        // Under Wine only; on Windows it does nothing (see WineRepaintPump.h).
        WineRepaintPump repaintPump { *this };

        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainWindow)
    };

private:
    std::unique_ptr<MainWindow> mainWindow;
};

START_JUCE_APPLICATION (tw_installerApplication)
