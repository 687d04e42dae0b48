#include "ui/panels/PanelParts.h"

#include "ui/widgets/AddressNotice.h"

namespace PanelParts
{
    std::unique_ptr<TransparentButton> createTransparentButton (juce::Component& parent,
                                                                const juce::String& name,
                                                                juce::Button::Listener& listener)
    {
        auto button = std::make_unique<TransparentButton> (listener);
        parent.addAndMakeVisible (*button);
        button->setName (name);
        button->setAlpha (0.0f);
        button->addListener (&listener);
        return button;
    }

    URLLauncher getDefaultLauncher()
    {
        return [] (const juce::URL& url) { AddressNotice::openAddress (url.toString (true)); };
    }
} // namespace PanelParts
