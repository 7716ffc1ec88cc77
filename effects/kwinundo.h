#pragma once

#include <QMap>
#include <QString>

// What an effect asks of KWin outlives the effect unless undone, and the
// program stops its effects by killing them. So a process of the effect's
// own, forked before anything else runs, hears each undoing step as the
// effect takes the matching one, and carries them all out, in order, once the
// effect has ended however it ended. The next copy of the same effect starts
// only after that.
namespace kwinundo {

// Forks that process; call before the application object exists, while this
// process has a single thread.
void start();

void unloadScript(const QString &plugin);
void unloadEffect(const QString &effect);
void reconfigureEffect(const QString &effect);
// `entries` as setEntries() takes them.
void restoreEntries(const QString &path, const QString &group, const QMap<QString, QString> &entries);

} // namespace kwinundo

// One group of a KDE configuration file, edited in place: the other groups
// and keys stay as they were. An empty value removes its key. Gives back the
// values the keys had, empty for those that were absent.
QMap<QString, QString> setEntries(
    const QString &path, const QString &group, const QMap<QString, QString> &entries);
