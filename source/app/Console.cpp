#include "app/Console.h"
#include "engine/WindowsApi.h"

#if ! JUCE_WINDOWS
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>
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

        /** A console takes UTF-16 whatever its code page; a file or pipe gets UTF-8. Where the
            caller gave no stream and there is no console, a line has nowhere to go and is dropped. */
        bool writeLine (HANDLE handle, const juce::String& line)
        {
            if (handle == nullptr)
                return true;

            const auto text = line + "\r\n";
            DWORD mode = 0, written = 0;

            if (GetConsoleMode (handle, &mode))
            {
                const auto* wide = text.toWideCharPointer();
                const auto length = (DWORD) wcslen (wide);
                return WriteConsoleW (handle, wide, length, &written, nullptr) && written == length;
            }

            const auto* utf8 = text.toRawUTF8();
            const auto size = (DWORD) strlen (utf8);
            return WriteFile (handle, utf8, size, &written, nullptr) && written == size;
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
                 { return writeLine (out, line); },
                 [err] (const juce::String& line)
                 { return writeLine (err, line); } };
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
        // A stream the caller closed is /dev/null, so that no file this run opens takes its number
        // and receives its lines. A pipe whose reader went away fails the write instead of ending
        // the program before it can tell its exit code.
        for (const auto descriptor : { STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO })
            if (::fcntl (descriptor, F_GETFD) < 0 && errno == EBADF)
                ::open ("/dev/null", descriptor == STDIN_FILENO ? O_RDONLY : O_WRONLY);

        std::signal (SIGPIPE, SIG_IGN);

        auto writeTo = [] (FILE* stream)
        {
            return [stream] (const juce::String& line)
            {
                const auto written = std::fputs ((line + "\n").toRawUTF8(), stream) >= 0;
                return std::fflush (stream) == 0 && written;
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
