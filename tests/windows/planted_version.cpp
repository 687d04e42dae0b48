// A stand-in for version.dll as someone might plant it beside a downloaded exe: loaded by a
// program, it leaves a file "version.dll.loaded" beside itself (in the case the loader gave the name). Its version functions find nothing.
#ifndef WIN32_LEAN_AND_MEAN
 #define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cwchar>

extern "C" BOOL WINAPI DllMain (HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
    {
        wchar_t path[MAX_PATH + 16] = {};
        const auto length = GetModuleFileNameW (instance, path, MAX_PATH);

        if (length > 0 && length < MAX_PATH)
        {
            wcscat (path, L".loaded");
            CloseHandle (CreateFileW (path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        }
    }

    return TRUE;
}

extern "C" __declspec (dllexport) DWORD WINAPI GetFileVersionInfoSizeW (const wchar_t*, DWORD*) { return 0; }
extern "C" __declspec (dllexport) BOOL WINAPI GetFileVersionInfoW (const wchar_t*, DWORD, DWORD, void*) { return FALSE; }
extern "C" __declspec (dllexport) BOOL WINAPI VerQueryValueW (const void*, const wchar_t*, void**, UINT*) { return FALSE; }
extern "C" __declspec (dllexport) DWORD WINAPI timeGetTime() { return 0; }
