// A stand-in plug-in host whose process is named "fakehost": it maps a module and closes the file,
// or keeps the file open without mapping it, prints "held" and its process id, and waits to be ended.
//
//   fakehost map|open PATH
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

int main (int argc, char** argv)
{
    const auto mapped = argc == 3 && std::strcmp (argv[1], "map") == 0;
    const auto fd = argc == 3 ? ::open (argv[2], O_RDONLY | O_CLOEXEC) : -1;
    struct stat info {};

    if (fd < 0 || ::fstat (fd, &info) != 0 || info.st_size == 0)
        return 1;

    if (mapped && (::mmap (nullptr, (size_t) info.st_size, PROT_READ, MAP_PRIVATE, fd, 0) == MAP_FAILED || ::close (fd) != 0))
        return 1;

    std::printf ("held %d\n", (int) ::getpid());
    std::fflush (stdout);

    for (;;)
        ::pause();
}
