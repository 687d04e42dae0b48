// Times the whole install run of the three formats, which flushes what it writes to the disk,
// against Info-ZIP unzip and bsdtar on the same full-size stand-in archives, each of them followed
// by a flush of the file system they wrote to (syncfs, as `sync -f` does), and measures the run's
// peak resident memory.
//
//   tw_install_bench WORK_FOLDER           measure (makes the archives first when they are missing)
//   tw_install_bench --make WORK_FOLDER    only make the archives
//
// The archives are made in a process of their own, so that the memory used to make them is not
// in the measuring process. The measuring process maps them read-only from disk, as the
// installer's archives are mapped from its executable; the run unpacks them side by side and hands
// each one's pages back as they are inflated, as the installer does.
#include "engine/InstallRun.h"
#include "engine/ZipDirectory.h"

#include <juce_core/juce_core.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace
{
    constexpr int numRounds = 7;

    struct StandIn
    {
        const char* archiveName;
        const char* bundleName;
        const char* installFolderName;
        const char* modulePath; // "" when the bundle is the module
        size_t moduleSize;      // the product's module sizes
    };

    const StandIn standIns[] = {
        { "vst3.zip", "Morvane4.vst3", "VST3", "Contents/x86_64-win/Morvane4.vst3", 18813224 },
        { "clap.zip", "Morvane4.clap", "CLAP", "", 18336552 },
        { "aax.zip", "Morvane4.aaxplugin", "AAX", "Contents/x64/Morvane4.aaxplugin", 18601056 },
    };

    //==============================================================================
    /** Deterministic bytes that deflate to about 59% of their size, like a plug-in module: a mix of
        literals (half of them from a small set of common machine-code bytes) and short repeats
        of earlier bytes. */
    juce::MemoryBlock makeModuleBytes (size_t size, juce::uint64 seed)
    {
        static constexpr juce::uint8 common[16] = { 0x00, 0xff, 0x48, 0x8b, 0x89, 0x45, 0x24, 0xe8,
                                                    0x0f, 0x85, 0x4c, 0x8d, 0x05, 0x01, 0xc3, 0x74 };
        juce::MemoryBlock block (size);
        auto* out = static_cast<juce::uint8*> (block.getData());
        auto state = seed * 0x9e3779b97f4a7c15ull + 1;
        size_t pos = 0;

        const auto next = [&state]
        {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            return state;
        };

        while (pos < size)
        {
            const auto x = next();

            if (pos > 64 && x % 100 < 4)
            {
                const auto length = 4 + (size_t) ((x >> 8) % 28);
                const auto from = pos - 1 - (size_t) ((x >> 16) % std::min<juce::uint64> (pos, 32768));

                for (size_t i = 0; i < length && pos < size; ++i)
                    out[pos++] = out[from + i];
            }
            else
            {
                const auto y = next();
                out[pos++] = y % 100 < 55 ? (juce::uint8) (y >> 8) : common[(y >> 8) & 15];
            }
        }

        return block;
    }

    juce::MemoryBlock makeArchive (const StandIn& standIn, int index)
    {
        const juce::Time time (2026, 3, 26, 18, 53, 52);
        const auto prefix = juce::String (standIn.bundleName);
        juce::ZipFile::Builder builder;

        const auto add = [&] (const juce::String& path, const juce::MemoryBlock& bytes)
        {
            builder.addEntry (new juce::MemoryInputStream (bytes, true), 6, path, time);
        };

        // '/' separators, so that unzip and bsdtar make the same folders as the installer.
        if (juce::String (standIn.modulePath).isEmpty())
        {
            add (prefix, makeModuleBytes (standIn.moduleSize, (juce::uint64) index + 1));
        }
        else
        {
            const juce::String ini ("[.ShellClassInfo]\r\nIconResource=Plugin.ico,0\r\nIconFile=Plugin.ico\r\nIconIndex=0\r\n");
            add (prefix + "/desktop.ini", juce::MemoryBlock (ini.toRawUTF8(), ini.getNumBytesAsUTF8()));
            add (prefix + "/Plugin.ico", makeModuleBytes (88978, 100 + (juce::uint64) index));
            add (prefix + "/" + standIn.modulePath, makeModuleBytes (standIn.moduleSize, (juce::uint64) index + 1));
        }

        juce::MemoryOutputStream out;
        builder.writeToStream (out, nullptr);
        return out.getMemoryBlock();
    }

    int makeArchives (const juce::File& archiveFolder)
    {
        archiveFolder.createDirectory();

        for (int i = 0; i < 3; ++i)
        {
            const auto archive = makeArchive (standIns[i], i);

            if (! archiveFolder.getChildFile (standIns[i].archiveName).replaceWithData (archive.getData(), archive.getSize()))
            {
                std::fprintf (stderr, "cannot write %s\n", standIns[i].archiveName);
                return 1;
            }
        }

        return 0;
    }

    //==============================================================================
    using Clock = std::chrono::steady_clock;

    double secondsSince (Clock::time_point start)
    {
        return std::chrono::duration<double> (Clock::now() - start).count();
    }

    double median (std::vector<double> values)
    {
        std::sort (values.begin(), values.end());
        return values[values.size() / 2];
    }

    /** A field of /proc/self/status in kB (VmRSS, VmHWM). */
    long readStatusKilobytes (const std::string& field)
    {
        std::ifstream status ("/proc/self/status");

        for (std::string line; std::getline (status, line);)
            if (line.rfind (field + ":", 0) == 0)
                return std::stol (line.substr (field.size() + 1));

        return -1;
    }

    /** Starts VmHWM again from the present resident size. */
    bool resetPeakResidentSize()
    {
        std::ofstream clear ("/proc/self/clear_refs");
        clear << "5";
        clear.flush();
        return clear.good();
    }

    /** Runs a program with its output thrown away; false when it fails. */
    bool runProgram (const std::vector<std::string>& arguments)
    {
        std::vector<char*> argv;

        for (const auto& argument : arguments)
            argv.push_back (const_cast<char*> (argument.c_str()));

        argv.push_back (nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init (&actions);
        posix_spawn_file_actions_addopen (&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen (&actions, 2, "/dev/null", O_WRONLY, 0);

        pid_t child = 0;
        const auto spawned = posix_spawnp (&child, argv[0], &actions, nullptr, argv.data(), environ) == 0;
        posix_spawn_file_actions_destroy (&actions);

        int status = 0;
        return spawned && waitpid (child, &status, 0) == child && WIFEXITED (status) && WEXITSTATUS (status) == 0;
    }

    //==============================================================================
    struct Archives
    {
        std::vector<std::unique_ptr<juce::MemoryMappedFile>> mapped;
        std::vector<juce::File> files;
        juce::int64 packedBytes = 0, unpackedBytes = 0;
    };

    /** The install run of all three formats, as the installer does it: side by side, each
        archive's pages handed back as they are inflated. */
    bool installAll (const Archives& archives, const juce::File& target)
    {
        CarriedArchives carried;
        std::array<juce::File, numFormats> folders;

        for (size_t i = 0; i < (size_t) numFormats; ++i)
        {
            carried[i] = { archives.mapped[i]->getData(), archives.mapped[i]->getSize() };
            folders[i] = target.getChildFile (standIns[i].installFolderName);
        }

        const auto report = runFormats ({ true, true, true }, false, folders, "Morvane4", carried);

        for (const auto& line : report.getFailureLines())
            std::fprintf (stderr, "%s\n", line.toRawUTF8());

        return report.allSucceeded();
    }

    /** What `sync -f FOLDER` does: everything written to that folder's file system reaches the disk. */
    bool flushFileSystemOf (const juce::File& folder)
    {
        const auto fd = open (folder.getFullPathName().toRawUTF8(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);

        if (fd < 0)
            return false;

        const auto ok = syncfs (fd) == 0;
        close (fd);
        return ok;
    }

    bool unpackAllWith (const char* tool, const Archives& archives, const juce::File& target)
    {
        for (int i = 0; i < 3; ++i)
        {
            const auto folder = target.getChildFile (standIns[i].installFolderName);
            const auto archive = archives.files[(size_t) i].getFullPathName().toStdString();
            const auto where = folder.getFullPathName().toStdString();
            folder.createDirectory();

            const auto ok = juce::String (tool) == "unzip" ? runProgram ({ "unzip", "-q", "-o", archive, "-d", where })
                                                           : runProgram ({ "bsdtar", "-x", "-f", archive, "-C", where });
            if (! ok)
            {
                std::fprintf (stderr, "%s failed on %s\n", tool, archive.c_str());
                return false;
            }
        }

        return flushFileSystemOf (target);
    }

    /** For comparison: JUCE's own unpacking (8 KB stream chain, nothing verified), then the same flush. */
    bool unpackAllWithJuce (const Archives& archives, const juce::File& target)
    {
        for (int i = 0; i < 3; ++i)
        {
            const auto& archive = *archives.mapped[(size_t) i];
            juce::ZipFile zip (new juce::MemoryInputStream (archive.getData(), archive.getSize(), false), true);

            if (zip.uncompressTo (target.getChildFile (standIns[i].installFolderName)).failed())
                return false;
        }

        return flushFileSystemOf (target);
    }

    /** Every file the archives hold is there with its size. */
    bool checkUnpacked (const Archives& archives, const juce::File& target)
    {
        for (int i = 0; i < 3; ++i)
        {
            ZipDirectory directory;
            const auto& archive = *archives.mapped[(size_t) i];

            if (readZipDirectory (archive.getData(), archive.getSize(), directory).failed())
                return false;

            for (const auto& entry : directory.entries)
                if (target.getChildFile (standIns[i].installFolderName).getChildFile (entry.name).getSize() != entry.uncompressedSize)
                    return false;
        }

        return true;
    }

    juce::String describeMachine (const juce::File& folder)
    {
        std::ifstream mounts ("/proc/mounts");
        std::string bestMount = "?", bestType = "?";

        for (std::string device, mount, type, rest; mounts >> device >> mount >> type && std::getline (mounts, rest);)
            if (folder.getFullPathName().startsWith (mount) && mount.size() >= bestMount.size())
                bestMount = mount, bestType = type;

        return juce::SystemStats::getCpuModel() + ", " + juce::String (juce::SystemStats::getNumCpus()) + " cores, "
             + juce::String (juce::SystemStats::getMemorySizeInMegabytes() / 1024.0, 1) + " GB RAM, "
             + juce::SystemStats::getOperatingSystemName() + ", " + juce::String (bestType) + " file system";
    }

    double megabytes (juce::int64 bytes) { return (double) bytes / 1.0e6; }
} // namespace

int main (int argc, char** argv)
{
    if (argc == 3 && juce::String (argv[1]) == "--make")
        return makeArchives (juce::File::getCurrentWorkingDirectory().getChildFile (argv[2]).getChildFile ("archives"));

    if (argc != 2)
    {
        std::fprintf (stderr, "usage: tw_install_bench [--make] WORK_FOLDER\n");
        return 2;
    }

    const auto workFolder = juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]);
    const auto archiveFolder = workFolder.getChildFile ("archives");

    if (! archiveFolder.getChildFile ("aax.zip").existsAsFile()
        && ! runProgram ({ juce::File::getSpecialLocation (juce::File::currentExecutableFile).getFullPathName().toStdString(),
                           "--make", workFolder.getFullPathName().toStdString() }))
    {
        std::fprintf (stderr, "could not make the archives\n");
        return 1;
    }

    Archives archives;

    for (const auto& standIn : standIns)
    {
        const auto file = archiveFolder.getChildFile (standIn.archiveName);
        auto mapped = std::make_unique<juce::MemoryMappedFile> (file, juce::MemoryMappedFile::readOnly, false);
        ZipDirectory directory;

        if (mapped->getData() == nullptr || readZipDirectory (mapped->getData(), mapped->getSize(), directory).failed())
        {
            std::fprintf (stderr, "cannot read %s\n", file.getFullPathName().toRawUTF8());
            return 1;
        }

        juce::int64 unpacked = 0;

        for (const auto& entry : directory.entries)
            unpacked += entry.uncompressedSize;

        std::printf ("%-9s %6.2f MB packed, %6.2f MB unpacked (%.1f%%)\n", standIn.archiveName, megabytes ((juce::int64) mapped->getSize()),
                     megabytes (unpacked), 100.0 * (double) mapped->getSize() / (double) unpacked);
        archives.packedBytes += (juce::int64) mapped->getSize();
        archives.unpackedBytes += unpacked;
        archives.files.push_back (file);
        archives.mapped.push_back (std::move (mapped));
    }

    // Memory: the first run of this process, over what it holds while idle.
    const auto runsFolder = workFolder.getChildFile ("runs");
    runsFolder.deleteRecursively();
    const auto idleKilobytes = readStatusKilobytes ("VmRSS");

    if (! resetPeakResidentSize())
        std::printf ("note: this kernel cannot reset the peak resident size; the peak includes the start\n");

    if (! installAll (archives, runsFolder.getChildFile ("memory")))
        return 1;

    const auto peakKilobytes = readStatusKilobytes ("VmHWM");

    if (! checkUnpacked (archives, runsFolder.getChildFile ("memory")))
    {
        std::fprintf (stderr, "the installed files do not match the archives\n");
        return 1;
    }

    // Times: rounds of every way, each into a fresh folder, in turns; a warm-up round first.
    // The last way, JUCE's own unpacking, is for comparison only.
    constexpr int numWays = 4;
    std::vector<double> times[numWays];

    for (int round = 0; round <= numRounds; ++round)
    {
        for (int turn = 0; turn < numWays; ++turn)
        {
            const auto which = (round + turn) % numWays;
            const auto target = runsFolder.getChildFile ("round" + juce::String (round) + "-" + juce::String (which));
            const auto start = Clock::now();
            const auto ok = which == 0 ? installAll (archives, target)
                          : which == 1 ? unpackAllWith ("unzip", archives, target)
                          : which == 2 ? unpackAllWith ("bsdtar", archives, target)
                                       : unpackAllWithJuce (archives, target);
            const auto seconds = secondsSince (start);

            if (! ok || ! checkUnpacked (archives, target))
                return 1;

            if (round > 0)
                times[which].push_back (seconds);

            target.deleteRecursively();
            sync();
        }
    }

    runsFolder.deleteRecursively();

    const auto installMedian = median (times[0]);
    const auto unzipMedian = median (times[1]);
    const auto bsdtarMedian = median (times[2]);
    const auto juceMedian = median (times[3]);
    const auto overIdle = (double) (peakKilobytes - idleKilobytes) * 1024.0 / 1.0e6;
    const auto largestArchive = std::max ({ archives.mapped[0]->getSize(), archives.mapped[1]->getSize(), archives.mapped[2]->getSize() });

    std::printf ("machine: %s\n", describeMachine (workFolder).toRawUTF8());
    std::printf ("all three: %.1f MB packed, %.1f MB unpacked; median of %d rounds, warm cache\n",
                 megabytes (archives.packedBytes), megabytes (archives.unpackedBytes), numRounds);

    for (const auto& [name, seconds] : { std::pair<const char*, double> { "install run (durable)", installMedian },
                                         { "unzip + sync -f", unzipMedian },
                                         { "bsdtar + sync -f", bsdtarMedian },
                                         { "uncompressTo + sync -f", juceMedian } })
        std::printf ("  %-23s %7.1f ms  %6.1f MB/s unpacked\n", name, seconds * 1000.0, megabytes (archives.unpackedBytes) / seconds);

    std::printf ("peak resident memory of the install run: %.1f MB over idle (%.1f MB idle; largest archive %.1f MB)\n",
                 overIdle, (double) idleKilobytes * 1024.0 / 1.0e6, megabytes ((juce::int64) largestArchive));
    std::printf ("install/unzip=%.2f install/bsdtar=%.2f peak_rss_over_idle_mb=%.1f\n",
                 installMedian / unzipMedian, installMedian / bsdtarMedian, overIdle);
    return 0;
}
