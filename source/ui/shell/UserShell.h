// Opens web addresses, mail links and folders with the desktop user's own programs, never with the installer's rights.
#pragma once

#include <juce_core/juce_core.h>

/**
    The installer runs as administrator on Windows (and may run as root on Linux). A browser, mail
    client or file manager that it started would run with those rights, and on Windows it would be
    chosen from the user's own registry, which the user's unelevated programs can write. These
    functions start the handler as the user at the desktop instead, or start nothing at all.

    Windows: the desktop's shell (Explorer, running as the signed-in user) is asked to start it.
    Linux: xdg-open, found on the PATH the program was started with, run without a shell; as root,
    as the user named by SUDO_UID or PKEXEC_UID.
*/
namespace UserShell
{
    /** Hands a web address, a "mailto:" link or a path, as one argument, to the user's own handler.
        Fails, having started nothing, when it cannot be started as that user (no desktop shell, a
        service session, root with no user to become); the caller then shows the address instead. */
    juce::Result openAddress (const juce::String& address);

    /** Shows a file or folder in the user's file manager: Explorer with it selected on Windows; on
        Linux a folder itself, or the folder that holds a file. Fails as openAddress does. */
    juce::Result revealFile (const juce::File& file);
} // namespace UserShell
