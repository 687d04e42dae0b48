#include "ui/widgets/FaceButton.h"

FaceButton::FaceButton (juce::Button::Listener& clickListener, const juce::String& name, Style faceStyle)
    : TransparentButton (clickListener)
    , style (faceStyle)
{
    setName (name);
    addListener (&clickListener);

    // Drawn as if by its parent: the anti-aliased edge of the face may touch the next pixel.
    setPaintingIsUnclipped (true);
}

void FaceButton::paintButton (juce::Graphics& g, bool, bool)
{
    if (auto* drawer = dynamic_cast<LookAndFeelMethods*> (&getLookAndFeel()))
        drawer->drawFaceButton (g, *this);
}
