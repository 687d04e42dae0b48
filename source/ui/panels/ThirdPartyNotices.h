// The third-party notices compiled into the program, which the licence panel shows below the licence.
#pragma once

#include <juce_core/juce_core.h>

/** Each compiled-in component's copyright and licence text, headed "THIRD-PARTY NOTICES": written at
    build time by tools/sbom/make_sbom.py (cmake/Notices.cmake). In the Windows exe it is the text of
    the THIRD-PARTY-NOTICES.txt released beside it, with LF line ends.
*/
juce::String getThirdPartyNotices();

/** A licence agreement with the third-party notices below it, as the licence panel shows them. */
juce::String withThirdPartyNotices (const juce::String& licence);
