#include "main/MainComponent.h"

#include "main/KeyWatcher.h"
#include "style/Palette.h"

#include <BinaryData.h>

const juce::StringArray tabNames { "EULA", "MANUAL", "WEBSITE", "SUPPORT" };

namespace
{
    std::unique_ptr<juce::Drawable> createDrawable (const char* data, int size)
    {
        return juce::Drawable::createFromImageData (data, (size_t) size);
    }

    /** An icon drawn in the panel colour: its opaque black is replaced. */
    std::unique_ptr<juce::Drawable> createIcon (const char* data, int size)
    {
        auto icon = createDrawable (data, size);

        if (icon != nullptr)
            icon->replaceColour (juce::Colours::black, Palette::panel);

        return icon;
    }
} // namespace

MainComponent::MainComponent()
    : MainComponent (SystemLocations::fromSystem())
{
}

MainComponent::MainComponent (const SystemLocations& locations)
    : temporaryFolder (locations.temporaryFolder)
    , keptCopyFolder (locations.keptCopyFolder)
{
    juce::LookAndFeel::setDefaultLookAndFeel (&customLookAndFeel);

    unit = 9.0f;
    uninstallMode = false;
    runFinished = false;

    formatIcons[0] = createIcon (BinaryData::icon_vst3_svg, BinaryData::icon_vst3_svgSize);
    formatIcons[1] = createIcon (BinaryData::icon_clap_svg, BinaryData::icon_clap_svgSize);
    formatIcons[2] = createIcon (BinaryData::icon_aax_svg, BinaryData::icon_aax_svgSize);
    buttonIcons[0] = createIcon (BinaryData::icon_eula_svg, BinaryData::icon_eula_svgSize);
    buttonIcons[1] = createIcon (BinaryData::icon_manual_svg, BinaryData::icon_manual_svgSize);
    buttonIcons[2] = createIcon (BinaryData::icon_web_svg, BinaryData::icon_web_svgSize);
    buttonIcons[3] = createIcon (BinaryData::icon_help_svg, BinaryData::icon_help_svgSize);
    buttonIcons[4] = createIcon (BinaryData::icon_install_svg, BinaryData::icon_install_svgSize);
    logo = createDrawable (BinaryData::logo_tarnwick_svg, BinaryData::logo_tarnwick_svgSize);
    warningIcon = createDrawable (BinaryData::icon_warning_svg, BinaryData::icon_warning_svgSize);

    platformSuffix = Product::platformSuffix;
    websiteURL = juce::URL (Product::websiteAddress);
    manualURL = juce::URL (Product::manualAddress);

    const auto setup = startInstaller (locations);
    productName = setup.productName;
    productVersion = setup.productVersion;
    settingsFolder = setup.settingsFolder;
    installFolders = setup.installFolders;

    for (size_t i = 0; i < tabButtons.size(); ++i)
        tabButtons[i] = createButton (tabNames[(int) i]);

    for (int i = 0; i < numFormats; ++i)
    {
        selected[(size_t) i] = getBundlePath (installFolders[(size_t) i], productName, i).exists();
        formatButtons[(size_t) i] = createButton (formatNames[i]);
    }

    installButton = createButton ("INSTALL");
    selectAllButton = createButton ("SELECT_ALL");

    // Invisible: the texts are painted, these only let screen readers read them.
    productText = std::make_unique<ReadableText> (juce::AccessibilityRole::staticText,
                                                  [this] { return productName + ", version " + productVersion + platformSuffix; });
    addAndMakeVisible (*productText);
    outcomeText = std::make_unique<ReadableText> (juce::AccessibilityRole::staticText, [this] { return getOutcomeText(); });
    addChildComponent (*outcomeText);

    hintLabel = std::make_unique<juce::Label>();
    addAndMakeVisible (*hintLabel);
    hintLabel->setJustificationType (juce::Justification::centred);
    hintLabel->setColour (juce::Label::textColourId, Palette::grey.withAlpha ((juce::uint8) 0x80));
    hintLabel->setText (applicationVersion, juce::dontSendNotification);

    // A click on no control leaves the focus where it is, as it leaves everything else.
    setMouseClickGrabsKeyboardFocus (false);
    placeInReadingOrder();
    keyWatcher = std::make_unique<KeyWatcher> (*this);

    setSize (600, 600);
}

MainComponent::~MainComponent()
{
    // The focused control loses the focus as it goes, after the hint line went: nothing may act on it.
    keyboardFocusShown = false;
    keyWatcher = nullptr;

    // A leftover of older installers of this maker; only a file of that name is removed.
    if (temporaryFolder != juce::File())
    {
        const auto script = temporaryFolder.getChildFile ("script.sh");

        if (script.existsAsFile())
            script.deleteFile();
    }
}

std::unique_ptr<juce::TextButton> MainComponent::createButton (const juce::String& name)
{
    auto button = PanelParts::createTransparentButton (*this, name, *this);
    describe (*button);
    return button;
}

FormatStatus MainComponent::detectInstallState (int formatIndex) const
{
    if (! juce::isPositiveAndBelow (formatIndex, numFormats))
        return {};

    return detectFormatStatus (installFolders[(size_t) formatIndex], productName, productVersion, formatIndex);
}
