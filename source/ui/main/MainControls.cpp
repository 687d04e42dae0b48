#include "ui/main/MainControls.h"

// The format rows compose their hints when asked (install or update); SELECT ALL leaves the hint
// line as it is.
const std::array<MainControl, 17> mainControls { {
    { "EULA", "Licence agreement", "Click to read End-User License Agreement", "icon_eula_svg",
      ControlAction::openLicence, ControlKind::tab, 0, ControlView::always },
    { "MANUAL", "Manual", "Click to open product manual in your web browser", "icon_manual_svg",
      ControlAction::openManual, ControlKind::tab, 1, ControlView::always },
    { "WEBSITE", "Website", "Click to open product page on the Tarnwick website", "icon_web_svg",
      ControlAction::openWebsite, ControlKind::tab, 2, ControlView::always },
    { "SUPPORT", "Support", "Email and Discord support", "icon_help_svg",
      ControlAction::openSupport, ControlKind::tab, 3, ControlView::always },
    { "VST3", "VST3", nullptr, "icon_vst3_svg",
      ControlAction::toggleFormat, ControlKind::formatRow, 0, ControlView::choosingFormats },
    { "CLAP", "CLAP", nullptr, "icon_clap_svg",
      ControlAction::toggleFormat, ControlKind::formatRow, 1, ControlView::choosingFormats },
    { "AAX", "AAX", nullptr, "icon_aax_svg",
      ControlAction::toggleFormat, ControlKind::formatRow, 2, ControlView::choosingFormats },
    { "INSTALL", "Install", "Click to install selected. Shift-click to uninstall selected", "icon_install_svg",
      ControlAction::install, ControlKind::install, 4, ControlView::choosingFormats },
    { "SELECT_ALL", "Select all", nullptr, nullptr,
      ControlAction::selectAll, ControlKind::selectAll, 0, ControlView::choosingFormats },
    { "CANCEL", "Cancel", "Click to stop: formats not yet written stay as they were", nullptr,
      ControlAction::cancelRun, ControlKind::cancel, 0, ControlView::running },
    { "SHOW_VST3", "Show VST3 in folder", "Click to show VST3 in your file manager", nullptr,
      ControlAction::showInFolder, ControlKind::showInFolder, 0, ControlView::finished },
    { "SHOW_CLAP", "Show CLAP in folder", "Click to show CLAP in your file manager", nullptr,
      ControlAction::showInFolder, ControlKind::showInFolder, 1, ControlView::finished },
    { "SHOW_AAX", "Show AAX in folder", "Click to show AAX in your file manager", nullptr,
      ControlAction::showInFolder, ControlKind::showInFolder, 2, ControlView::finished },
    { "RETRY_VST3", "Retry VST3", "Click to run VST3 again", nullptr,
      ControlAction::retryFormat, ControlKind::retry, 0, ControlView::finished },
    { "RETRY_CLAP", "Retry CLAP", "Click to run CLAP again", nullptr,
      ControlAction::retryFormat, ControlKind::retry, 1, ControlView::finished },
    { "RETRY_AAX", "Retry AAX", "Click to run AAX again", nullptr,
      ControlAction::retryFormat, ControlKind::retry, 2, ControlView::finished },
    { "SHOW_COPIES", "Show the other copy in folder", "Click to show the first of them in your file manager", nullptr,
      ControlAction::showOtherCopy, ControlKind::showInFolder, -1, ControlView::finished },
} };

const MainControl* findMainControl (const juce::String& name)
{
    for (const auto& control : mainControls)
        if (name == control.name)
            return &control;

    return nullptr;
}

// The product line, the outcome of a run where the rows were, the choice of formats, a run's
// progress and its Cancel, each result line before its "Show in folder" or "Retry" and the other
// copies' line before its "Show in folder", the tabs and INSTALL, and the hint line last.
const std::array<const char*, 27> readingOrder { {
    "PRODUCT_LINE", "OUTCOME",
    "VST3", "CLAP", "AAX", "SELECT_ALL",
    "PROGRESS_VST3", "PROGRESS_CLAP", "PROGRESS_AAX", "CANCEL",
    "RESULT_VST3", "SHOW_VST3", "RETRY_VST3", "RESULT_CLAP", "SHOW_CLAP", "RETRY_CLAP", "RESULT_AAX", "SHOW_AAX", "RETRY_AAX",
    "RESULT_COPIES", "SHOW_COPIES",
    "EULA", "MANUAL", "WEBSITE", "SUPPORT", "INSTALL",
    "HINT_LINE",
} };

int getReadingPlace (const juce::String& name)
{
    for (size_t i = 0; i < readingOrder.size(); ++i)
        if (name == readingOrder[i])
            return (int) i + 1;

    return 0;
}
