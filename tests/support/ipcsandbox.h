// Shared-memory segments are named machine-wide by key files in the user's
// private folder. Tests that make them get a runtime folder of their own for
// it, so that tests running side by side, or a program in real use, never
// share one.
#pragma once

#include <QByteArray>
#include <QTemporaryDir>

class IpcSandbox
{
public:
    // Must be made before the first segment of the process.
    IpcSandbox();
    // Also removes what a process killed on purpose left in the system.
    ~IpcSandbox();
    IpcSandbox(const IpcSandbox &) = delete;
    IpcSandbox &operator=(const IpcSandbox &) = delete;
    QString path() const { return dir.path(); }

private:
    QTemporaryDir dir;
    const bool hadRuntimeDir;
    const QByteArray previousRuntimeDir;
};

// The native key of the segment of that name: its key file.
QString segmentKeyFile(const QString &name);

// What a second QSharedMemory object sees in the segment of that name; level
// is the little-endian integer at byte 0.
struct SegmentContents
{
    bool attached = false;
    int size = 0;
    QByteArray bytes;
    qint32 level = 0;
};
SegmentContents readSegment(const QString &name);

// Stores a level at byte 0, as an effect program would.
bool writeSegmentLevel(const QString &name, qint32 level);
