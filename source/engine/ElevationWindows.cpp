#include "engine/Elevation.h"

#include "engine/WindowsApi.h"

bool isElevated()
{
    HANDLE token = nullptr;
    TOKEN_ELEVATION elevation {};
    DWORD size = 0;
    // When the token cannot be asked, the stricter rule holds.
    bool elevated = true;

    if (OpenProcessToken (GetCurrentProcess(), TOKEN_QUERY, &token))
    {
        if (GetTokenInformation (token, TokenElevation, &elevation, sizeof (elevation), &size))
            elevated = elevation.TokenIsElevated != 0;

        CloseHandle (token);
    }

    return elevated;
}
