#include "support/recordingplatform.h"

#include "inprocess.h"

bool RecordingPlatform::startProgram(const std::string &appDir, const std::string &program)
{
    const QString name = QString::fromStdString(program);
    calls << "start " + QString::fromStdString(appDir) + "/" + name;
    if (unstartable.contains(name))
        return false;
    running.insert(name);
    return true;
}

int RecordingPlatform::stopProgram(const std::string &, const std::string &program)
{
    const QString name = QString::fromStdString(program);
    calls << "stop " + name;
    return running.remove(name) ? 0 : 1;
}

std::unique_ptr<platform::DeviceMonitor> RecordingPlatform::watchDevices(platform::DeviceCallback onEvent)
{
    return sim::watchInProcessReceiver(std::move(onEvent));
}
