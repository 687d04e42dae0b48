// Rules for names that must mean the same file on every system the plug-in goes to, and for the
// folder paths an elevated run may act on.
#pragma once

#include <juce_core/juce_core.h>

/** Whether Windows takes this file or folder name for a device in any folder: CON, PRN, AUX,
    NUL, COM1 to COM9 and LPT1 to LPT9 (also with the superscript digits 1 to 3), CONIN$ and
    CONOUT$, in any case, alone or followed by an extension ("nul.txt", "Com1.tar.gz"). */
bool isReservedDeviceName (const juce::String& name);

/** Whether the bytes are well-formed UTF-8 without a NUL: no overlong forms, no surrogates,
    nothing above U+10FFFF, no sequence cut short. */
bool isWellFormedUtf8 (const void* bytes, size_t size);

/** What a NUL in the file (raw or as a reference) and any reference that names no character
    are read as. The parser would drop such a reference, or end the text at a raw NUL, so a
    value would be read other than written; U+FFFF is no XML character, and no usable value
    holds it. */
constexpr juce::juce_wchar nulStandIn = 0xffff;

/** Longer folder values are not taken. */
constexpr int maximumPathLength = 1024;

/** Which paths count as absolute: POSIX ones start with '/'; Windows ones are a drive path
    ("C:\..." or "C:/...") or a network share ("\\server\share..."). */
enum class PathRules
{
    posix,
    windows
};

#if JUCE_WINDOWS
constexpr PathRules nativePathRules = PathRules::windows;
#else
constexpr PathRules nativePathRules = PathRules::posix;
#endif

/** Whether a folder value read from the file may be acted on by a program that runs with
    administrator rights: an absolute path of at most maximumPathLength characters, not blank,
    holding no control character (C0, DEL or C1), no NUL (which reaches it as nulStandIn) and no
    U+FFFD (what ill-formed text was read as), that is no device or namespace path ("\\?\",
    "\\.\", "\??\", also with forward slashes). Under the Windows rules it also holds none of
    < > " | ? *, no colon but a drive letter's, no part named like a device, and is no network
    path to a server's pipes, mail slots or IPC$. */
bool isUsableFolderPath (const juce::String& value, PathRules rules = nativePathRules);
