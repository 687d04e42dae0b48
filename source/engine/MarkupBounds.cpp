#include "engine/MarkupBounds.h"

#include <cstring>

namespace
{
    using Chars = juce::String::CharPointerType;

    bool startsWith (Chars p, const char* ascii)
    {
        return juce::CharacterFunctions::compareUpTo (p, juce::CharPointer_ASCII (ascii), (int) std::strlen (ascii)) == 0;
    }

    /** Past the first `end` at or after `p`, or at the end of the text when there is none. */
    Chars skipPast (Chars p, const char* end)
    {
        const auto at = p.indexOf (juce::CharPointer_ASCII (end));
        return at < 0 ? p.findTerminatingNull() : p + (at + (int) std::strlen (end));
    }

    /** Past the tag that starts after its '<' at `p`; `opens` tells whether it opened an element
        (ended by '>', not "/>"). A quoted value may hold '>', '/' and '<'. */
    Chars skipTag (Chars p, bool& opens)
    {
        opens = false;

        while (! p.isEmpty())
        {
            const auto c = *p;

            if (c == '"' || c == '\'')
            {
                const char quote[] = { (char) c, 0 };
                p = skipPast (p + 1, quote);
            }
            else if (c == '/' && p[1] == '>')
            {
                return p + 2;
            }
            else if (c == '>')
            {
                opens = true;
                return p + 1;
            }
            else
            {
                ++p;
            }
        }

        return p;
    }

    int findDeepestNesting (const juce::String& text)
    {
        int depth = 0, deepest = 0;

        for (auto p = text.getCharPointer(); ! p.isEmpty();)
        {
            if (*p != '<')
                ++p;
            else if (startsWith (p, "<!--"))
                p = skipPast (p + 4, "-->");
            else if (startsWith (p, "<![CDATA["))
                p = skipPast (p + 9, "]]>");
            else if (p[1] == '?')
                p = skipPast (p + 2, "?>");
            else if (p[1] == '/')
            {
                depth = juce::jmax (0, depth - 1);
                p = skipPast (p + 2, ">");
            }
            else
            {
                bool opens = false;
                p = skipTag (p + 1, opens);

                if (opens)
                    deepest = juce::jmax (deepest, ++depth);
            }
        }

        return deepest;
    }

    int countElementStarts (const juce::String& text)
    {
        int count = 0;

        for (auto p = text.getCharPointer(); ! p.isEmpty(); ++p)
            if (*p == '<' && p[1] != '/')
                ++count;

        return count;
    }
} // namespace

juce::String MarkupBounds::findExcess (const juce::String& text)
{
    if (findDeepestNesting (text) > maximumDepth)
        return "its elements nest deeper than " + juce::String (maximumDepth) + " levels";

    if (countElementStarts (text) > maximumElements)
        return "it holds more than " + juce::String (maximumElements) + " elements";

    return {};
}
