#include "sizesegment.h"

#include <QtEndian>

SizeSegment::SizeSegment(const QString &key)
    : memory_(key)
{
}

bool SizeSegment::open()
{
    if (memory_.isAttached())
        return true;
    if (memory_.create(kBytes, QSharedMemory::ReadWrite))
        return true;
    return memory_.attach(QSharedMemory::ReadWrite);
}

std::optional<qint32> SizeSegment::read()
{
    if (!memory_.isAttached())
        return std::nullopt;
    // A segment made by someone else may be shorter than ours; reading four
    // bytes from it would run past its end.
    if (memory_.size() < int(sizeof(qint32)))
        return std::nullopt;
    // The lock is a semaphore that the system gives back if we are killed
    // while holding it, so being killed here never blocks the main program.
    if (!memory_.lock())
        return std::nullopt;
    const qint32 level = decode(memory_.constData());
    memory_.unlock();
    return level;
}

qint32 SizeSegment::decode(const void *bytes)
{
    return qFromLittleEndian<qint32>(bytes);
}
