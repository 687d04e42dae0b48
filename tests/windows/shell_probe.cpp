// Started through the desktop's shell by the user-shell test: writes beside itself which process
// started it (its id and file name).
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <string>

int wmain()
{
    const auto snapshot = CreateToolhelp32Snapshot (TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry {};
    entry.dwSize = sizeof (entry);
    DWORD parent = 0;
    std::wstring parentName = L"unknown";

    for (auto more = Process32FirstW (snapshot, &entry); more; more = Process32NextW (snapshot, &entry))
        if (entry.th32ProcessID == GetCurrentProcessId())
            parent = entry.th32ParentProcessID;

    for (auto more = Process32FirstW (snapshot, &entry); more; more = Process32NextW (snapshot, &entry))
        if (entry.th32ProcessID == parent)
            parentName = entry.szExeFile;

    CloseHandle (snapshot);

    wchar_t self[MAX_PATH] {};
    GetModuleFileNameW (nullptr, self, MAX_PATH);
    const auto written = std::wstring (self) + L".part";

    if (auto* record = _wfopen (written.c_str(), L"w"))
    {
        std::fwprintf (record, L"%lu %ls\n", parent, parentName.c_str());
        std::fclose (record);
        // Renamed when whole, so the test never reads half of it.
        MoveFileW (written.c_str(), (std::wstring (self) + L".record").c_str());
    }

    return 0;
}
