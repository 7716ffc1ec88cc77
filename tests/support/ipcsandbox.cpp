#include "support/ipcsandbox.h"

#include <QFile>

#include "platform/privatefolder.h"

QByteArray readSegment(const QString &name)
{
    QFile segment(QFile::decodeName(platform::privateFolder().c_str()) + '/' + name);
    return segment.open(QIODevice::ReadOnly) ? segment.readAll() : QByteArray();
}
