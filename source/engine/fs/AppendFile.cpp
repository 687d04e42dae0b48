#include "engine/fs/AppendFile.h"

std::deque<juce::String> DurableFiles::AppendFile::partsOf (const juce::String& path)
{
    std::deque<juce::String> parts;

    for (const auto& part : juce::StringArray::fromTokens (path, "/\\", ""))
        if (part.isNotEmpty() && part != ".")
            parts.push_back (part);

    return parts;
}
