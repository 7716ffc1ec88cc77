#include "platform/linux/services.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace platform::linuxos {

// Empty when the file cannot be read. Plain reads: a /proc file of a process
// that ends meanwhile fails with ESRCH, which std::filebuf reports by
// throwing, past any stream's exception mask, and ends the program.
std::string readWhole(const std::string &path)
{
    std::string contents;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return contents;
    char chunk[4096];
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n > 0) {
            contents.append(chunk, static_cast<std::size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            if (n < 0)
                contents.clear();
            break;
        }
    }
    close(fd);
    return contents;
}

} // namespace platform::linuxos
