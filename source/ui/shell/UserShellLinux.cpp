// Linux: xdg-open started without a shell, as the user at the desktop; a run as root first becomes
// the user named by SUDO_UID or PKEXEC_UID, in a child of its own.
#include "ui/shell/UserShell.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <optional>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace
{
    // What the go-between child says with its exit status.
    constexpr int spawned = 0;
    constexpr int userNotBecome = 1;
    constexpr int notSpawned = 2;

    /** What a desktop session needs of the environment, passed through to the user's xdg-open. */
    constexpr const char* sessionVariables[] { "DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR", "DBUS_SESSION_BUS_ADDRESS" };

    std::string getVariable (const char* name)
    {
        const auto* value = std::getenv (name);
        return value != nullptr ? std::string (value) : std::string();
    }

    /** The first executable regular file named `program` in a folder of PATH. Relative folders (an
        empty one means the current folder) are skipped: they name wherever the program was started. */
    std::string findOnPath (const std::string& path, const std::string& program)
    {
        for (size_t start = 0; start <= path.size();)
        {
            const auto end = std::min (path.find (':', start), path.size());
            const auto folder = path.substr (start, end - start);
            start = end + 1;

            if (folder.empty() || folder.front() != '/')
                continue;

            const auto candidate = folder + "/" + program;
            struct stat info = {};

            if (stat (candidate.c_str(), &info) == 0 && S_ISREG (info.st_mode) && access (candidate.c_str(), X_OK) == 0)
                return candidate;
        }

        return {};
    }

    /** The user to run the handler as, looked up before the fork: a child forked from a program with
        threads may make system calls only, so it cannot read the password or group database. */
    struct DesktopUser
    {
        uid_t uid = 0;
        gid_t gid = 0;
        std::vector<gid_t> groups;  // as initgroups would set them, sorted as the kernel keeps them
        std::vector<gid_t> scratch; // as many, for the child to read the groups back into
        std::string name;
        std::string home;
    };

    /** A user id written in decimal and nothing else. */
    std::optional<uid_t> parseUserId (const std::string& text)
    {
        if (text.empty() || text.size() > 10 || text.find_first_not_of ("0123456789") != std::string::npos)
            return {};

        const auto value = std::stoull (text);

        if (value >= (unsigned long long) (uid_t) -1)
            return {};

        return (uid_t) value;
    }

    /** The user whom sudo or pkexec was started by; nothing when neither says, when that is root
        again, or when the password database does not know them. */
    std::optional<DesktopUser> findDesktopUser()
    {
        const auto named = std::getenv ("SUDO_UID") != nullptr ? getVariable ("SUDO_UID") : getVariable ("PKEXEC_UID");
        const auto uid = parseUserId (named);

        if (! uid || *uid == 0)
            return {};

        std::vector<char> buffer (4096);
        passwd entry {};
        passwd* found = nullptr;

        while (getpwuid_r (*uid, &entry, buffer.data(), buffer.size(), &found) == ERANGE)
            buffer.resize (buffer.size() * 2);

        if (found == nullptr)
            return {};

        DesktopUser user;
        user.uid = *uid;
        user.gid = entry.pw_gid;
        user.name = entry.pw_name;
        user.home = entry.pw_dir;

        auto count = 16;

        for (;;)
        {
            user.groups.resize ((size_t) count);
            const auto asked = count;

            if (getgrouplist (entry.pw_name, entry.pw_gid, user.groups.data(), &count) >= 0)
                break;

            count = std::max (count, asked * 2);
        }

        user.groups.resize ((size_t) std::max (count, 0));
        std::sort (user.groups.begin(), user.groups.end());
        user.scratch.resize (user.groups.size());
        return user;
    }

    /** The user's own HOME, USER and LOGNAME, the PATH xdg-open was found on, and the session's
        variables; nothing else of root's environment. */
    std::vector<std::string> getUserEnvironment (const DesktopUser& user, const std::string& path)
    {
        std::vector<std::string> variables { "HOME=" + user.home, "USER=" + user.name, "LOGNAME=" + user.name, "PATH=" + path };

        for (const auto* name : sessionVariables)
            if (std::getenv (name) != nullptr)
                variables.push_back (std::string (name) + "=" + getVariable (name));

        return variables;
    }

    /** Strings as the null-ended array of pointers that exec takes. */
    class CStrings final
    {
    public:
        explicit CStrings (std::vector<std::string> texts)
            : strings (std::move (texts))
        {
            for (auto& text : strings)
                pointers.push_back (text.data());

            pointers.push_back (nullptr);
        }

        char* const* get() const { return pointers.data(); }

    private:
        std::vector<std::string> strings;
        std::vector<char*> pointers;

        JUCE_DECLARE_NON_COPYABLE (CStrings)
    };

    /** How xdg-open starts: in a session of its own (so it has no terminal of ours to type into),
        with default signal handling, standard input from /dev/null and none of our descriptors but
        the standard ones (a folder a root run holds open must not reach the user's program). Run as
        another user, it gets neither root's terminal nor root's current folder. */
    class SpawnSettings final
    {
    public:
        explicit SpawnSettings (bool asAnotherUser)
        {
            posix_spawn_file_actions_init (&actions);
            posix_spawnattr_init (&attributes);

            valid = posix_spawn_file_actions_addopen (&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0) == 0;

            if (asAnotherUser)
            {
                valid = valid && posix_spawn_file_actions_addopen (&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0) == 0;
                valid = valid && posix_spawn_file_actions_addopen (&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0) == 0;
                valid = valid && posix_spawn_file_actions_addchdir_np (&actions, "/") == 0;
            }

            valid = valid && posix_spawn_file_actions_addclosefrom_np (&actions, STDERR_FILENO + 1) == 0;

            sigset_t signals;
            sigemptyset (&signals);
            valid = valid && posix_spawnattr_setsigmask (&attributes, &signals) == 0;
            sigfillset (&signals);
            valid = valid && posix_spawnattr_setsigdefault (&attributes, &signals) == 0;
            valid = valid && posix_spawnattr_setflags (&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;
        }

        ~SpawnSettings()
        {
            posix_spawnattr_destroy (&attributes);
            posix_spawn_file_actions_destroy (&actions);
        }

        posix_spawn_file_actions_t actions;
        posix_spawnattr_t attributes;
        bool valid = false;

        JUCE_DECLARE_NON_COPYABLE (SpawnSettings)
    };

    /** In the forked child: the user's groups, group and user, in that order, each read back, and no
        way back to root. System calls only. */
    bool becomeUser (DesktopUser& user)
    {
        if (setgroups (user.groups.size(), user.groups.data()) != 0 || setgid (user.gid) != 0 || setuid (user.uid) != 0)
            return false;

        uid_t realUser = 0, effectiveUser = 0, savedUser = 0;
        gid_t realGroup = 0, effectiveGroup = 0, savedGroup = 0;

        if (getresuid (&realUser, &effectiveUser, &savedUser) != 0 || getresgid (&realGroup, &effectiveGroup, &savedGroup) != 0)
            return false;

        if (realUser != user.uid || effectiveUser != user.uid || savedUser != user.uid || realGroup != user.gid || effectiveGroup != user.gid || savedGroup != user.gid)
            return false;

        if (getgroups ((int) user.scratch.size(), user.scratch.data()) != (int) user.scratch.size())
            return false;

        std::sort (user.scratch.begin(), user.scratch.end());

        if (user.scratch != user.groups)
            return false;

        return setuid (0) != 0;
    }

    /** Runs xdg-open with the one argument, as the desktop user when running as root. */
    juce::Result startXdgOpen (const std::string& argument)
    {
        // An argument that xdg-open would take for an option is not an address.
        if (argument.empty() || argument.front() == '-')
            return juce::Result::fail ("not an address: " + juce::String (argument));

        const auto path = getVariable ("PATH");
        const auto program = findOnPath (path, "xdg-open");

        if (program.empty())
            return juce::Result::fail ("xdg-open is not on the PATH");

        std::optional<DesktopUser> user;

        if (geteuid() == 0)
        {
            user = findDesktopUser();

            if (! user)
                return juce::Result::fail ("running as root, with no user in SUDO_UID or PKEXEC_UID to open it as");
        }

        // Everything the child uses is made before the fork.
        const CStrings arguments ({ program, argument });
        const CStrings userEnvironment (user ? getUserEnvironment (*user, path) : std::vector<std::string>());
        const auto* environment = user ? userEnvironment.get() : environ;
        const SpawnSettings settings (user.has_value());

        if (! settings.valid)
            return juce::Result::fail ("xdg-open could not be prepared");

        const auto child = fork();

        if (child < 0)
            return juce::Result::fail ("no process could be made for xdg-open");

        if (child == 0)
        {
            if (user && ! becomeUser (*user))
                _exit (userNotBecome);

            // xdg-open is not waited for (it may last as long as the browser); this go-between ends
            // at once, so it is the system's to collect.
            pid_t handler = 0;
            _exit (posix_spawn (&handler, program.c_str(), &settings.actions, &settings.attributes, arguments.get(), environment) == 0
                       ? spawned
                       : notSpawned);
        }

        auto status = 0;

        while (waitpid (child, &status, 0) < 0)
            if (errno != EINTR)
                return juce::Result::fail ("xdg-open's start was lost");

        if (WIFEXITED (status) && WEXITSTATUS (status) == spawned)
            return juce::Result::ok();

        if (WIFEXITED (status) && WEXITSTATUS (status) == userNotBecome)
            return juce::Result::fail ("xdg-open could not be run as user " + juce::String (user->uid));

        return juce::Result::fail ("xdg-open could not be started");
    }
} // namespace

namespace UserShell
{
    juce::Result openAddress (const juce::String& address)
    {
        return startXdgOpen (address.toStdString());
    }

    juce::Result revealFile (const juce::File& file)
    {
        return openAddress ((file.isDirectory() ? file : file.getParentDirectory()).getFullPathName());
    }
} // namespace UserShell
