#include "support/debuglog.h"

namespace {

QStringList collected;
DebugLog *current = nullptr;

} // namespace

DebugLog::DebugLog()
{
    Q_ASSERT(!current);
    current = this;
    collected.clear();
    previous = qInstallMessageHandler(&DebugLog::handler);
}

DebugLog::~DebugLog()
{
    qInstallMessageHandler(previous);
    current = nullptr;
}

void DebugLog::handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg) {
        collected << message;
        return;
    }
    // Warnings and worse still reach the test's output.
    if (current && current->previous)
        current->previous(type, context, message);
}

QStringList DebugLog::lines() const
{
    return collected;
}

QStringList DebugLog::after(const QString &prefix) const
{
    QStringList found;
    for (const QString &line : collected)
        if (line.startsWith(prefix))
            found << line.mid(prefix.size()).trimmed();
    return found;
}

int DebugLog::count(const QString &line) const
{
    return collected.count(line);
}

void DebugLog::clear()
{
    collected.clear();
}
