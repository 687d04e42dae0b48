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
    struct Opening
    {
        const char* userVariable;
        const char* text; // an address, or the name of a folder to reveal
        bool isFolder;
    };

    class UserShellLinux : public ::testing::TestWithParam<Opening>
    {
    protected:
        void SetUp() override
        {
            if (geteuid() != 0)
                GTEST_SKIP() << "needs root, to become another user";

            // The stand-in and its record are reached and written by nobody; DISPLAY stays as it is.
            chmod (folder.get().getFullPathName().toRawUTF8(), 0777);
            const auto standIn = folder / "bin/xdg-open";
            standIn.getParentDirectory().createDirectory();
            standIn.replaceWithText ("#!/bin/sh\n{ printf '%s|%s|%s|%s|%s|%s|%s\\n' \"$(id -u)\" \"$(id -g)\" \"$(id -G)\" \"$HOME\""
                                     " \"$DISPLAY\" \"${TW_NOT_PASSED-unset}\" \"$#\"; printf '%s\\n' \"$1\"; } >> '" +
                                         record.getFullPathName() + "'\n",
                                     false, false, "\n");
            standIn.setExecutePermission (true);

            setenv ("PATH", (standIn.getParentDirectory().getFullPathName() + ":/usr/bin:/bin").toRawUTF8(), 1);
            unsetenv ("SUDO_UID");
            unsetenv ("PKEXEC_UID");
            setenv ("TW_NOT_PASSED", "root's", 1);
        }

        void TearDown() override
        {
            setenv ("PATH", path.c_str(), 1);

            for (const auto* name : { "SUDO_UID", "PKEXEC_UID", "TW_NOT_PASSED" })
                unsetenv (name);
        }

        TestFolder folder;
        const juce::File record = folder / "record.txt";
        const std::string path = std::getenv ("PATH");
        const passwd nobody = *getpwnam ("nobody");
    };
} // namespace

TEST_P (UserShellLinux, opensAsTheDesktopUserWithTheAddressAsOneArgument)
{
    setenv (GetParam().userVariable, std::to_string (nobody.pw_uid).c_str(), 1);
    const auto folderToReveal = folder / GetParam().text;
    const auto expected = GetParam().isFolder ? folderToReveal.getFullPathName() : juce::String (GetParam().text);
    const auto opened = GetParam().isFolder ? (folderToReveal.createDirectory(), UserShell::revealFile (folderToReveal))
                                            : UserShell::openAddress (expected);
    ASSERT_TRUE (opened.wasOk()) << opened.getErrorMessage();

    juce::ChildProcess groups;
    ASSERT_TRUE (groups.start ("id -G nobody"));
    juce::StringArray lines;

    for (const auto giveUp = juce::Time::getMillisecondCounter() + 20000; lines.size() < 2 && juce::Time::getMillisecondCounter() < giveUp;)
    {
        juce::Thread::sleep (10);
        lines = juce::StringArray::fromLines (record.loadFileAsString().trimEnd());
    }

    // Exactly one call, by nobody with nobody's groups and home, the session's DISPLAY and no other
    // variable of root's, with one argument that arrives as it was given.
    ASSERT_EQ (lines.size(), 2) << lines.joinIntoString ("\n");
    EXPECT_EQ (juce::StringArray::fromTokens (lines[0], "|", ""),
               juce::StringArray (juce::String (nobody.pw_uid), juce::String (nobody.pw_gid), groups.readAllProcessOutput().trim(),
                                  juce::String (nobody.pw_dir), juce::String (std::getenv ("DISPLAY")), "unset", "1"));
    EXPECT_EQ (lines[1], expected);
}

INSTANTIATE_TEST_SUITE_P (Addresses, UserShellLinux,
                          ::testing::Values (Opening { "SUDO_UID", "https://example.invalid/a b?q=$(touch x)&r=`touch y`", false },
                                             Opening { "PKEXEC_UID", "mailto:help@example.invalid?subject=a\"b'c;d|e", false },
                                             Opening { "SUDO_UID", "$(touch x)", true },
                                             Opening { "PKEXEC_UID", "`touch y` \"$HOME\"", true }),
                          [] (const auto& info)
                          { return (info.param.isFolder ? "folder" : "address") + std::to_string (info.index) + info.param.userVariable; });

TEST_F (UserShellLinux, startsNothingAsRootWithoutAUserToBecomeAndShowsTheAddress)
{
    // Neither variable; root again, no number, no user id, no such user; the stand-in on a relative PATH.
    EXPECT_TRUE (UserShell::openAddress ("https://example.invalid/").failed());

    for (const auto* uid : { "0", "65534; id", "-1", "4000000000" })
    {
        setenv ("SUDO_UID", uid, 1);
        EXPECT_TRUE (UserShell::openAddress ("https://example.invalid/").failed()) << uid;
    }

    unsetenv ("SUDO_UID");
    setenv ("PKEXEC_UID", std::to_string (nobody.pw_uid).c_str(), 1);
    setenv ("PATH", "bin", 1);
    const auto startFolder = juce::File::getCurrentWorkingDirectory();
    folder.get().setAsCurrentWorkingDirectory();
    EXPECT_TRUE (UserShell::openAddress ("https://example.invalid/").failed());
    startFolder.setAsCurrentWorkingDirectory();

    unsetenv ("PKEXEC_UID");
    DesktopPointer::ignoreXErrorsLikeTheApplication();
    PanelParts::getDefaultLauncher() (juce::URL ("https://example.invalid/manual"));
    auto* notice = dynamic_cast<juce::AlertWindow*> (juce::ModalComponentManager::getInstance()->getModalComponent (0));
    ASSERT_NE (notice, nullptr);
    ASSERT_NE (notice->getTextEditor ("address"), nullptr);
    EXPECT_EQ (notice->getTextEditor ("address")->getText(), "https://example.invalid/manual");
    EXPECT_TRUE (notice->getTextEditor ("address")->isReadOnly());
    notice->exitModalState (0);
    dispatchMessagesUntil ([]
                           { return juce::ModalComponentManager::getInstance()->getNumModalComponents() == 0; });

    EXPECT_FALSE (record.exists());
}
