// Collects the program's debug lines while it lives, for tests that check
// what the program logged.
#pragma once

#include <QStringList>
#include <QtGlobal>

class DebugLog
{
public:
    DebugLog();
    ~DebugLog();

    DebugLog(const DebugLog &) = delete;
    DebugLog &operator=(const DebugLog &) = delete;

    QStringList lines() const;
    // The lines that begin with prefix, with the prefix and one blank taken off.
    QStringList after(const QString &prefix) const;
    int count(const QString &line) const;
    void clear();

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message);
    QtMessageHandler previous = nullptr;
};
