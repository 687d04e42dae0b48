// The folders where plug-in hosts look for plug-ins on this machine, besides the install folders.
#pragma once

#include <juce_core/juce_core.h>

#include <array>

/** One folder a host scans. `start` is taken as the system names it, links on it followed (a
    system folder, the running user's own folder, a CLAP_PATH entry, a profile the system lists);
    `below`, '/'-separated and maybe empty, is walked from there without following any link, so
    that a link another user made in their own profile leads nowhere else. */
struct HostFolder
{
    juce::File start;
    juce::String below;

    juce::File getPath() const { return below.isEmpty() ? start : start.getChildFile (below); }
};

/** A copy of the plug-in in a host folder that is not the installed bundle. */
struct OtherCopy
{
    int formatIndex = -1;
    juce::File path;
    juce::String version; // "a.b.c.d" from its module; empty when none could be read
};

/** The host folders of each format, by format index (VST3, CLAP, AAX). */
using HostFolders = std::array<juce::Array<HostFolder>, 3>;

/** This machine's host folders. Windows: for VST3 each user profile's (and the running user's)
    AppData\Local\Programs\Common\VST3, Program Files (x86)'s and Program Files' Common Files\VST3;
    for CLAP each profile's Programs\Common\CLAP, Common Files\CLAP and the folders of CLAP_PATH
    (';'-separated). Linux: ~/.vst3 and ~/.clap of the running user, and as root those of every
    home in the password database; /usr/lib/vst3, /usr/local/lib/vst3, /usr/lib/clap and the
    folders of CLAP_PATH (':'-separated). AAX hosts look in one folder only: none. */
HostFolders findHostFolders();

/** What the entry at `path` is, links followed (device and inode, or volume and file index), as
    text; empty when it cannot be told. Two paths to one bundle give the same answer. */
juce::String getEntryIdentity (const juce::File& path);

