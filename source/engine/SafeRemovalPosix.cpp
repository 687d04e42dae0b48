#include "engine/SafeRemoval.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{
    struct Remover
    {
        const std::function<void (const juce::File&)>& beforeEntry;
        RemovalOutcome outcome;

        void resisted (const juce::File& path, int error) { outcome.add (path, error); }

        void removeEntry (int parent, const std::string& name, const juce::File& path, int depth)
        {
            if (beforeEntry)
                beforeEntry (path);

            // O_NOFOLLOW: a link in the folder's place fails here with ELOOP and is unlinked below.
            const auto folder = openat (parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);

            if (folder < 0)
            {
                if (errno == ENOTDIR || errno == ELOOP)
                    unlinkEntry (parent, name, path, 0);
                else if (errno != ENOENT)
                    resisted (path, errno);

                return;
            }

            if (depth >= RemovalOutcome::maximumDepth)
            {
                resisted (path, ELOOP);
                close (folder);
                return;
            }

            for (const auto& child : listFolder (folder, path))
                removeEntry (folder, child, path.getChildFile (juce::String::fromUTF8 (child.c_str())), depth + 1);

            close (folder);
            unlinkEntry (parent, name, path, AT_REMOVEDIR);
        }

        void unlinkEntry (int parent, const std::string& name, const juce::File& path, int flags)
        {
            if (unlinkat (parent, name.c_str(), flags) == 0 || errno == ENOENT)
                return;

            // What stands there now is no longer the folder that was emptied (it was swapped for a
            // file or link while this ran): that goes as the file or link it is.
            if (flags == AT_REMOVEDIR && errno == ENOTDIR && unlinkat (parent, name.c_str(), 0) == 0)
                return;

            resisted (path, errno);
        }

        /** Entries of the folder open as `folder`, read through a copy of that handle. */
        std::vector<std::string> listFolder (int folder, const juce::File& path)
        {
            std::vector<std::string> names;
            const auto copy = dup (folder);
            auto* stream = copy >= 0 ? fdopendir (copy) : nullptr;

            if (stream == nullptr)
            {
                resisted (path, errno);

                if (copy >= 0)
                    close (copy);

                return names;
            }

            while (const auto* entry = readdir (stream))
                if (std::strcmp (entry->d_name, ".") != 0 && std::strcmp (entry->d_name, "..") != 0)
                    names.emplace_back (entry->d_name);

            closedir (stream);
            return names;
        }
    };
} // namespace

RemovalOutcome removeTree (const DurableFiles::Folder& parent, const juce::String& name,
                           const std::function<void (const juce::File&)>& beforeEntry)
{
    Remover remover { beforeEntry, {} };

    if (! parent.isOpen())
        remover.resisted (parent.getChildFile (name), parent.getError());
    else if (! DurableFiles::isPlainName (name))
        remover.resisted (parent.getChildFile (name), EINVAL);
    else
        remover.removeEntry (parent.getDescriptor(), name.toStdString(), parent.getChildFile (name), 0);

    return remover.outcome;
}

bool removeAtNextRestart (const juce::Array<juce::File>&)
{
    // Linux removes a file in use at once: nothing is ever left for a restart.
    return false;
}
