#include "core/sizesegment.h"

#include <QtEndian>

SizeSegment::SizeSegment(const QString &key)
    : memory_(key)
{
}

bool SizeSegment::open()
{
    // Attaching comes first. Qt hands the segment's lock to whoever calls
    // create(), even when that fails because the segment exists, and the
    // attach() after it then removes the lock from under the other side, which
    // makes a new one at its next lock; an effect program killed at the end of
    // its mode would leave one such lock behind in the system at every switch.
    // Attached, the lock stays its maker's to remove.
    if (memory_.isAttached() || memory_.attach(QSharedMemory::ReadWrite))
        return true;
    // Between the two calls the other side may have made it.
    return memory_.create(kBytes, QSharedMemory::ReadWrite) || memory_.attach(QSharedMemory::ReadWrite);
}

bool SizeSegment::usable() const
{
    // A segment made by someone else may be shorter than ours; four bytes
    // from it would run past its end.
    return memory_.isAttached() && memory_.size() >= int(sizeof(qint32));
}

std::optional<qint32> SizeSegment::read()
{
    // The lock is a semaphore that the system gives back if its holder is
    // killed, so an effect killed while reading never blocks the program.
    if (!usable() || !memory_.lock())
        return std::nullopt;
    const qint32 level = decode(memory_.constData());
    memory_.unlock();
    return level;
}

bool SizeSegment::write(qint32 level)
{
    if (!usable() || !memory_.lock())
        return false;
    qToLittleEndian<qint32>(level, memory_.data());
    memory_.unlock();
    return true;
}

qint32 SizeSegment::decode(const void *bytes)
{
    return qFromLittleEndian<qint32>(bytes);
}
