#include "engine/Leftovers.h"

#include "engine/SafeRemoval.h"

#include <map>

using DurableFiles::Folder;

namespace Leftovers
{
    namespace
    {
        constexpr int randomPartLength = 8;  // lower-case hexadecimal digits
        constexpr int timePartLength = 16;   // decimal milliseconds since 1970, padded with zeros

        /** Each worker of a run draws from its own generator. */
        juce::Random& getRandom()
        {
            thread_local juce::Random random;
            return random;
        }

        juce::String makeRandomPart()
        {
            return juce::String::toHexString ((juce::int64) (juce::uint32) getRandom().nextInt())
                .paddedLeft ('0', randomPartLength);
        }

        bool isMadeOf (const juce::String& text, int length, const char* characters)
        {
            return text.length() == length && text.containsOnly (characters);
        }

        /** "." + bundle name + "." + purpose + "-": the start of every name a run makes beside the bundle. */
        juce::String getLeftoverPrefix (const juce::String& bundleName, const juce::String& purpose)
        {
            return "." + bundleName + "." + purpose + "-";
        }

        /** For a name this program makes for `purpose` beside the bundle: what follows the prefix,
            which sorts moved-aside copies from oldest to newest. Empty for any other name (a user's
            ".Morvane4.vst3.old-backup"). Copies moved aside by earlier versions carry no time and
            count as the oldest. */
        juce::String getLeftoverKey (const juce::String& fileName, const juce::String& bundleName, const juce::String& purpose)
        {
            const auto prefix = getLeftoverPrefix (bundleName, purpose);

            if (! fileName.startsWith (prefix))
                return {};

            const auto rest = fileName.substring (prefix.length());
            constexpr const char* hexDigits = "0123456789abcdef";

            if (isMadeOf (rest, randomPartLength, hexDigits))
                return "0" + rest;

            if (purpose == "old" && rest[timePartLength] == '-' && isMadeOf (rest.substring (0, timePartLength), timePartLength, "0123456789")
                && isMadeOf (rest.substring (timePartLength + 1), randomPartLength, hexDigits))
                return "1" + rest;

            return {};
        }
    } // namespace

    /** A name beside the bundle that nothing uses yet, e.g. ".Morvane4.vst3.staging-0f3a9c1e". A
        moved-aside copy carries the time first (".old-0001765297800123-0f3a9c1e"), so that the
        newest of several is known. */
    juce::String makeUnusedName (const Folder& installFolder, const juce::String& bundleName, const juce::String& purpose)
    {
        for (;;)
        {
            const auto time = purpose == "old" ? juce::String (juce::Time::currentTimeMillis()).paddedLeft ('0', timePartLength) + "-"
                                               : juce::String();
            const auto candidate = getLeftoverPrefix (bundleName, purpose) + time + makeRandomPart();

            if (DurableFiles::getEntryKind (installFolder, candidate) == DurableFiles::EntryKind::missing)
                return candidate;
        }
    }

    /** Every deletion of a leftover goes through here; what is in use goes at the next restart or
        run, and what waits for the restart is added to `removedAtRestart` when one is given. */
    void removeLeftover (const Folder& installFolder, const juce::String& name, juce::Array<juce::File>* removedAtRestart)
    {
        DurableFiles::announceStep ("remove", installFolder.getChildFile (name));

        if (const auto outcome = removeTreeNowOrAtRestart (installFolder, name); outcome.leftForRestart && removedAtRestart != nullptr)
            removedAtRestart->addArray (outcome.resisted);
    }

    /** Takes a copy out of the hosts' sight under a name that start-up never restores, then
        deletes it. A copy that cannot be moved stays whole under its name, for the next run. */
    void discard (const Folder& installFolder, const juce::String& bundleName, const juce::String& copy,
                  juce::Array<juce::File>* removedAtRestart)
    {
        const auto removing = makeUnusedName (installFolder, bundleName, "removing");

        if (DurableFiles::renameWithin (installFolder, copy, installFolder, removing).wasOk())
            removeLeftover (installFolder, removing, removedAtRestart);
    }

    Found find (const Folder& installFolder, const juce::String& bundleName)
    {
        Found found;
        std::map<juce::String, juce::String> asideByKey;
        juce::StringArray names;
        DurableFiles::listNames (installFolder, names);

        for (const auto& name : names)
        {
            for (const auto* purpose : { "old", "staging", "removing" })
            {
                const auto key = getLeftoverKey (name, bundleName, purpose);

                if (key.isEmpty())
                    continue;

                if (juce::String (purpose) == "old")
                    asideByKey[key] = name;
                else
                    found.others.add (name);
            }
        }

        for (const auto& [key, name] : asideByKey)
            found.asideCopies.add (name);

        return found;
    }

    /** With the bundle's lock held: a missing bundle gets its newest moved-aside copy back, as
        what it was (a link stays a link); everything else an interrupted run left goes. */
    void repairLocked (const Folder& installFolder, const juce::String& bundleName,
                       juce::Array<juce::File>* removedAtRestart)
    {
        auto leftovers = find (installFolder, bundleName);

        if (! leftovers.asideCopies.isEmpty()
            && DurableFiles::getEntryKind (installFolder, bundleName) == DurableFiles::EntryKind::missing
            && DurableFiles::renameWithin (installFolder, leftovers.asideCopies[leftovers.asideCopies.size() - 1], installFolder, bundleName).wasOk())
        {
            leftovers.asideCopies.remove (leftovers.asideCopies.size() - 1);
            DurableFiles::flushFolder (installFolder);
        }

        for (const auto& copy : leftovers.asideCopies)
            discard (installFolder, bundleName, copy, removedAtRestart);

        for (const auto& other : leftovers.others)
            removeLeftover (installFolder, other, removedAtRestart);
    }

    const char* describeLockFailure (DurableFiles::BundleLock::Outcome outcome, const char* cannotCreateReason)
    {
        return outcome == DurableFiles::BundleLock::Outcome::busy ? FailureReason::anotherRunning : cannotCreateReason;
    }
} // namespace Leftovers

//==============================================================================
bool repairInterruptedRun (const juce::File& installFolder, const juce::String& bundleName)
{
    if (bundleName.isEmpty())
        return true;

    const auto folder = Folder::open (installFolder);

    if (! folder.isOpen() || Leftovers::find (folder, bundleName).isEmpty())
        return true;

    // A copy that holds the lock is at work on this bundle: what lies beside it is its own.
    DurableFiles::BundleLock lock (folder, bundleName);

    if (lock.acquire (juce::RelativeTime()) != DurableFiles::BundleLock::Outcome::acquired)
        return false;

    Leftovers::repairLocked (folder, bundleName, nullptr);
    return true;
}

juce::StringArray repairInterruptedRuns (const std::array<juce::File, numFormats>& installFolders, const juce::String& productName)
{
    juce::StringArray notices;

    for (int i = 0; i < numFormats; ++i)
        if (! repairInterruptedRun (installFolders[(size_t) i], getBundleName (productName, i)))
            notices.add (formatNames[i] + ": what an interrupted run left in " + installFolders[(size_t) i].getFullPathName()
                         + " was not repaired: another installation is running");

    return notices;
}
