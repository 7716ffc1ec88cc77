#include "support/recordingplatform.h"

#include <chrono>
#include <thread>

bool RecordingPlatform::findProcess(const std::string &windowsName)
{
    const QString name = QString::fromStdString(windowsName);
    calls << "find " + name;
    return running.contains(name);
}

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
    const QString name = QString::fromStdString(windowsName);
    auto *self = const_cast<RecordingPlatform *>(this);
    self->calls << "kill-command " + name;
    self->running.remove(name);
    return "true"; // exists everywhere and does nothing
}

bool RecordingPlatform::writeAutostart(const std::string &appFilePath)
{
    calls << "autostart " + QString::fromStdString(appFilePath);
    return true;
}

void RecordingPlatform::settleBeforeOpen()
{
    calls << "settle";
    std::this_thread::sleep_for(std::chrono::milliseconds(settleMilliseconds));
}
