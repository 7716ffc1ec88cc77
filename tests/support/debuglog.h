// Collects the program's debug lines while it lives, for tests that check
// what the program logged. Warnings and worse still reach the test's output.
#pragma once

#include <QStringList>
#include <QtGlobal>

class DebugLog
{
public:
    DebugLog();
    ~DebugLog();

    QStringList lines() const { return collected; }
    int count(const QString &line) const { return collected.count(line); }
    void clear() { collected.clear(); }
    // The lines that begin with prefix, with the prefix and blanks taken off.
    QStringList after(const QString &prefix) const;

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message);
    static QStringList collected;
    static QtMessageHandler previous;
};
