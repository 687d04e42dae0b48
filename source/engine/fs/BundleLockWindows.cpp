#include "engine/fs/BundleLock.h"

#include "engine/fs/NtFiles.h"

#include <shlobj.h>

namespace DurableFiles
{
    juce::File BundleLock::getLockFolder()
    {
        // Program Files lets only administrators make folders; ours lets only them in.
        wchar_t* programFiles = nullptr;
        juce::File folder;

        if (SHGetKnownFolderPath (FOLDERID_ProgramFiles, KF_FLAG_DONT_VERIFY, nullptr, &programFiles) == S_OK)
            folder = juce::File (juce::String (programFiles)).getChildFile ("Tarnwick").getChildFile ("Locks");

        CoTaskMemFree (programFiles);
        return folder;
    }

    juce::String BundleLock::getLockName (const Folder& installFolder, const juce::String& bundleName)
    {
        BY_HANDLE_FILE_INFORMATION info {};

        if (! installFolder.isOpen() || ! isPlainName (bundleName) || ! GetFileInformationByHandle (installFolder.getHandle(), &info))
            return {};

        return juce::String::toHexString ((juce::int64) info.dwVolumeSerialNumber).paddedLeft ('0', 8)
             + "-" + juce::String::toHexString (((juce::int64) info.nFileIndexHigh << 32) | info.nFileIndexLow).paddedLeft ('0', 16)
             + "-" + bundleName + ".lock";
    }

    BundleLock::BundleLock (const Folder& installFolder, const juce::String& bundleName)
        : lockName (getLockName (installFolder, bundleName)),
          openError (installFolder.isOpen() ? (int) ERROR_INVALID_NAME : installFolder.getError())
    {
        if (lockName.isEmpty())
            return;

        lockFolder = Folder::openOrCreatePrivate (getLockFolder());
        openError = lockFolder.isOpen() ? 0 : lockFolder.getError();
    }

    BundleLock::~BundleLock()
    {
        release();
    }

    BundleLock::Outcome BundleLock::tryOnce()
    {
        if (! lockFolder.isOpen())
        {
            SetLastError ((DWORD) (openError != 0 ? openError : ERROR_INVALID_NAME));
            return Outcome::cannotCreate;
        }

        if (file != nullptr)
            return Outcome::acquired;

        // Opened by one run at a time: no sharing at all. The file goes when its last handle
        // closes, also when the process dies.
        DWORD error = 0;
        file = openRelative (lockFolder.getHandle(), lockName, GENERIC_READ | DELETE, 0, FILE_OPEN_IF,
                             FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT | FILE_DELETE_ON_CLOSE, error);

        if (file != nullptr)
            return Outcome::acquired;

        SetLastError (error);
        return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED ? Outcome::busy
                                                                                                                  : Outcome::cannotCreate;
    }

    void BundleLock::release()
    {
        if (file != nullptr)
            CloseHandle (file);

        file = nullptr;
    }
} // namespace DurableFiles
