// Times a program's start: from exec to its first painted full-size window on the X display, as
// the median of several starts.
//
//   tw_start_bench PROGRAM [STARTS] [SIZE]
//
// Painted means the window is mapped at SIZE x SIZE (600 when left out) and its top bar shows the
// window's blue. Each start is ended (SIGTERM) once seen.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace
{
    using Clock = std::chrono::steady_clock;

    constexpr unsigned long topBarBlue = 0x0094D8;
    constexpr double giveUpSeconds = 20.0;

    /** Whether this top-level window (or the client inside a frame) is SIZE square and shows the blue bar. */
    bool isPaintedWindow (Display* display, Window window, int size)
    {
        XWindowAttributes attributes;

        if (XGetWindowAttributes (display, window, &attributes) == 0 || attributes.map_state != IsViewable
            || attributes.width != size || attributes.height != size)
            return false;

        auto* image = XGetImage (display, window, size / 2, 2, 1, 1, AllPlanes, ZPixmap);

        if (image == nullptr)
            return false;

        const auto pixel = XGetPixel (image, 0, 0) & 0xFFFFFF;
        XDestroyImage (image);
        return pixel == topBarBlue;
    }

    bool anyPaintedWindow (Display* display, int size)
    {
        Window root = 0, parent = 0, *children = nullptr;
        unsigned int count = 0;

        if (XQueryTree (display, DefaultRootWindow (display), &root, &parent, &children, &count) == 0)
            return false;

        auto found = false;

        for (unsigned int i = 0; i < count && ! found; ++i)
            found = isPaintedWindow (display, children[i], size);

        if (children != nullptr)
            XFree (children);

        return found;
    }

    /** Milliseconds from exec to the painted window, or a negative value when it never came. */
    double timeOneStart (Display* display, const char* program, int size)
    {
        char* const argv[] = { const_cast<char*> (program), nullptr };
        pid_t child = 0;
        const auto start = Clock::now();

        if (posix_spawn (&child, program, nullptr, nullptr, argv, environ) != 0)
            return -1.0;

        double milliseconds = -1.0;

        for (;;)
        {
            const auto elapsed = std::chrono::duration<double, std::milli> (Clock::now() - start).count();

            if (anyPaintedWindow (display, size))
            {
                milliseconds = elapsed;
                break;
            }

            if (elapsed > giveUpSeconds * 1000.0 || waitpid (child, nullptr, WNOHANG) == child)
                break;
        }

        kill (child, SIGTERM);
        waitpid (child, nullptr, 0);
        return milliseconds;
    }
} // namespace

int main (int argc, char** argv)
{
    if (argc < 2)
    {
        std::fprintf (stderr, "usage: tw_start_bench PROGRAM [STARTS] [SIZE]\n");
        return 2;
    }

    const auto starts = argc > 2 ? std::max (1, std::atoi (argv[2])) : 7;
    const auto size = argc > 3 ? std::atoi (argv[3]) : 600;
    auto* display = XOpenDisplay (nullptr);

    if (display == nullptr)
    {
        std::fprintf (stderr, "no X display\n");
        return 1;
    }

    // Windows come and go between asking for them and looking at them: such errors are expected.
    XSetErrorHandler ([] (Display*, XErrorEvent*) { return 0; });

    std::vector<double> times;

    for (int i = 0; i < starts; ++i)
    {
        const auto milliseconds = timeOneStart (display, argv[1], size);

        if (milliseconds < 0.0)
        {
            std::fprintf (stderr, "start %d showed no painted %dx%d window\n", i + 1, size, size);
            return 1;
        }

        times.push_back (milliseconds);
    }

    XCloseDisplay (display);

    auto sorted = times;
    std::sort (sorted.begin(), sorted.end());
    std::printf ("start to painted window (%d starts):", starts);

    for (const auto t : times)
        std::printf (" %.0f", t);

    std::printf (" ms\nstart_to_window_ms=%.0f\n", sorted[sorted.size() / 2]);
    return 0;
}
