#include "app/Console.h"
#include "main/engine/WindowsApi.h"

#if ! JUCE_WINDOWS
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#endif

namespace Console
{
#if JUCE_WINDOWS
    namespace
    {
        bool isUsable (HANDLE handle)
        {
            if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
                return false;

            SetLastError (NO_ERROR);
            return GetFileType (handle) != FILE_TYPE_UNKNOWN || GetLastError() == NO_ERROR;
        }

        /** A console takes UTF-16 whatever its code page; a file or pipe gets UTF-8. */
        void writeLine (HANDLE handle, const juce::String& line)
        {
            if (handle == nullptr)
                return;

            const auto text = line + "\r\n";
            DWORD mode = 0, written = 0;

            if (GetConsoleMode (handle, &mode))
            {
                const auto* wide = text.toWideCharPointer();
                WriteConsoleW (handle, wide, (DWORD) wcslen (wide), &written, nullptr);
            }
            else
            {
                const auto* utf8 = text.toRawUTF8();
                WriteFile (handle, utf8, (DWORD) strlen (utf8), &written, nullptr);
            }
        }
    } // namespace

    CommandLine::Output connect()
    {
        auto out = GetStdHandle (STD_OUTPUT_HANDLE);
        auto err = GetStdHandle (STD_ERROR_HANDLE);
        const auto outUsable = isUsable (out);
        const auto errUsable = isUsable (err);

        // Handed-over streams are kept as they are; only the missing ones go to the parent's console.
        if (! (outUsable && errUsable) && AttachConsole (ATTACH_PARENT_PROCESS))
        {
            const auto console = CreateFileW (L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                              nullptr, OPEN_EXISTING, 0, nullptr);

            if (! outUsable)
                out = console;

            if (! errUsable)
                err = console;
        }

        if (! isUsable (out))
            out = nullptr;

        if (! isUsable (err))
            err = nullptr;

        return { [out] (const juce::String& line)
                 { writeLine (out, line); },
                 [err] (const juce::String& line)
                 { writeLine (err, line); } };
    }

    juce::String whyNoDisplay()
    {
        // A service runs in a window station that no one can see.
        USEROBJECTFLAGS flags {};

        if (auto* station = GetProcessWindowStation())
            if (GetUserObjectInformationW (station, UOI_FLAGS, &flags, sizeof (flags), nullptr) && (flags.dwFlags & WSF_VISIBLE) == 0)
                return "no display can be opened: this session has no visible desktop";

        return {};
    }

#else
    CommandLine::Output connect()
    {
        auto writeTo = [] (FILE* stream)
        {
            return [stream] (const juce::String& line)
            {
                std::fputs ((line + "\n").toRawUTF8(), stream);
                std::fflush (stream);
            };
        };

        return { writeTo (stdout), writeTo (stderr) };
    }

    juce::String whyNoDisplay()
    {
        // The display the window would use, opened and closed again as the framework opens it.
        const juce::String name (std::getenv ("DISPLAY"));
        using OpenDisplay = void* (*) (const char*);
        using CloseDisplay = int (*) (void*);

        auto* x11 = dlopen ("libX11.so.6", RTLD_LAZY | RTLD_LOCAL);

        if (x11 == nullptr)
            return "no display can be opened: libX11 is missing";

        const auto openDisplay = reinterpret_cast<OpenDisplay> (dlsym (x11, "XOpenDisplay"));
        const auto closeDisplay = reinterpret_cast<CloseDisplay> (dlsym (x11, "XCloseDisplay"));
        auto* display = openDisplay != nullptr ? openDisplay (name.isEmpty() ? ":0.0" : name.toRawUTF8()) : nullptr;

        if (display != nullptr && closeDisplay != nullptr)
            closeDisplay (display);

        dlclose (x11);

        if (display != nullptr)
            return {};

        return name.isEmpty() ? "no display can be opened: DISPLAY is not set"
                              : "no display can be opened at DISPLAY=" + name;
    }
#endif
} // namespace Console
