#include "engine/fs/NewFile.h"

#include "engine/fs/NtFiles.h"

#include <sddl.h>

namespace DurableFiles
{
    namespace
    {
        FILETIME toFileTime (juce::Time time)
        {
            // 100 ns steps since 1601, from milliseconds since 1970.
            ULARGE_INTEGER value;
            value.QuadPart = (ULONGLONG) (time.toMilliseconds() * 10000 + 116444736000000000LL);
            return { value.LowPart, value.HighPart };
        }

        constexpr DWORD newFileAccess = GENERIC_WRITE | FILE_WRITE_ATTRIBUTES | DELETE;
        constexpr DWORD newFileOptions = FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT;

        /** Creates `name` readable by users and changeable by Administrators and SYSTEM alone. A
            token that may not name Administrators as the owner leaves the owner to the system. */
        HANDLE createReadableByEveryone (HANDLE folder, const juce::String& name, DWORD& error)
        {
            HANDLE file = nullptr;
            error = ERROR_INVALID_OWNER;

            for (const auto* sddl : { L"O:BAD:P(A;;FA;;;BA)(A;;FA;;;SY)(A;;FR;;;BU)", L"D:P(A;;FA;;;BA)(A;;FA;;;SY)(A;;FR;;;BU)" })
            {
                PSECURITY_DESCRIPTOR descriptor = nullptr;

                if (error != ERROR_INVALID_OWNER || ! ConvertStringSecurityDescriptorToSecurityDescriptorW (sddl, SDDL_REVISION_1, &descriptor, nullptr))
                    break;

                file = openRelative (folder, name, newFileAccess, 0, FILE_CREATE, newFileOptions, error, descriptor);
                LocalFree (descriptor);
            }

            return file;
        }
    } // namespace

    NewFile::NewFile (const juce::File& file)
    {
        announceStep ("write file", file);

        // FILE_CREATE fails on any existing name, a link's included.
        DWORD error = 0;
        handle = openPath (file, newFileAccess, 0, FILE_CREATE, newFileOptions, error);

        if (handle == nullptr)
            SetLastError (error);
    }

    NewFile::NewFile (const Folder& parent, const juce::String& name, Readers readers)
    {
        announceStep ("write file", parent.getChildFile (name));

        if (! isPlainName (name))
            return;

        // FILE_CREATE fails on any existing name, a reparse point's included.
        DWORD error = 0;
        handle = readers == Readers::everyone ? createReadableByEveryone (parent.getHandle(), name, error)
                                              : openRelative (parent.getHandle(), name, newFileAccess, 0, FILE_CREATE, newFileOptions, error);

        if (handle == nullptr)
            SetLastError (error);
    }

    NewFile::~NewFile()
    {
        if (handle != nullptr)
            CloseHandle (handle);
    }

    bool NewFile::isOpen() const
    {
        return handle != nullptr;
    }

    bool NewFile::write (const void* data, size_t size)
    {
        const auto* bytes = static_cast<const char*> (data);

        while (size > 0)
        {
            DWORD written = 0;
            const auto piece = (DWORD) juce::jmin (size, (size_t) 0x40000000);

            if (! WriteFile (handle, bytes, piece, &written, nullptr) || written == 0)
                return false;

            bytes += written;
            size -= (size_t) written;
        }

        return true;
    }

    bool NewFile::finish (juce::Time time)
    {
        const auto fileTime = toFileTime (time);
        return SetFileTime (handle, &fileTime, &fileTime, &fileTime) && FlushFileBuffers (handle);
    }

    // NewFile flushed each file, and every rename is written through.
    bool flushFile (const juce::File& file)
    {
        announceStep ("flush file", file);
        return true;
    }

    bool flushFolder (const juce::File& folder)
    {
        announceStep ("flush folder", folder);
        return true;
    }

    bool flushFile (const Folder& parent, const juce::String& name)
    {
        announceStep ("flush file", parent.getChildFile (name));
        return isPlainName (name);
    }

    bool flushFolder (const Folder& folder)
    {
        announceStep ("flush folder", folder.getPath());

        // Asks the file system to write the folder's entries out, through a handle of its own that
        // may write. Not every file system flushes a folder; NTFS keeps its renames in order in
        // its journal all the same.
        DWORD error = 0;

        if (const auto h = openRelative (folder.getHandle(), ".", FILE_ADD_FILE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         FILE_OPEN, FILE_DIRECTORY_FILE, error))
        {
            FlushFileBuffers (h);
            CloseHandle (h);
        }

        return folder.isOpen();
    }
} // namespace DurableFiles
