#include "ui/main/MainComponent.h"

#include "engine/OwnLeftover.h"

#include "ui/main/KeyWatcher.h"
#include "ui/main/ShutdownBlock.h"
#include "ui/style/Drawing.h"
#include "ui/style/Palette.h"

#include <BinaryData.h>


namespace
{
    std::unique_ptr<juce::Drawable> createDrawable (const char* data, int size)
    {
        return juce::Drawable::createFromImageData (data, (size_t) size);
    }
} // namespace

namespace
{
    /** What the start could not do as usual (a settings file ignored, a repair left to another
        copy), each as a sentence. */
    juce::String describeStartNotices (const InstallerSetup& setup)
    {
        juce::StringArray notices (setup.repairNotices);

        if (setup.settingsNotice.isNotEmpty())
            notices.insert (0, setup.settingsNotice);

        for (auto& notice : notices)
            notice = notice.substring (0, 1).toUpperCase() + notice.substring (1) + ".";

        return notices.joinIntoString (" ");
    }
} // namespace

MainComponent::MainComponent()
    : MainComponent (SystemLocations::fromSystem())
{
}

MainComponent::MainComponent (const SystemLocations& locations)
    : temporaryFolder (locations.temporaryFolder)
    , keptCopyFolder (locations.keptCopyFolder)
    , hostFolders (locations.hostFolders)
{
    juce::LookAndFeel::setDefaultLookAndFeel (&customLookAndFeel);

    unit = 9.0f;
    uninstallMode = false;
    runFinished = false;

    for (const auto& control : mainControls)
        if (control.icon != nullptr)
            getIconHolder (control) = Faces::createIcon (control.icon);

    logo = createDrawable (BinaryData::logo_tarnwick_svg, BinaryData::logo_tarnwick_svgSize);
    warningIcon = createDrawable (BinaryData::icon_warning_svg, BinaryData::icon_warning_svgSize);

    platformSuffix = Product::platformSuffix;
    websiteURL = juce::URL (Product::websiteAddress);
    manualURL = juce::URL (Product::manualAddress);

    const auto setup = startInstaller (locations);
    productName = setup.productName;
    productVersion = setup.productVersion;
    settingsFolder = setup.settingsFolder;
    settingsNotice = describeStartNotices (setup);
    installFolders = setup.installFolders;
    selected = findPresentBundles (setup);

    for (const auto& control : mainControls)
        getButtonHolder (control) = createButton (control);

    // Invisible: the texts are painted, these only let screen readers read them.
    productText = std::make_unique<ReadableText> (juce::AccessibilityRole::staticText,
                                                  [this] { return productName + ", version " + productVersion + platformSuffix; });
    addAndMakeVisible (*productText);
    outcomeText = std::make_unique<ReadableText> (juce::AccessibilityRole::staticText, [this] { return getOutcomeText(); });
    addChildComponent (*outcomeText);

    for (int i = 0; i < numFormats; ++i)
    {
        const auto index = (size_t) i;
        resultLineTexts[index] = std::make_unique<ReadableText> (juce::AccessibilityRole::staticText, [this, i] { return getResultLine (i); });
        addChildComponent (*resultLineTexts[index]);

        progressReadouts[index] = std::make_unique<ProgressReadout> ([this, i] { return getProgressFraction (i); },
                                                                     [this, i] { return getProgressText (i); });
        progressReadouts[index]->setTitle (formatNames[i]);
        addChildComponent (*progressReadouts[index]);
    }

    hintLabel = std::make_unique<juce::Label>();
    addAndMakeVisible (*hintLabel);
    hintLabel->setJustificationType (juce::Justification::centred);
    hintLabel->setColour (juce::Label::textColourId, Palette::grey.withAlpha (Faces::alphaHalf));
    hintLabel->setText (settingsNotice.isNotEmpty() ? settingsNotice : juce::String (applicationVersion), juce::dontSendNotification);

    // Said once the window is up, through whatever `announce` is by then.
    if (settingsNotice.isNotEmpty())
        juce::MessageManager::callAsync ([safe = juce::Component::SafePointer<MainComponent> (this)]
                                         {
                                             if (safe != nullptr)
                                                 safe->announce (safe->settingsNotice);
                                         });

    // A click on no control leaves the focus where it is, as it leaves everything else.
    setMouseClickGrabsKeyboardFocus (false);
    placeInReadingOrder();
    showView (ControlView::choosingFormats);
    keyWatcher = std::make_unique<KeyWatcher> (*this);

    setSize (600, 600);
}

MainComponent::~MainComponent()
{
    // A run still at work stops at its next piece; its workers use this component's members.
    if (isRunWorking())
    {
        runProgress->cancelRequested = true;
        runWorker.join();
    }

    stopTimer();

    // The focused control loses the focus as it goes, after the hint line went: nothing may act on it.
    keyboardFocusShown = false;
    keyWatcher = nullptr;

    // A leftover of older installers of this maker: only this account's own plain file of that
    // name, in a temporary folder that others may share.
    if (temporaryFolder != juce::File())
        removeOwnPlainFile (temporaryFolder, "script.sh");
}

std::unique_ptr<juce::TextButton> MainComponent::createButton (const MainControl& control)
{
    auto button = PanelParts::createTransparentButton (*this, control.name, *this);
    describe (*button, control);
    return button;
}

std::unique_ptr<juce::TextButton>& MainComponent::getButtonHolder (const MainControl& control)
{
    switch (control.kind)
    {
        case ControlKind::tab:
            return tabButtons[(size_t) control.index];
        case ControlKind::formatRow:
            return formatButtons[(size_t) control.index];
        case ControlKind::install:
            return installButton;
        case ControlKind::cancel:
            return cancelButton;
        case ControlKind::showInFolder:
            return showInFolderButtons[(size_t) control.index];
        case ControlKind::selectAll:
            break;
    }

    return selectAllButton;
}

std::unique_ptr<juce::Drawable>& MainComponent::getIconHolder (const MainControl& control)
{
    // The tabs' pictures and then INSTALL's are one list; the controls without a picture are never asked.
    return control.kind == ControlKind::formatRow ? formatIcons[(size_t) control.index] : buttonIcons[(size_t) control.index];
}

FormatStatus MainComponent::detectInstallState (int formatIndex) const
{
    if (! juce::isPositiveAndBelow (formatIndex, numFormats))
        return {};

    if (usesSnapshot())
        return snapshot.statuses[(size_t) formatIndex];

    return detectFormatStatus (installFolders[(size_t) formatIndex], productName, productVersion, formatIndex);
}

bool MainComponent::isBundlePresent (int formatIndex) const
{
    if (! juce::isPositiveAndBelow (formatIndex, numFormats))
        return false;

    // Only a missing bundle reads NOT INSTALLED.
    if (usesSnapshot())
        return snapshot.statuses[(size_t) formatIndex].state != InstallState::NotInstalled;

    return getBundlePath (installFolders[(size_t) formatIndex], productName, formatIndex).exists();
}

bool MainComponent::usesSnapshot() const
{
    return isRunWorking() || runFinished;
}
