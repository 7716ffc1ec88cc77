// Shared-memory segments are files in the user's private folder. Tests that
// make them get a runtime folder of their own for it, so that tests running
// side by side, or a program in real use, never share one.
#pragma once

#include <QByteArray>
#include <QTemporaryDir>

class IpcSandbox
{
public:
    // Must be made before the first segment of the process. Child processes
    // inherit the folder and so meet the same segments.
    IpcSandbox() { qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.path())); }

private:
    QTemporaryDir dir;
};

// The bytes of the segment of that name, read from its file; empty when
// nobody made it.
QByteArray readSegment(const QString &name);
