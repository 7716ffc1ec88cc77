#include "support/recordingplatform.h"

#include <chrono>
#include <thread>

bool RecordingPlatform::startProgram(const std::string &appDir, const std::string &windowsName)
{
    const QString name = QString::fromStdString(windowsName);
    calls << "start " + QString::fromStdString(appDir) + "/" + name;
    if (unstartable.contains(name))
        return false;
    running.insert(name);
    return true;
}

std::string RecordingPlatform::killCommand(const std::string &windowsName) const
{
    auto *self = const_cast<RecordingPlatform *>(this);
    self->calls << "kill-command " + QString::fromStdString(windowsName);
    self->running.remove(QString::fromStdString(windowsName));
    return "true"; // exists everywhere and does nothing
}

void RecordingPlatform::settleBeforeOpen()
{
    calls << "settle";
    std::this_thread::sleep_for(std::chrono::milliseconds(settleMilliseconds));
}
