// Shared-memory segments are named machine-wide. Tests that make them get a
// folder of their own for the files Qt derives the native keys from, so that
// tests running side by side, or a program in real use, never share one.
#pragma once

#include <QByteArray>
#include <QTemporaryDir>

class IpcSandbox
{
public:
    // Must be made before the first QSharedMemory of the process.
    IpcSandbox();
    // Also removes what a process killed on purpose left in the system.
    ~IpcSandbox();
    IpcSandbox(const IpcSandbox &) = delete;
    IpcSandbox &operator=(const IpcSandbox &) = delete;
    QString path() const { return dir.path(); }

private:
    QTemporaryDir dir;
    const bool hadTmpDir;
    const QByteArray previousTmpDir;
};

// What a second QSharedMemory object sees in the segment of that key; level
// is the little-endian integer at byte 0.
struct SegmentContents
{
    bool attached = false;
    int size = 0;
    QByteArray bytes;
    qint32 level = 0;
};
SegmentContents readSegment(const QString &key);

// Stores a level at byte 0, as an effect program would.
bool writeSegmentLevel(const QString &key, qint32 level);
