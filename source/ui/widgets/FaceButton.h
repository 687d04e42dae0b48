// A button that shows a face of its own: a rounded face with a picture or a word on it, drawn by
// the look-and-feel.
#pragma once

#include "ui/widgets/AccessibleControls.h"

/**
    A clickable face: the tabs, INSTALL and the support panel's sections show a picture on it,
    SELECT ALL, Cancel and "Show in folder" a word (the button's text). Its measures are in layout
    units of the view it sits in, which the owner sets with its bounds.
*/
class FaceButton final : public TransparentButton
{
public:
    /** How the face looks: a picture on a grey face; a word on a faint face (on a faint face that
        lightens under the pointer); or a dark word on a grey face. */
    enum class Style { picture, faintWord, faintWordLit, word };

    FaceButton (juce::Button::Listener& clickListener, const juce::String& name, Style style);

    /** What draws faces: the installer's look-and-feel. */
    struct LookAndFeelMethods
    {
        virtual ~LookAndFeelMethods() = default;
        virtual void drawFaceButton (juce::Graphics&, const FaceButton&) = 0;
    };

    //==============================================================================
    const Style style;
    std::unique_ptr<juce::Drawable> icon; // the picture, for Style::picture
    float iconInset = 0.0f;               // the picture's distance from the face's edges
    float textHeight = 0.0f;              // the word's
    float unit = 9.0f;                    // the layout unit of the view the button sits in

    void paintButton (juce::Graphics&, bool isMouseOverButton, bool isButtonDown) override;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (FaceButton)
};
