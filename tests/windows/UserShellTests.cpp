// The desktop's shell starts what the installer opens: a probe program started through it reports
// Explorer as the process that started it, not the test. Without a display Wine has no desktop
// shell, and nothing is started.
#include "ui/shell/UserShell.h"
#include "TestFolder.h"

#include <gtest/gtest.h>

#include <windows.h>

TEST (UserShell, startsAnAddressFromTheDesktopShellOrNothing)
{
    const TestFolder folder;
    const auto probe = folder / "probe.exe";
    ASSERT_TRUE (juce::File (TW_SHELL_PROBE_EXE).copyFileTo (probe));
    const auto record = folder / "probe.exe.record";

    const auto opened = UserShell::openAddress (probe.getFullPathName());

    if (GetEnvironmentVariableW (L"DISPLAY", nullptr, 0) == 0)
    {
        EXPECT_TRUE (opened.failed());
        return;
    }

    ASSERT_TRUE (opened.wasOk()) << opened.getErrorMessage();

    for (const auto giveUp = juce::Time::getMillisecondCounter() + 30000;
         ! record.existsAsFile() && juce::Time::getMillisecondCounter() < giveUp;)
        juce::Thread::sleep (20);

    const auto starter = juce::StringArray::fromTokens (record.loadFileAsString().trim(), " ", "");
    ASSERT_EQ (starter.size(), 2) << record.loadFileAsString();
    EXPECT_NE (starter[0].getLargeIntValue(), (juce::int64) GetCurrentProcessId());
    EXPECT_TRUE (starter[1].equalsIgnoreCase ("explorer.exe")) << starter[1];
}
