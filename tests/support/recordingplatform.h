// A platform that runs nothing and remembers what it was asked, for tests of
// the callers of the platform seam.
#pragma once

#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include "platform/platform.h"

class RecordingPlatform : public platform::Platform
{
public:
    // Every call in order: "find Dotrix.exe", "kill-command Dotrix.exe",
    // "start <appDir>/Dotrix.exe", "autostart <path>", "cursors", "settle".
    QStringList calls;
    // What findProcess finds. A kill command removes the name and a start
    // adds it, as the real programs would.
    QSet<QString> running;
    QSet<QString> unstartable;
    // How long settleBeforeOpen really waits; the real pause is 600 ms.
    int settleMilliseconds = 0;

    std::string executableName(const std::string &windowsName) const override { return windowsName; }
    bool findProcess(const std::string &windowsName) override
    {
        calls << "find " + QString::fromStdString(windowsName);
        return running.contains(QString::fromStdString(windowsName));
    }
    bool startProgram(const std::string &appDir, const std::string &windowsName) override;
    std::string killCommand(const std::string &windowsName) const override;
    bool writeAutostart(const std::string &appFilePath) override
    {
        calls << "autostart " + QString::fromStdString(appFilePath);
        return true;
    }
    void resetCursorScheme() override { calls << "cursors"; }
    void settleBeforeOpen() override;

    QStringList callsStartingWith(const QString &prefix) const
    {
        return calls.filter(QRegularExpression("^" + QRegularExpression::escape(prefix)));
    }
};
