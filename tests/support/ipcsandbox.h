// Shared-memory segments and system semaphores are named machine-wide. Tests
// that make them get a folder of their own for the files Qt derives the
// native keys from, so that tests running side by side, or a copy of the
// program in real use, never share a segment with them.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

class IpcSandbox
{
public:
    // Must be made before the first QSharedMemory of the process.
    IpcSandbox();
    ~IpcSandbox();

    IpcSandbox(const IpcSandbox &) = delete;
    IpcSandbox &operator=(const IpcSandbox &) = delete;

    QString path() const { return dir.path(); }

private:
    QTemporaryDir dir;
    QByteArray previousTmpDir;
    bool hadTmpDir = false;
};

// What a second QSharedMemory object sees in the segment of that key.
struct SegmentContents
{
    bool attached = false;
    int size = 0;
    QByteArray bytes;
    qint32 level = 0; // the little-endian integer at byte 0
};

SegmentContents readSegment(const QString &key);

// Stores a level at byte 0, as an effect program or a test would.
bool writeSegmentLevel(const QString &key, qint32 level);
