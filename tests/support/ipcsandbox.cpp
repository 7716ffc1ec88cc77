#include "support/ipcsandbox.h"

#include <QSharedMemory>
#include <QtEndian>

IpcSandbox::IpcSandbox()
    : hadTmpDir(qEnvironmentVariableIsSet("TMPDIR"))
    , previousTmpDir(qgetenv("TMPDIR"))
{
    // Qt finds the key files under the temporary folder; child processes
    // inherit the variable and so meet the same segments.
    qputenv("TMPDIR", QFile::encodeName(dir.path()));
}

SegmentContents readSegment(const QString &key)
{
    SegmentContents contents;
    QSharedMemory segment(key);
    contents.attached = segment.attach(QSharedMemory::ReadOnly);
    contents.size = segment.size();
    if (!contents.attached || !segment.lock())
        return contents;
    contents.bytes = QByteArray(static_cast<const char *>(segment.constData()), segment.size());
    segment.unlock();
    if (contents.bytes.size() >= int(sizeof(qint32)))
        contents.level = qFromLittleEndian<qint32>(contents.bytes.constData());
    return contents;
}

bool writeSegmentLevel(const QString &key, qint32 level)
{
    QSharedMemory segment(key);
    if (!segment.attach() || segment.size() < int(sizeof level) || !segment.lock())
        return false;
    qToLittleEndian<qint32>(level, segment.data());
    return segment.unlock();
}
