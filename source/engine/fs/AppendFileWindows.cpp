#include "engine/fs/AppendFile.h"

#include "engine/FileNames.h"
#include "engine/fs/NtFiles.h"

namespace
{
    /** Opens a folder or file `name` inside the folder `folder` holds, never following a reparse
        point at the name. */
    HANDLE openBelow (HANDLE folder, const juce::String& name, ACCESS_MASK access, ULONG share, ULONG disposition, ULONG options)
    {
        DWORD error = 0;
        const auto handle = openRelative (folder, name, access | FILE_READ_ATTRIBUTES, share, disposition, options | FILE_OPEN_REPARSE_POINT, error);

        if (handle == nullptr)
            return INVALID_HANDLE_VALUE;

        BY_HANDLE_FILE_INFORMATION info {};

        if (! GetFileInformationByHandle (handle, &info) || (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) != 0)
        {
            CloseHandle (handle);
            return INVALID_HANDLE_VALUE;
        }

        return handle;
    }
} // namespace

std::unique_ptr<DurableFiles::AppendFile> DurableFiles::AppendFile::open (const juce::File& file)
{
    const auto path = file.getFullPathName();
    const auto folderPath = file.getParentDirectory().getFullPathName();

    // A drive or a network share, never a device or a server's pipes.
    if (! isUsableFolderPath (folderPath, PathRules::windows))
        return {};

    // The root is a drive's ("C:\") or a share's ("\\server\share\").
    auto parts = partsOf (path);
    const auto isNetworkPath = path.startsWith ("\\");

    if (parts.size() < (isNetworkPath ? 3u : 2u))
        return {};

    const auto rootFolder = isNetworkPath ? "\\\\" + parts[0] + "\\" + parts[1] + "\\" : parts[0] + "\\";
    parts.erase (parts.begin(), parts.begin() + (isNetworkPath ? 2 : 1));

    if (parts.empty())
        return {};

    DWORD error = 0;
    auto folder = openPath (juce::File (rootFolder), FILE_TRAVERSE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            FILE_OPEN, FILE_DIRECTORY_FILE | FILE_OPEN_FOR_BACKUP_INTENT, error);

    if (folder == nullptr)
        return {};

    for (size_t i = 0; folder != INVALID_HANDLE_VALUE && i + 1 < parts.size(); ++i)
    {
        // Only the log's own folder may be made.
        const ULONG disposition = i + 2 == parts.size() ? FILE_OPEN_IF : FILE_OPEN;
        const auto next = openBelow (folder, parts[i], FILE_TRAVERSE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     disposition, FILE_DIRECTORY_FILE);
        CloseHandle (folder);
        folder = next;
    }

    if (folder == INVALID_HANDLE_VALUE)
        return {};

    const auto handle = openBelow (folder, parts.back(), FILE_APPEND_DATA, FILE_SHARE_READ, FILE_OPEN_IF, FILE_NON_DIRECTORY_FILE);
    CloseHandle (folder);

    if (handle == INVALID_HANDLE_VALUE)
        return {};

    BY_HANDLE_FILE_INFORMATION info {};

    if (GetFileType (handle) != FILE_TYPE_DISK || ! GetFileInformationByHandle (handle, &info) || info.nNumberOfLinks != 1)
    {
        CloseHandle (handle);
        return {};
    }

    return std::unique_ptr<DurableFiles::AppendFile> (new DurableFiles::AppendFile (handle));
}

DurableFiles::AppendFile::~AppendFile()
{
    CloseHandle (handle);
}

bool DurableFiles::AppendFile::append (const juce::String& text)
{
    const auto* utf8 = text.toRawUTF8();
    const auto size = (DWORD) text.getNumBytesAsUTF8();
    DWORD written = 0;
    return WriteFile (handle, utf8, size, &written, nullptr) && written == size;
}

