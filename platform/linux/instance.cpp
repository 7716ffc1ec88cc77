// The socket through which this user's copies of the program find each other.
#include "platform/platform.h"
#include "platform/privatefolder.h"

#include <cstdlib>
#include <unistd.h>

namespace platform {

std::string instanceSocketName(const std::string &executableFileName)
{
    // Beside the segments: other users' copies and strangers' files in /tmp
    // neither stop this program nor are stopped by it.
    const std::string folder = privateFolder();
    if (!folder.empty())
        return folder + "/instance";

    // Someone else holds that folder: run without a guard rather than trust it.
    const char *tmp = std::getenv("TMPDIR");
    const std::string tempDir = tmp && tmp[0] == '/' ? tmp : "/tmp";
    return tempDir + "/" + executableFileName + "-" + std::to_string(getuid()) + "-"
        + std::to_string(getpid());
}

} // namespace platform
