#include "platform/privatefolder.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

bool ownAndClosed(const struct stat &info)
{
    return S_ISDIR(info.st_mode) && info.st_uid == getuid() && (info.st_mode & 077) == 0;
}

// The user's runtime folder may be reached through a link; it is the folder
// itself that must be closed to others.
bool usableRuntimeFolder(const char *path)
{
    struct stat info;
    return path && path[0] == '/' && stat(path, &info) == 0 && ownAndClosed(info);
}

// A folder of ours is never a link: one could point anywhere.
std::string madePrivate(const std::string &path)
{
    mkdir(path.c_str(), 0700);
    struct stat info;
    return lstat(path.c_str(), &info) == 0 && ownAndClosed(info) ? path : std::string();
}

} // namespace

std::string privateFolder()
{
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    if (usableRuntimeFolder(runtime))
        return madePrivate(std::string(runtime) + "/quorvant");
    const char *tmp = std::getenv("TMPDIR");
    const std::string temp = tmp && tmp[0] == '/' ? tmp : "/tmp";
    return madePrivate(temp + "/quorvant-" + std::to_string(getuid()));
}

} // namespace platform
