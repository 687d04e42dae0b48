// Windows only: a call that waits on another program for ever is ended by the watchdog.
#include "engine/fs/NtFiles.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

TEST (IoWatchdog, endsAReadOnAPipeWhoseOtherEndNeverAnswers)
{
    const auto* name = L"\\\\.\\pipe\\tw_installer_watchdog_test";
    const auto server = CreateNamedPipeW (name, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 64, 64, 0, nullptr);
    ASSERT_NE (server, INVALID_HANDLE_VALUE);
    const auto client = CreateFileW (name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE (client, INVALID_HANDLE_VALUE);

    // Should the cancel not work, the server answers after a while, so that the test fails
    // instead of hanging.
    std::atomic<bool> finished { false };
    std::thread rescue ([&]
    {
        for (int i = 0; i < 200 && ! finished; ++i)
            Sleep (100);

        DWORD written = 0;

        if (! finished)
            WriteFile (server, "x", 1, &written, nullptr);
    });

    char byte = 0;
    DWORD got = 0;
    BOOL read = FALSE;
    DWORD error = 0;
    bool fired = false;

    {
        const IoWatchdog watchdog (juce::RelativeTime::milliseconds (300));
        read = ReadFile (client, &byte, 1, &got, nullptr);
        error = GetLastError();
        fired = watchdog.fired();
    }

    finished = true;
    rescue.join();
    EXPECT_FALSE (read) << "the read waited until the other end wrote";
    EXPECT_EQ (error, (DWORD) ERROR_OPERATION_ABORTED);
    EXPECT_TRUE (fired);

    // A call that returns in time is left alone.
    {
        const IoWatchdog watchdog (juce::RelativeTime::seconds (5.0));
        DWORD written = 0;
        EXPECT_TRUE (WriteFile (client, "y", 1, &written, nullptr));
        EXPECT_FALSE (watchdog.fired());
    }

    CloseHandle (client);
    CloseHandle (server);
}
