// Rules for names that must mean the same file on every system the plug-in goes to.
#pragma once

#include <juce_core/juce_core.h>

/** Whether Windows takes this file or folder name for a device in any folder: CON, PRN, AUX,
    NUL, COM1 to COM9 and LPT1 to LPT9 (also with the superscript digits 1 to 3), CONIN$ and
    CONOUT$, in any case, alone or followed by an extension ("nul.txt", "Com1.tar.gz"). */
bool isReservedDeviceName (const juce::String& name);

/** Whether the bytes are well-formed UTF-8 without a NUL: no overlong forms, no surrogates,
    nothing above U+10FFFF, no sequence cut short. */
bool isWellFormedUtf8 (const void* bytes, size_t size);
