#include "engine/fs/NewFile.h"

namespace DurableFiles
{
    bool writeWholeNewFile (const Folder& folder, const juce::String& name, const juce::MemoryBlock& bytes, Readers readers)
    {
        const auto temporaryName = "." + name + ".new-" + juce::String::toHexString (juce::Random::getSystemRandom().nextInt64());
        auto ok = false;

        {
            NewFile file (folder, temporaryName, readers);
            ok = file.isOpen() && file.write (bytes.getData(), bytes.getSize()) && file.finish (juce::Time::getCurrentTime());
        }

        // Renamed within the held folder, and only onto a free name; the temporary name goes either way.
        ok = ok && flushFile (folder, temporaryName) && renameEntry (folder, temporaryName, folder, name) == 0;

        if (! ok)
            removeFile (folder, temporaryName);

        return ok && flushFolder (folder);
    }
} // namespace DurableFiles
