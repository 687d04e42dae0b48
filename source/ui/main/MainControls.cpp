#include "ui/main/MainControls.h"

// The format rows compose their hints when asked (install or update); SELECT ALL leaves the hint
// line as it is. Reading order: the product line (1), the outcome (2), the format rows and SELECT
// ALL, the progress bars (7 to 9), Cancel, each format's result line and its "Show in folder" (11
// to 16), the tabs, INSTALL and the hint line last.
const std::array<MainControl, 13> mainControls { {
    { "EULA", "Licence agreement", 17, "Click to read End-User License Agreement", "icon_eula_svg",
      ControlAction::openLicence, ControlKind::tab, 0, ControlView::always },
    { "MANUAL", "Manual", 18, "Click to open product manual in your web browser", "icon_manual_svg",
      ControlAction::openManual, ControlKind::tab, 1, ControlView::always },
    { "WEBSITE", "Website", 19, "Click to open product page on the Tarnwick website", "icon_web_svg",
      ControlAction::openWebsite, ControlKind::tab, 2, ControlView::always },
    { "SUPPORT", "Support", 20, "Email and Discord support", "icon_help_svg",
      ControlAction::openSupport, ControlKind::tab, 3, ControlView::always },
    { "VST3", "VST3", 3, nullptr, "icon_vst3_svg",
      ControlAction::toggleFormat, ControlKind::formatRow, 0, ControlView::choosingFormats },
    { "CLAP", "CLAP", 4, nullptr, "icon_clap_svg",
      ControlAction::toggleFormat, ControlKind::formatRow, 1, ControlView::choosingFormats },
    { "AAX", "AAX", 5, nullptr, "icon_aax_svg",
      ControlAction::toggleFormat, ControlKind::formatRow, 2, ControlView::choosingFormats },
    { "INSTALL", "Install", 21, "Click to install selected. Shift-click to uninstall selected", "icon_install_svg",
      ControlAction::install, ControlKind::install, 4, ControlView::choosingFormats },
    { "SELECT_ALL", "Select all", 6, nullptr, nullptr,
      ControlAction::selectAll, ControlKind::selectAll, 0, ControlView::choosingFormats },
    { "CANCEL", "Cancel", 10, "Click to stop: formats not yet written stay as they were", nullptr,
      ControlAction::cancelRun, ControlKind::cancel, 0, ControlView::running },
    { "SHOW_VST3", "Show VST3 in folder", 12, "Click to show VST3 in your file manager", nullptr,
      ControlAction::showInFolder, ControlKind::showInFolder, 0, ControlView::finished },
    { "SHOW_CLAP", "Show CLAP in folder", 14, "Click to show CLAP in your file manager", nullptr,
      ControlAction::showInFolder, ControlKind::showInFolder, 1, ControlView::finished },
    { "SHOW_AAX", "Show AAX in folder", 16, "Click to show AAX in your file manager", nullptr,
      ControlAction::showInFolder, ControlKind::showInFolder, 2, ControlView::finished },
} };

const MainControl* findMainControl (const juce::String& name)
{
    for (const auto& control : mainControls)
        if (name == control.name)
            return &control;

    return nullptr;
}
