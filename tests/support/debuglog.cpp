#include "support/debuglog.h"

QStringList DebugLog::collected;
QtMessageHandler DebugLog::previous = nullptr;

DebugLog::DebugLog()
{
    collected.clear();
    previous = qInstallMessageHandler(&DebugLog::handler);
}

DebugLog::~DebugLog()
{
    qInstallMessageHandler(previous);
    previous = nullptr;
}

void DebugLog::handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg)
        collected << message;
    else if (previous)
        previous(type, context, message);
}

QStringList DebugLog::after(const QString &prefix) const
{
    QStringList found;
    for (const QString &line : collected)
        if (line.startsWith(prefix))
            found << line.mid(prefix.size()).trimmed();
    return found;
}
