#include "engine/fs/ReadableFile.h"

#include "engine/fs/NtFiles.h"

namespace DurableFiles
{
    namespace
    {
        constexpr DWORD readAccess = GENERIC_READ | READ_CONTROL;
        constexpr DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        constexpr DWORD fileIsAFolder = 336; // ERROR_FILE_IS_A_DIRECTORY, which MinGW's headers lack

        /** Keeps `handle` only when it is a plain file on a disk. */
        ReadableFile::Status examine (HANDLE& handle, DWORD error, juce::int64& size)
        {
            if (handle == nullptr)
                return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ReadableFile::Status::missing
                     : error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ? ReadableFile::Status::inUse
                     : error == fileIsAFolder || error == ERROR_DIRECTORY ? ReadableFile::Status::notAFile
                                                                                      : ReadableFile::Status::unreadable;

            BY_HANDLE_FILE_INFORMATION info {};
            constexpr DWORD notAFile = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;

            if (GetFileType (handle) == FILE_TYPE_DISK && GetFileInformationByHandle (handle, &info) && (info.dwFileAttributes & notAFile) == 0)
            {
                size = (juce::int64) (((juce::uint64) info.nFileSizeHigh << 32) | info.nFileSizeLow);
                return ReadableFile::Status::opened;
            }

            CloseHandle (handle);
            handle = nullptr;
            return ReadableFile::Status::notAFile;
        }
    } // namespace

    ReadableFile::~ReadableFile()
    {
        if (handle != nullptr)
            CloseHandle (handle);
    }

    ReadableFile& ReadableFile::operator= (ReadableFile&& other) noexcept
    {
        if (this != &other)
        {
            if (handle != nullptr)
                CloseHandle (handle);

            handle = std::exchange (other.handle, nullptr);
            status = other.status;
            size = other.size;
        }

        return *this;
    }

    ReadableFile ReadableFile::open (const juce::File& path)
    {
        ReadableFile file;
        DWORD error = 0;
        file.handle = openPath (path, readAccess, shareAll, FILE_OPEN, FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY, error);
        file.status = examine (file.handle, error, file.size);
        return file;
    }

    ReadableFile ReadableFile::openIn (const Folder& folder, const juce::String& name)
    {
        ReadableFile file;
        DWORD error = ERROR_INVALID_HANDLE;

        if (folder.isOpen())
            file.handle = openRelative (folder.getHandle(), name, readAccess, shareAll, FILE_OPEN,
                                        FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT, error);

        file.status = examine (file.handle, error, file.size);
        return file;
    }

    juce::int64 ReadableFile::read (void* into, size_t wanted)
    {
        DWORD got = 0;

        if (handle == nullptr || ! ReadFile (handle, into, (DWORD) juce::jmin (wanted, (size_t) 0x40000000), &got, nullptr))
            return -1;

        return (juce::int64) got;
    }

    bool ReadableFile::readAt (std::uint64_t offset, void* into, size_t wanted)
    {
        auto* bytes = static_cast<char*> (into);

        while (wanted > 0)
        {
            OVERLAPPED at {};
            at.Offset = (DWORD) offset;
            at.OffsetHigh = (DWORD) (offset >> 32);
            DWORD got = 0;

            if (handle == nullptr || ! ReadFile (handle, bytes, (DWORD) juce::jmin (wanted, (size_t) 0x40000000), &got, &at) || got == 0)
                return false;

            bytes += got;
            offset += got;
            wanted -= got;
        }

        return true;
    }

    bool ReadableFile::onlyAdministratorsCanChange() const
    {
        return handle != nullptr && onlyAdministratorsCanChangeOpened (handle, AdministeredObject::file);
    }
} // namespace DurableFiles
