// Holds a file as a plug-in host would, until it is ended: loaded as a module, or open for reading
// without sharing delete or write. Prints "held" once it holds the file.
//
//   hold_file.exe load|open PATH
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain (int argc, wchar_t** argv)
{
    if (argc != 3)
    {
        std::fprintf (stderr, "usage: hold_file.exe load|open PATH\n");
        return 2;
    }

    if (std::wcscmp (argv[1], L"load") == 0)
    {
        if (LoadLibraryW (argv[2]) == nullptr)
        {
            std::printf ("LoadLibraryW failed: %lu\n", GetLastError());
            return 1;
        }
    }
    else if (CreateFileW (argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr) == INVALID_HANDLE_VALUE)
    {
        std::printf ("CreateFileW failed: %lu\n", GetLastError());
        return 1;
    }

    std::printf ("held\n");
    std::fflush (stdout);
    Sleep (INFINITE);
    return 0;
}
