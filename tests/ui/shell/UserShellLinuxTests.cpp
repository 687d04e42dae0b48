// Addresses and folders reach a stand-in xdg-open as the desktop user, one argument, no shell; as
// root with no user to become, nothing starts and the window shows the address. Run as root.
#include "ui/shell/UserShell.h"
#include "ui/panels/PanelParts.h"
#include "ui/main/DesktopPointer.h"
#include "ui/main/MessagePump.h"
#include "TestFolder.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>

namespace
{
    // DISPLAY stays as it is: the window's notice needs it (and it is passed through).
    const std::array<const char*, 4> touchedVariables { "PATH", "SUDO_UID", "PKEXEC_UID", "TW_NOT_PASSED" };

    class UserShellLinux : public ::testing::Test
    {
    protected:
        void SetUp() override
        {
            if (geteuid() != 0)
                GTEST_SKIP() << "needs root, to become another user";

            for (const auto* name : touchedVariables)
                if (const auto* value = std::getenv (name))
                    saved[name] = value;

            // The stand-in and its record are reached and written by nobody.
            chmod (folder.get().getFullPathName().toRawUTF8(), 0777);
            const auto standIn = folder / "bin/xdg-open";
            standIn.getParentDirectory().createDirectory();
            standIn.replaceWithText ("#!/bin/sh\n{ printf '%s|%s|%s|%s|%s|%s|%s\\n' \"$(id -u)\" \"$(id -g)\" \"$(id -G)\" \"$HOME\""
                                     " \"$DISPLAY\" \"${TW_NOT_PASSED-unset}\" \"$#\"; printf '%s\\n' \"$1\"; } >> '"
                                     + record.getFullPathName() + "'\n", false, false, "\n");
            standIn.setExecutePermission (true);

            setenv ("PATH", (standIn.getParentDirectory().getFullPathName() + ":/usr/bin:/bin").toRawUTF8(), 1);
            unsetenv ("SUDO_UID");
            unsetenv ("PKEXEC_UID");
            setenv ("TW_NOT_PASSED", "root's", 1);
        }

        void TearDown() override
        {
            for (const auto* name : touchedVariables)
                if (saved.count (name) != 0)
                    setenv (name, saved[name].c_str(), 1);
                else
                    unsetenv (name);
        }

        /** The stand-in's two lines: who ran it and how, then its first argument. */
        juce::StringArray waitForRecord() const
        {
            const auto giveUp = juce::Time::getMillisecondCounter() + 20000;
            juce::StringArray lines;

            while (lines.size() < 2 && juce::Time::getMillisecondCounter() < giveUp)
            {
                juce::Thread::sleep (10);
                lines = juce::StringArray::fromLines (record.loadFileAsString().trimEnd());
            }

            return lines;
        }

        TestFolder folder;
        const juce::File record = folder / "record.txt";
        std::map<std::string, std::string> saved;
    };

    struct Opening
    {
        const char* userVariable;
        const char* folderName; // a folder to reveal; or, when null, the address is opened
        const char* address;
    };

    class UserShellLinuxOpens : public UserShellLinux, public ::testing::WithParamInterface<Opening>
    {
    };

    std::string nameOpening (const ::testing::TestParamInfo<Opening>& info)
    {
        return std::string (info.param.folderName != nullptr ? "folder" : "address") + std::to_string (info.index) + "As"
             + (std::string (info.param.userVariable) == "SUDO_UID" ? "Sudo" : "Pkexec");
    }
} // namespace

TEST_P (UserShellLinuxOpens, asTheDesktopUserWithTheAddressAsOneArgument)
{
    const auto& opening = GetParam();
    const auto* nobody = getpwnam ("nobody");
    ASSERT_NE (nobody, nullptr);
    setenv (opening.userVariable, std::to_string (nobody->pw_uid).c_str(), 1);

    auto expected = juce::String (opening.address);
    auto opened = juce::Result::ok();

    if (opening.folderName != nullptr)
    {
        const auto target = folder / opening.folderName;
        target.createDirectory();
        expected = target.getFullPathName();
        opened = UserShell::revealFile (target);
    }
    else
    {
        opened = UserShell::openAddress (expected);
    }

    ASSERT_TRUE (opened.wasOk()) << opened.getErrorMessage();

    juce::ChildProcess groups;
    ASSERT_TRUE (groups.start ("id -G nobody"));
    const auto lines = waitForRecord();
    ASSERT_EQ (lines.size(), 2) << lines.joinIntoString ("\n");
    EXPECT_EQ (juce::StringArray::fromTokens (lines[0], "|", ""),
               juce::StringArray (juce::String (nobody->pw_uid), juce::String (nobody->pw_gid), groups.readAllProcessOutput().trim(),
                                  juce::String (nobody->pw_dir), juce::String (std::getenv ("DISPLAY")), "unset", "1"));
    EXPECT_EQ (lines[1], expected);
}

INSTANTIATE_TEST_SUITE_P (Addresses, UserShellLinuxOpens,
                          ::testing::Values (Opening { "SUDO_UID", nullptr, "https://example.invalid/a b?q=$(touch x)&r=`touch y`" },
                                             Opening { "PKEXEC_UID", nullptr, "mailto:help@example.invalid?subject=a\"b'c;d|e" },
                                             Opening { "SUDO_UID", "$(touch x)", nullptr },
                                             Opening { "PKEXEC_UID", "`touch y` \"$HOME\"", nullptr }),
                          nameOpening);

TEST_F (UserShellLinux, startsNothingAsRootWithoutAUserToBecomeAndShowsTheAddress)
{
    const std::vector<std::pair<const char*, const char*>> refusals { { "SUDO_UID", "0" },
                                                                       { "SUDO_UID", "65534; id" },
                                                                       { "PKEXEC_UID", "-1" },
                                                                       { "SUDO_UID", "4000000000" },
                                                                       { nullptr, nullptr } };

    for (const auto& [name, value] : refusals)
    {
        if (name != nullptr)
            setenv (name, value, 1);

        EXPECT_TRUE (UserShell::openAddress ("https://example.invalid/").failed()) << (name != nullptr ? value : "no user");

        if (name != nullptr)
            unsetenv (name);
    }

    // A stand-in on a relative PATH folder only is not taken.
    setenv ("SUDO_UID", std::to_string (getpwnam ("nobody")->pw_uid).c_str(), 1);
    setenv ("PATH", "bin", 1);
    const auto startFolder = juce::File::getCurrentWorkingDirectory();
    folder.get().setAsCurrentWorkingDirectory();
    EXPECT_TRUE (UserShell::openAddress ("https://example.invalid/").failed());
    startFolder.setAsCurrentWorkingDirectory();

    // The window's launcher shows the address instead.
    unsetenv ("SUDO_UID");
    DesktopPointer::ignoreXErrorsLikeTheApplication();
    PanelParts::getDefaultLauncher() (juce::URL ("https://example.invalid/manual"));
    auto* notice = dynamic_cast<juce::AlertWindow*> (juce::ModalComponentManager::getInstance()->getModalComponent (0));
    ASSERT_NE (notice, nullptr);
    const auto* field = notice->getTextEditor ("address");
    ASSERT_NE (field, nullptr);
    EXPECT_EQ (field->getText(), "https://example.invalid/manual");
    EXPECT_TRUE (field->isReadOnly());
    notice->exitModalState (0);
    dispatchMessagesUntil ([] { return juce::ModalComponentManager::getInstance()->getNumModalComponents() == 0; });

    EXPECT_FALSE (record.exists());
}
