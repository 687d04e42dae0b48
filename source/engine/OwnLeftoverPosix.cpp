#include "engine/OwnLeftover.h"

#include "engine/DurableFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool removeOwnPlainFile (const juce::File& folder, const juce::String& name)
{
    if (! DurableFiles::isPlainName (name))
        return false;

    const auto folderDescriptor = ::open (folder.getFullPathName().toRawUTF8(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);

    if (folderDescriptor < 0)
        return false;

    // Without waiting: a FIFO at the name must not hold up the exit.
    const auto file = ::openat (folderDescriptor, name.toRawUTF8(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat opened {}, atTheName {};
    auto removed = false;

    // The name is removed only while it still holds the very file checked. In a sticky temporary
    // folder no one but this account (and the folder's owner) can rename or delete that entry
    // between the look and the removal.
    if (file >= 0 && ::fstat (file, &opened) == 0 && S_ISREG (opened.st_mode) && opened.st_uid == ::geteuid() && opened.st_nlink == 1
        && ::fstatat (folderDescriptor, name.toRawUTF8(), &atTheName, AT_SYMLINK_NOFOLLOW) == 0
        && atTheName.st_dev == opened.st_dev && atTheName.st_ino == opened.st_ino)
    {
        removed = ::unlinkat (folderDescriptor, name.toRawUTF8(), 0) == 0;
    }

    if (file >= 0)
        ::close (file);

    ::close (folderDescriptor);
    return removed;
}
