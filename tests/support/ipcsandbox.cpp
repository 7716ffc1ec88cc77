#include "support/ipcsandbox.h"

#include <QDir>
#include <QSharedMemory>
#include <QtEndian>

#include <sys/ipc.h>
#include <sys/shm.h>

#include "core/sizesegment.h"
#include "platform/privatefolder.h"

IpcSandbox::IpcSandbox()
    : hadRuntimeDir(qEnvironmentVariableIsSet("XDG_RUNTIME_DIR"))
    , previousRuntimeDir(qgetenv("XDG_RUNTIME_DIR"))
{
    // Child processes inherit the variable and so meet the same segments.
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.path()));
}

IpcSandbox::~IpcSandbox()
{
    // Segments outlive their makers and are found by the keys Qt derives
    // from the files here, which go with the folder.
    for (const QFileInfo &file : QDir(segmentKeyFile(QString())).entryInfoList(QDir::Files)) {
        const key_t key = ::ftok(QFile::encodeName(file.filePath()).constData(), 'Q');
        if (const int memory = key == -1 ? -1 : ::shmget(key, 0, 0); memory != -1)
            ::shmctl(memory, IPC_RMID, nullptr);
    }
    hadRuntimeDir ? qputenv("XDG_RUNTIME_DIR", previousRuntimeDir) : qunsetenv("XDG_RUNTIME_DIR");
}

QString segmentKeyFile(const QString &name)
{
    return QFile::decodeName(platform::privateFolder().c_str()) + '/' + name;
}

SegmentContents readSegment(const QString &name)
{
    SegmentContents contents;
    QSharedMemory segment;
    segment.setNativeKey(segmentKeyFile(name));
    contents.attached = segment.attach(QSharedMemory::ReadOnly);
    contents.size = segment.size();
    if (!contents.attached)
        return contents;
    contents.bytes = QByteArray(static_cast<const char *>(segment.constData()), segment.size());
    if (contents.bytes.size() >= int(sizeof(qint32)))
        contents.level = qFromLittleEndian<qint32>(contents.bytes.constData());
    return contents;
}

bool writeSegmentLevel(const QString &name, qint32 level)
{
    SizeSegment segment(name);
    return segment.attach() && segment.write(level);
}
