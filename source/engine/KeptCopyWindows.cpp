#include "engine/KeptCopy.h"

#include "engine/WindowsApi.h"

#include <cstring>
#include <vector>

namespace InstalledEntry
{
    namespace
    {
        /** The program's own file, held from the start without write or delete sharing. */
        HANDLE ownExecutable = INVALID_HANDLE_VALUE;

        /** A file opened to be copied; the running program's own held file is read but never closed here. */
        struct HandleSource final : public KeptCopySource
        {
            HandleSource (HANDLE h, bool owns) : handle (h), ownsHandle (owns) {}

            ~HandleSource() override
            {
                if (ownsHandle)
                    CloseHandle (handle);
            }

            int read (char* into, int wanted) override
            {
                DWORD got = 0;
                return ReadFile (handle, into, (DWORD) wanted, &got, nullptr) ? (int) got : -1;
            }

            HANDLE handle;
            bool ownsHandle;
        };
    } // namespace

    void holdOwnExecutable()
    {
        if (ownExecutable != INVALID_HANDLE_VALUE)
            return;

        std::vector<wchar_t> path (32768);
        const auto length = GetModuleFileNameW (nullptr, path.data(), (DWORD) path.size());

        if (length == 0 || length >= path.size())
            return;

        // Others may read it; no one may write, rename or delete it while it is held.
        const auto handle = CreateFileW (path.data(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);

        if (handle == INVALID_HANDLE_VALUE)
            return;

        // The file at that name must still be the program that runs: the loader maps the headers
        // as they stand in the file, but for the base address it was loaded at.
        const auto* image = reinterpret_cast<const char*> (GetModuleHandleW (nullptr));
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*> (image + reinterpret_cast<const IMAGE_DOS_HEADER*> (image)->e_lfanew);
        const auto headerSize = nt->OptionalHeader.SizeOfHeaders;
        std::vector<char> fromFile (headerSize);
        DWORD got = 0;

        if (ReadFile (handle, fromFile.data(), headerSize, &got, nullptr) && got == headerSize)
        {
            const auto baseOffset = (size_t) (reinterpret_cast<const char*> (&nt->OptionalHeader.ImageBase) - image);
            std::memcpy (fromFile.data() + baseOffset, &nt->OptionalHeader.ImageBase, sizeof (nt->OptionalHeader.ImageBase));

            if (std::memcmp (fromFile.data(), image, headerSize) == 0)
            {
                ownExecutable = handle;
                return;
            }
        }

        CloseHandle (handle);
    }

    void* getOwnExecutable()
    {
        return ownExecutable;
    }

    std::unique_ptr<KeptCopySource> openKeptCopySource (const juce::File& source)
    {
        // The running program is copied from its file held since the start, never from whatever
        // now has its name; when that file is not held, no copy is made.
        const auto isOwnFile = source == juce::File::getSpecialLocation (juce::File::currentExecutableFile);
        const auto handle = isOwnFile ? ownExecutable
                                      : CreateFileW (source.getFullPathName().toWideCharPointer(), GENERIC_READ, FILE_SHARE_READ,
                                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);

        if (handle == INVALID_HANDLE_VALUE)
            return {};

        auto opened = std::make_unique<HandleSource> (handle, ! isOwnFile);
        LARGE_INTEGER start {}, size {};

        if (! SetFilePointerEx (handle, start, nullptr, FILE_BEGIN) || ! GetFileSizeEx (handle, &size))
            return {};

        opened->size = (juce::int64) size.QuadPart;
        return opened;
    }

    /** The plug-in version in a kept copy's version block ("PluginVersion"), or "". */
    juce::String readPluginVersion (const juce::File& exe)
    {
        const auto* path = exe.getFullPathName().toWideCharPointer();
        DWORD ignored = 0;
        const auto size = GetFileVersionInfoSizeW (path, &ignored);

        if (size == 0)
            return {};

        juce::HeapBlock<char> block (size, true);
        void* value = nullptr;
        UINT length = 0;

        if (! GetFileVersionInfoW (path, 0, size, block.get())
            || ! VerQueryValueW (block.get(), L"\\StringFileInfo\\040904B0\\PluginVersion", &value, &length)
            || value == nullptr || length == 0)
            return {};

        return juce::String (juce::CharPointer_UTF16 ((const juce::CharPointer_UTF16::CharType*) value), (size_t) length);
    }
} // namespace InstalledEntry
