#include "main/MainControls.h"

// The format rows compose their hints when asked (install or update); SELECT ALL leaves the hint
// line as it is.
const std::array<MainControl, 9> mainControls { {
    { "EULA", "Licence agreement", 7, "Click to read End-User License Agreement", "icon_eula_svg",
      ControlAction::openLicence, ControlKind::tab, 0, ControlView::always },
    { "MANUAL", "Manual", 8, "Click to open product manual in your web browser", "icon_manual_svg",
      ControlAction::openManual, ControlKind::tab, 1, ControlView::always },
    { "WEBSITE", "Website", 9, "Click to open product page on the Tarnwick website", "icon_web_svg",
      ControlAction::openWebsite, ControlKind::tab, 2, ControlView::always },
    { "SUPPORT", "Support", 10, "Email and Discord support", "icon_help_svg",
      ControlAction::openSupport, ControlKind::tab, 3, ControlView::always },
    { "VST3", "VST3", 3, nullptr, "icon_vst3_svg",
      ControlAction::toggleFormat, ControlKind::formatRow, 0, ControlView::choosingFormats },
    { "CLAP", "CLAP", 4, nullptr, "icon_clap_svg",
      ControlAction::toggleFormat, ControlKind::formatRow, 1, ControlView::choosingFormats },
    { "AAX", "AAX", 5, nullptr, "icon_aax_svg",
      ControlAction::toggleFormat, ControlKind::formatRow, 2, ControlView::choosingFormats },
    { "INSTALL", "Install", 11, "Click to install selected. Shift-click to uninstall selected", "icon_install_svg",
      ControlAction::install, ControlKind::install, 4, ControlView::choosingFormats },
    { "SELECT_ALL", "Select all", 6, nullptr, nullptr,
      ControlAction::selectAll, ControlKind::selectAll, 0, ControlView::choosingFormats },
} };

const MainControl* findMainControl (const juce::String& name)
{
    for (const auto& control : mainControls)
        if (name == control.name)
            return &control;

    return nullptr;
}
