#include "core/modeswitcher.h"

#include <QCoreApplication>
#include <QDebug>

#include "core/sizesegment.h"
#include "platform/platform.h"

namespace {

struct Balloon
{
    const char *title;
    const char *text;
};

// One effect mode: its effect program, the segment that hands the program its
// size, and what the user is told. The steps are written once and take
// everything that differs between the modes from here.
struct Row
{
    int mode;
    const char *program;
    const char *segmentKey;
    int SizeLevels::*size;
    // Level 0 is the smallest laser dot; the magnifier and spotlight read it
    // as their middle size.
    int sizeForZero;
    Balloon started;
    Balloon running;
    const char *notStarted; // %1: the program's file on this system
};

// The texts are the main window's, where they have always been translated.
const Row kRows[] = {
    { ModeSwitcher::LaserMode, "Dotrix", segment::kDotrixKey, &SizeLevels::redDotrixSize, 0,
        { QT_TRANSLATE_NOOP("Widget", "Prompt"), QT_TRANSLATE_NOOP("Widget", "Laser pointer mode") },
        { QT_TRANSLATE_NOOP("Widget", " Prompt "),
            QT_TRANSLATE_NOOP("Widget", "Laser pointer mode is running!") },
        QT_TRANSLATE_NOOP("Widget", "Laser pointer mode: %1 could not be started.") },
    { ModeSwitcher::MagnifierMode, "Loupex", segment::kLoupexKey, &SizeLevels::magnifierSize, 3,
        { QT_TRANSLATE_NOOP("Widget", "Prompt"), QT_TRANSLATE_NOOP("Widget", "Magnifier mode") },
        { QT_TRANSLATE_NOOP("Widget", "Prompt"), QT_TRANSLATE_NOOP("Widget", "Magnifier mode is running!") },
        QT_TRANSLATE_NOOP("Widget", "Magnifier mode: %1 could not be started.") },
    { ModeSwitcher::SpotlightMode, "Halvix", segment::kHalvixKey, &SizeLevels::qyLightSize, 3,
        { QT_TRANSLATE_NOOP("Widget", "Prompt"), QT_TRANSLATE_NOOP("Widget", "Spotlight mode!") },
        { QT_TRANSLATE_NOOP("Widget", "Prompt"), QT_TRANSLATE_NOOP("Widget", "Spotlight mode is running!") },
        QT_TRANSLATE_NOOP("Widget", "Spotlight mode: %1 could not be started.") },
};

const Row *rowOf(int mode)
{
    for (const Row &row : kRows)
        if (row.mode == mode)
            return &row;
    return nullptr;
}

int indexOf(const Row *row)
{
    return int(row - kRows);
}

QString say(const char *text)
{
    return QCoreApplication::translate("Widget", text);
}

} // namespace

ModeSwitcher::ModeSwitcher(platform::Platform &platform_, const QString &appDir_, QObject *parent)
    : QObject(parent)
    , platform(platform_)
    , appDir(appDir_)
{
    for (const Row &row : kRows) {
        auto segment = std::make_unique<SizeSegment>(QString::fromLatin1(row.segmentKey));
        // A segment that exists already, made by an effect program that was
        // started first or left behind by one that crashed, is used as it is.
        segment->open();
        segments[indexOf(&row)] = std::move(segment);
    }
}

ModeSwitcher::~ModeSwitcher() = default;

QString ModeSwitcher::program(int mode)
{
    const Row *row = rowOf(mode);
    return row ? QString::fromLatin1(row->program) : QString();
}

int ModeSwitcher::size(int mode) const
{
    const Row *row = rowOf(mode);
    return row ? levels.*row->size : 0;
}

void ModeSwitcher::enter(int newMode, int reportedSize)
{
    const Row *row = rowOf(newMode);
    if (!row)
        return;
    const int size = reportedSize == 0 ? row->sizeForZero : reportedSize;

    if (mode == newMode) {
        // The pen repeats the mode's report when only the size changes. An
        // effect program that has ended meanwhile stays ended until the mode
        // is entered anew.
        if (newMode == SpotlightMode)
            qDebug() << "Halvix Size:" << reportedSize;
        if (levels.*row->size != size) {
            levels.*row->size = size;
            store(newMode);
        }
        return;
    }

    stop(mode);

    const std::string name = row->program;
    QString title, text;
    if (platform.isRunning(appDir.toStdString(), name)) {
        title = say(row->running.title);
        text = say(row->running.text);
    } else if (platform.startProgram(appDir.toStdString(), name)) {
        title = say(row->started.title);
        text = say(row->started.text);
    } else {
        // Announcing the mode would promise an effect that never appears.
        title = say("Prompt");
        text = say(row->notStarted).arg(QString::fromStdString(platform.programFile(name)));
    }
    // Logged too: a balloon is gone after ten seconds, and without a tray
    // there is none.
    qDebug() << "Mode balloon:" << title << text;
    emit announced(title, text);

    levels.*row->size = size;
    store(newMode);
    mode = newMode;
}

void ModeSwitcher::normal()
{
    stopCurrent();
    mode = NormalMode;
}

void ModeSwitcher::stopCurrent()
{
    stop(mode);
}

void ModeSwitcher::restartCurrent()
{
    const Row *row = rowOf(mode);
    if (!row)
        return;
    stop(mode);
    platform.startProgram(appDir.toStdString(), row->program);
}

void ModeSwitcher::stop(int which)
{
    const Row *row = rowOf(which);
    if (!row || !platform.isRunning(appDir.toStdString(), row->program))
        return;
    // Told to end, not waited for: the program goes on reading the pen while
    // the system takes the effect down.
    qDebug() << "pInt:" << platform.stopProgram(appDir.toStdString(), row->program);
}

void ModeSwitcher::store(int which)
{
    const Row *row = rowOf(which);
    if (!row)
        return;
    SizeSegment &segment = *segments[indexOf(row)];
    // A segment that could not be had at start is tried again: an effect
    // program may have made it meanwhile.
    if (segment.open())
        segment.write(levels.*row->size);
}
