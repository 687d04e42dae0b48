#include "ui/widgets/AddressNotice.h"

#include "ui/shell/UserShell.h"

namespace
{
    const juce::String heading ("Open this yourself");
    const juce::String explanation ("The installer runs with administrator rights, so it starts no browser, mail client "
                                    "or file manager itself. Copy this into yours:");

    void openOrShow (const juce::Result& opened, const juce::String& address)
    {
        if (opened.failed())
            AddressNotice::show (address);
    }
} // namespace

namespace AddressNotice
{
    void openAddress (const juce::String& address)
    {
        openOrShow (UserShell::openAddress (address), address);
    }

    void revealFile (const juce::File& file)
    {
        openOrShow (UserShell::revealFile (file), file.getFullPathName());
    }

    juce::AlertWindow& show (const juce::String& address)
    {
        auto window = std::make_unique<juce::AlertWindow> (heading, explanation, juce::MessageBoxIconType::InfoIcon);
        window->addTextEditor (addressFieldName, address);
        window->addButton ("OK", 0, juce::KeyPress (juce::KeyPress::returnKey), juce::KeyPress (juce::KeyPress::escapeKey));

        auto* field = window->getTextEditor (addressFieldName);
        field->setReadOnly (true);
        field->setCaretVisible (true);
        field->setTitle ("Address to open");

        auto& shown = *window;
        window.release()->enterModalState (true, nullptr, true);
        field->grabKeyboardFocus();
        field->selectAll();

        juce::AccessibilityHandler::postAnnouncement (explanation + " " + address,
                                                      juce::AccessibilityHandler::AnnouncementPriority::high);
        return shown;
    }
} // namespace AddressNotice
