// Started through the desktop's shell by the user-shell test: writes beside itself the file name of
// the process that started it.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <string>

int wmain()
{
    const auto snapshot = CreateToolhelp32Snapshot (TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry {};
    entry.dwSize = sizeof (entry);
    auto parent = GetCurrentProcessId(); // found in the first pass, named in the second
    auto* record = _wfopen ((std::wstring (_wpgmptr) + L".record").c_str(), L"w");

    for (const auto pass : { 1, 2 })
        for (auto more = Process32FirstW (snapshot, &entry); more; more = Process32NextW (snapshot, &entry))
            if (pass == 1 && entry.th32ProcessID == GetCurrentProcessId())
                parent = entry.th32ParentProcessID;
            else if (pass == 2 && entry.th32ProcessID == parent)
                std::fwprintf (record, L"%ls\n", entry.szExeFile);

    return std::fclose (record);
}
