#include "support/ipcsandbox.h"

#include <QSharedMemory>

#include "platform/privatefolder.h"

QByteArray readSegment(const QString &name)
{
    QSharedMemory segment;
    segment.setNativeKey(QFile::decodeName(platform::privateFolder().c_str()) + '/' + name);
    if (!segment.attach(QSharedMemory::ReadOnly))
        return QByteArray();
    return QByteArray(static_cast<const char *>(segment.constData()), segment.size());
}
