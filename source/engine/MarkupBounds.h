// How deep and how many elements a settings text may hold, checked before the XML parser sees it.
#pragma once

#include <juce_core/juce_core.h>

namespace MarkupBounds
{
    /** The framework's XML parser recurses once per nested element, and frees a tree by recursion
        too: a text beyond these could exhaust the stack. A settings file holds one element. */
    constexpr int maximumDepth = 32;
    constexpr int maximumElements = 1024;

    /** Why `text` is beyond the bounds ("its elements nest deeper than 32 levels", "it holds more
        than 1024 elements"), or an empty string when it is within them.

        Every '<' not followed by '/' is counted as an element, also inside comments and quoted
        values: the parser opens an element, and recurses, only at such a '<', so it can never open
        more elements, nor nest them deeper, than this count. The depth is read by one pass that
        follows tags, quoted values, comments, processing instructions and CDATA sections as the
        parser does; it keeps two counters and no stack, so no text can make it run out. */
    juce::String findExcess (const juce::String& text);
} // namespace MarkupBounds
