// Imports version.dll and winmm.dll at load time, as the installer once did: the control case of
// the planted DLL test, which shows that Wine loads such DLLs from beside the exe.
#ifndef WIN32_LEAN_AND_MEAN
 #define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <mmsystem.h>
#include <winver.h>

int main()
{
    DWORD handle = 0;
    return GetFileVersionInfoSizeW (L"kernel32.dll", &handle) > 0 && timeGetTime() > 0 ? 0 : 1;
}
