#include "support/ipcsandbox.h"

#include <QDir>
#include <QSharedMemory>
#include <QtEndian>

#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>

IpcSandbox::IpcSandbox()
    : hadTmpDir(qEnvironmentVariableIsSet("TMPDIR"))
    , previousTmpDir(qgetenv("TMPDIR"))
{
    // Qt finds the key files under the temporary folder; child processes
    // inherit the variable and so meet the same segments.
    qputenv("TMPDIR", QFile::encodeName(dir.path()));
}

IpcSandbox::~IpcSandbox()
{
    // Segments and locks outlive their makers and are found by the keys Qt
    // derives from the files here, which go with the folder.
    for (const QFileInfo &file : QDir(dir.path()).entryInfoList({ "qipc_*" }, QDir::Files)) {
        const key_t key = ::ftok(QFile::encodeName(file.filePath()).constData(), 'Q');
        if (key == -1)
            continue;
        if (const int lock = ::semget(key, 0, 0); lock != -1)
            ::semctl(lock, 0, IPC_RMID);
        if (const int memory = ::shmget(key, 0, 0); memory != -1)
            ::shmctl(memory, IPC_RMID, nullptr);
    }
    hadTmpDir ? qputenv("TMPDIR", previousTmpDir) : qunsetenv("TMPDIR");
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
