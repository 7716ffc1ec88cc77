// A platform that runs nothing and remembers what it was asked, for tests of
// the callers of the platform seam. Devices are watched on the in-process
// receiver.
#pragma once

#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include "inprocess.h"
#include "platform/platform.h"

class RecordingPlatform : public platform::Platform
{
public:
    // Every call that acts, in order: "stop Dotrix", "start <appDir>/Dotrix",
    // "autostart <path>", "cursors".
    QStringList calls;
    // What isRunning finds. A stop removes the name and a start adds it, as
    // the real programs would.
    QSet<QString> running;
    QSet<QString> unstartable;
    // Whether failed opens are for lack of permission.
    bool denyOpens = false;

    std::string programFile(const std::string &program) const override { return program; }
    bool isRunning(const std::string &, const std::string &program) override
    {
        return running.contains(QString::fromStdString(program));
    }
    bool startProgram(const std::string &appDir, const std::string &program) override
    {
        const QString name = QString::fromStdString(program);
        calls << "start " + QString::fromStdString(appDir) + "/" + name;
        if (unstartable.contains(name))
            return false;
        running.insert(name);
        return true;
    }
    int stopProgram(const std::string &, const std::string &program) override
    {
        const QString name = QString::fromStdString(program);
        calls << "stop " + name;
        return running.remove(name) ? 0 : 1;
    }
    bool writeAutostart(const std::string &appFilePath) override
    {
        calls << "autostart " + QString::fromStdString(appFilePath);
        return true;
    }
    void resetCursorScheme() override { calls << "cursors"; }
    std::unique_ptr<platform::DeviceMonitor> watchDevices(platform::DeviceCallback onEvent) override
    {
        return sim::watchInProcessReceiver(std::move(onEvent));
    }
    bool openDenied(const std::string &) override { return denyOpens; }
    // The process's own signals, as the system delivers them.
    std::unique_ptr<platform::EventSource> watchTermination(std::function<void(int)> onRequest) override
    {
        return platform::createPlatform()->watchTermination(std::move(onRequest));
    }

    QStringList callsStartingWith(const QString &prefix) const
    {
        return calls.filter(QRegularExpression("^" + QRegularExpression::escape(prefix)));
    }
};
