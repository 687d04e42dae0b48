#include "ui/style/Drawing.h"

#include "ui/style/Palette.h"

#include <BinaryData.h>

juce::Rectangle<float> UnitRect::toPixelsUnrounded (float unit) const
{
    return { x * unit, y * unit, width * unit, height * unit };
}

juce::Rectangle<int> UnitRect::toPixels (float unit) const
{
    return toPixelsUnrounded (unit).toNearestInt();
}

namespace Faces
{
    std::unique_ptr<juce::Drawable> createIcon (const char* resourceName)
    {
        int size = 0;
        const auto* data = BinaryData::getNamedResource (resourceName, size);
        auto icon = data != nullptr ? juce::Drawable::createFromImageData (data, (size_t) size) : nullptr;

        if (icon != nullptr)
            icon->replaceColour (juce::Colours::black, Palette::panel);

        return icon;
    }

    juce::Colour getFaceColour (const juce::Button& button)
    {
        if (button.isMouseButtonDown())
            return Palette::green;

        return Palette::grey.withAlpha (button.isMouseOver (false) ? alphaHovered : alphaHalf);
    }
} // namespace Faces
