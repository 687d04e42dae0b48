#include "engine/BundleFixture.h"

#if JUCE_LINUX
 #include <fcntl.h>
 #include <sys/file.h>
 #include <sys/stat.h>
#endif

#if JUCE_LINUX
//==============================================================================
#ifdef TW_TRACED_INSTALL
/** One system call of a recorded run: its name, the paths strace showed for its file descriptors
    (-y), and the path strings it was given (other strings are cut short by -s 0), each a whole
    path; whether every path was given as a plain name inside a folder's descriptor; and whether
    it succeeded. */
struct TracedCall
{
    std::string name;
    std::vector<std::string> descriptorPaths, strings;
    bool relative = false, succeeded = false;
};

std::vector<TracedCall> readTrace (const juce::File& log)
{
    static const std::regex callPattern (R"(^\d+\s+(\w+)\((.*)\) = (-?)\d+)"), stringPattern (R"("((?:[^"\\]|\\.)*)\")"),
        descriptorPattern (R"(<([^>]*)>)");
    std::vector<TracedCall> calls;

    for (const auto& line : juce::StringArray::fromLines (log.loadFileAsString()))
    {
        std::smatch call;
        const auto text = line.toStdString();

        if (! std::regex_search (text, call, callPattern))
            continue;

        TracedCall traced { call[1], {}, {}, false, call[3].str().empty() };
        const auto arguments = call[2].str();

        for (std::sregex_iterator m (arguments.begin(), arguments.end(), stringPattern), end; m != end; ++m)
            traced.strings.push_back ((*m)[1]);

        const auto withoutStrings = std::regex_replace (arguments, stringPattern, "");

        for (std::sregex_iterator m (withoutStrings.begin(), withoutStrings.end(), descriptorPattern), end; m != end; ++m)
            traced.descriptorPaths.push_back ((*m)[1]);

        // A name given relative to a folder's descriptor (renameat2, unlinkat) becomes the whole path.
        traced.relative = ! traced.strings.empty() && traced.descriptorPaths.size() >= traced.strings.size()
                          && std::none_of (traced.strings.begin(), traced.strings.end(),
                                           [] (const std::string& name) { return name.find ('/') != std::string::npos; });

        if (traced.relative)
            for (size_t i = 0; i < traced.strings.size(); ++i)
                traced.strings[i] = traced.descriptorPaths[i] + "/" + traced.strings[i];

        calls.push_back (traced);
    }

    return calls;
}

/** The calls of one install of the carried VST3 bundle into `installFolder`, in a process of its own. */
std::vector<TracedCall> traceInstall (const juce::File& installFolder, const juce::File& log, const char* calls)
{
    juce::ChildProcess strace;
    EXPECT_TRUE (strace.start (juce::StringArray { "strace", "-f", "-qq", "-y", "-s", "0", "-o", log.getFullPathName(),
                                                   "-e", calls, TW_TRACED_INSTALL, installFolder.getFullPathName() }));
    const auto output = strace.readAllProcessOutput();
    EXPECT_EQ (strace.getExitCode(), 0u) << output;
    return readTrace (log);
}

TEST_F (BundleInstallerTest, reachesEveryNameInTheInstallFolderThroughTheHeldFolder)
{
    makeOldBundle (0);
    writeFile (installFolder.getChildFile (".Morvane4.vst3.removing-0badf00d/Contents/file"), "left by a killed run");
    const auto below = installFolder.getFullPathName().toStdString() + "/";
    size_t reached = 0;

    for (const auto& call : traceInstall (installFolder, folder / "trace.log", "trace=%file,flock"))
    {
        for (const auto& path : call.strings)
        {
            if (path.size() > below.size() && path.rfind (below, 0) == 0)
            {
                EXPECT_TRUE (call.relative) << call.name << " by path: " << path;
                ++reached;
            }
        }
    }

    EXPECT_GT (reached, 30u); // the repair, the staging, the swap and the removals all took part
}

TEST_F (BundleInstallerTest, flushesTheNewBundleBeforeTheSwapAndTheSwapBeforeTheOldBundleIsDeleted)
{
    makeOldBundle (0);
    const auto log = folder / "trace.log";
    auto calls = traceInstall (installFolder, log, "trace=write,fsync,fdatasync,rename,renameat,renameat2,unlink,unlinkat,rmdir");
    calls.erase (std::remove_if (calls.begin(), calls.end(), [] (const TracedCall& call) { return ! call.succeeded; }), calls.end());
    const auto bundle = installFolder.getChildFile ("Morvane4.vst3").getFullPathName().toStdString();
    const auto isFlush = [] (const TracedCall& call) { return call.name == "fsync" || call.name == "fdatasync"; };
    const auto pathOf = [] (const TracedCall& call) { return call.descriptorPaths.empty() ? std::string() : call.descriptorPaths.back(); };
    size_t swapIn = calls.size(), movedAside = calls.size();

    for (size_t i = 0; i < calls.size(); ++i)
        if (calls[i].name.rfind ("rename", 0) == 0 && calls[i].strings.size() == 2)
            (calls[i].strings[1] == bundle ? swapIn : calls[i].strings[0] == bundle ? movedAside : i) = i;

    ASSERT_LT (swapIn, calls.size()) << "no rename brought the new bundle in";
    EXPECT_LT (movedAside, swapIn) << "the old bundle was not renamed aside first";
    const auto staged = calls[swapIn].strings[0];

    // Before the swap: each staged file flushed after its last write, and each staged folder flushed.
    std::map<std::string, size_t> lastWrite, lastFlush;
    std::set<std::string> folders;

    for (size_t i = 0; i < swapIn; ++i)
    {
        const auto path = pathOf (calls[i]);

        if (isFlush (calls[i]))
            lastFlush[path] = i;
        else if (calls[i].name == "write" && path.rfind (staged + "/", 0) == 0)
            lastWrite[path] = i;

        for (auto dir = path.substr (0, path.rfind ('/')); calls[i].name == "write" && dir.rfind (staged, 0) == 0; dir = dir.substr (0, dir.rfind ('/')))
            folders.insert (dir);
    }

    ASSERT_EQ (lastWrite.size(), 4u); // the archive's four files
    ASSERT_EQ (folders.size(), 4u);   // the bundle, Contents, Resources, x86_64-win

    for (const auto& [file, written] : lastWrite)
        EXPECT_TRUE (lastFlush.count (file) != 0 && lastFlush[file] > written) << "not flushed: " << file;

    for (const auto& dir : folders)
        EXPECT_EQ (lastFlush.count (dir), 1u) << "not flushed: " << dir;

    // After it: the install folder flushed before anything of the old bundle is deleted.
    size_t folderFlushed = calls.size(), firstDeletion = calls.size();

    for (size_t i = calls.size(); i-- > swapIn;)
    {
        const auto removed = calls[i].strings.empty() ? std::string() : calls[i].strings[0];

        if (isFlush (calls[i]) && pathOf (calls[i]) == installFolder.getFullPathName().toStdString())
            folderFlushed = i;
        else if ((calls[i].name == "unlink" || calls[i].name == "unlinkat" || calls[i].name == "rmdir")
                 && removed.find (".staging-") == std::string::npos)
            firstDeletion = i;
    }

    ASSERT_LT (firstDeletion, calls.size()) << "the old bundle was never deleted";
    EXPECT_LT (folderFlushed, firstDeletion);
}
#endif

//==============================================================================
/** A copy of the installer in a child process; `whileRunning` is called at its steps. */
pid_t startCopy (const std::function<juce::Result()>& run, const DurableFiles::StepHook& whileRunning)
{
    const auto child = fork();

    if (child == 0)
    {
        DurableFiles::setStepHook (whileRunning);
        _exit (run().wasOk() ? 0 : 1);
    }

    return child;
}

int waitForExitCode (pid_t child)
{
    int status = 0;
    return waitpid (child, &status, 0) == child && WIFEXITED (status) ? WEXITSTATUS (status) : -1;
}

TEST_F (BundleInstallerTest, aSecondCopyNeverTouchesTheFirstOnesBundle)
{
    makeOldBundle (0);
    int toParent[2], toChild[2];
    ASSERT_EQ (pipe (toParent), 0);
    ASSERT_EQ (pipe (toChild), 0);

    // The first copy stops after its first file, staging folder and lock in place, until told to go on.
    const auto first = startCopy ([&] { return install (installFolder, 0, carriedArchive (0)); },
                                  [&, paused = false] (const char* step, const juce::File&) mutable
                                  {
                                      if (paused || juce::String (step) != "write file")
                                          return;

                                      paused = true;
                                      char byte = 0;
                                      (void) ! write (toParent[1], &byte, 1);
                                      (void) ! read (toChild[0], &byte, 1);
                                  });
    char byte = 0;
    ASSERT_EQ (read (toParent[0], &byte, 1), 1);
    const auto whileFirstRuns = snapshot (installFolder);

    EXPECT_EQ (install (installFolder, 0, carriedArchive (0)).getErrorMessage(), "another installation is running");
    EXPECT_EQ (uninstallBundle (installFolder, "Morvane4.vst3").getErrorMessage(), "another installation is running");
    EXPECT_FALSE (repairInterruptedRun (installFolder, "Morvane4.vst3")) << "a repair left undone must say so";
    EXPECT_TRUE (sameTree (snapshot (installFolder), whileFirstRuns));

    ASSERT_EQ (write (toChild[1], &byte, 1), 1);
    EXPECT_EQ (waitForExitCode (first), 0);
    EXPECT_TRUE (sameTree (snapshot (installFolder), unpackWithJuce (carriedArchive (0), folder / "reference")));

    for (auto fd : { toParent[0], toParent[1], toChild[0], toChild[1] })
        close (fd);
}

TEST_F (BundleInstallerTest, theLockLivesWhereOnlyRootGoesAndKeepsOutASecondCopyAndTheOtherFormatsOfTheFolder)
{
    ASSERT_TRUE (installFolder.createDirectory().wasOk());
    using Lock = DurableFiles::BundleLock;

    {
        Lock first (installFolder, "Morvane4.vst3");
        ASSERT_EQ (first.acquire (juce::RelativeTime()), Lock::Outcome::acquired);

        // Nothing in the install folder; the lock's folder is root's alone.
        EXPECT_EQ (installFolder.getNumberOfChildFiles (juce::File::findFilesAndDirectories), 0);
        struct stat lockFolder = {};
        ASSERT_EQ (::stat (Lock::getLockFolder().getFullPathName().toRawUTF8(), &lockFolder), 0);
        EXPECT_EQ (lockFolder.st_uid, 0u);
        EXPECT_EQ (lockFolder.st_mode & 0777, 0700u);

        Lock second (installFolder, "Morvane4.vst3"), otherFormat (DurableFiles::Folder::open (installFolder), "Morvane4.clap");
        EXPECT_EQ (second.acquire (juce::RelativeTime::milliseconds (100)), Lock::Outcome::busy);
        EXPECT_EQ (otherFormat.acquire (juce::RelativeTime()), Lock::Outcome::busy);
    }

    Lock afterwards (installFolder, "Morvane4.vst3");
    EXPECT_EQ (afterwards.acquire (juce::RelativeTime()), Lock::Outcome::acquired);
    EXPECT_EQ (Lock (folder / "missing", "Morvane4.vst3").acquire (juce::RelativeTime()), Lock::Outcome::cannotCreate);
}

TEST_F (BundleInstallerTest, aStandardUserCanNeitherTakeNorBlockTheLock)
{
    ASSERT_TRUE (installFolder.createDirectory().wasOk());
    const auto lockFile = DurableFiles::BundleLock::getLockFolder().getChildFile (
        DurableFiles::BundleLock::getLockName (DurableFiles::Folder::open (installFolder), "Morvane4.vst3"));
    int ready[2], done[2];
    ASSERT_EQ (::pipe (ready), 0);
    ASSERT_EQ (::pipe (done), 0);

    // As nobody: the locks a user can reach (on the install folder itself) are taken and held,
    // and the lock file itself is tried.
    const auto child = fork();

    if (child == 0)
    {
        const auto fd = ::open (installFolder.getFullPathName().toRawUTF8(), O_RDONLY | O_DIRECTORY);
        const auto took = fd >= 0 && ::flock (fd, LOCK_EX) == 0 && ::setgid (65534) == 0 && ::setuid (65534) == 0;
        const char answer = took && ::open (lockFile.getFullPathName().toRawUTF8(), O_RDWR | O_CREAT, 0666) < 0 ? 'y' : 'n';
        (void) ! ::write (ready[1], &answer, 1);
        char wait;
        (void) ! ::read (done[0], &wait, 1);
        _exit (0);
    }

    char answer = 0;
    ASSERT_EQ (::read (ready[0], &answer, 1), 1);
    EXPECT_EQ (answer, 'y') << "nobody reached the lock file";

    EXPECT_TRUE (install (installFolder, 0, carriedArchive (0)).wasOk());
    EXPECT_TRUE (uninstallBundle (installFolder, "Morvane4.vst3").wasOk());

    (void) ! ::write (done[1], "x", 1);
    int status = 0;
    waitpid (child, &status, 0);

    for (const auto fd : { ready[0], ready[1], done[0], done[1] })
        ::close (fd);
}

//==============================================================================
struct InterruptedRun
{
    const char* name;
    int formatIndex;
    bool uninstall;
    bool linkedBundle; // the old bundle is a link to a developer's build outside the folder
};

void PrintTo (const InterruptedRun& run, std::ostream* out) { *out << run.name; }

class InterruptedRunTest : public BundleInstallerTest, public testing::WithParamInterface<InterruptedRun>
{
protected:
    void makeOldOne() const
    {
        if (! GetParam().linkedBundle)
            return makeOldBundle (GetParam().formatIndex);

        ASSERT_TRUE (installFolder.createDirectory().wasOk());
        ASSERT_TRUE (build.createSymbolicLink (getBundlePath (installFolder, "Morvane4", GetParam().formatIndex), true));
    }

    const juce::File build = folder / "build/Morvane4.vst3";
};

TEST_P (InterruptedRunTest, killedAtAnyStepTheNextStartLeavesTheOldOrTheNewBundleAndNothingElse)
{
    const auto [name, formatIndex, uninstall, linkedBundle] = GetParam();
    const auto bundleName = getBundleName ("Morvane4", formatIndex);
    const auto bundle = installFolder.getChildFile (bundleName);
    const auto archive = carriedArchive (formatIndex);
    writeFile (build.getChildFile ("Contents/x86_64-win/Morvane4.vst3"), "the developer's build");
    const auto buildTree = snapshot (build);
    makeOldOne();
    const auto oldTree = snapshot (installFolder);
    const auto newTree = uninstall ? Tree() : unpackWithJuce (archive, folder / "reference");
    constexpr int killed = 42;
    juce::StringArray outcomes;

    for (int n = 1; n < 200; ++n)
    {
        const auto copy = startCopy ([&] { return uninstall ? uninstallBundle (installFolder, bundleName) : install (installFolder, formatIndex, archive); },
                                     [n, steps = 0] (const char*, const juce::File&) mutable
                                     {
                                         if (++steps == n)
                                             _exit (killed);
                                     });
        const auto exitCode = waitForExitCode (copy);
        ASSERT_TRUE (exitCode == 0 || exitCode == killed) << "step " << n << ": exit code " << exitCode;

        repairInterruptedRun (installFolder, bundleName); // the next start
        const auto now = snapshot (installFolder);
        const auto isNew = sameTree (now, newTree) && ! bundle.isSymbolicLink();
        ASSERT_TRUE (isNew || sameTree (now, oldTree)) << "killed at step " << n << ": " << sameTree (now, oldTree).message();
        ASSERT_TRUE (isNew || bundle.isSymbolicLink() == linkedBundle) << "killed at step " << n << ": the link was not kept";
        ASSERT_TRUE (sameTree (snapshot (build), buildTree)) << "killed at step " << n;
        outcomes.add (isNew ? "new" : "old");

        if (exitCode == 0)
            break;

        installFolder.deleteRecursively();
        makeOldOne();
    }

    // Old up to one step, new from then on; and the run did finish.
    const auto text = outcomes.joinIntoString (" ");
    EXPECT_TRUE (outcomes.size() > 3 && text.startsWith ("old") && text.endsWith ("new")
                 && ! text.fromFirstOccurrenceOf ("new", false, false).contains ("old"))
        << text;
}

const InterruptedRun interruptedRuns[] = {
    { "updateOfAFolderBundle", 0, false, false },
    { "updateOfASingleFileBundle", 1, false, false },
    { "uninstallOfAFolderBundle", 2, true, false },
    { "uninstallOfASingleFileBundle", 1, true, false },
    { "updateOfALinkedBundle", 0, false, true },
    { "uninstallOfALinkedBundle", 0, true, true },
};

INSTANTIATE_TEST_SUITE_P (Runs, InterruptedRunTest, testing::ValuesIn (interruptedRuns),
                          [] (const testing::TestParamInfo<InterruptedRun>& param) { return std::string (param.param.name); });
#endif
