#include "mainwindow/widget.h"

#include <QCoreApplication>
#include <QDebug>
#include <QSharedMemory>
#include <QtEndian>

#include "platform/platform.h"

namespace {

// Each segment is 10 bytes; the size level is the 32-bit little-endian
// integer at byte 0 and the rest belongs to the effect programs.
constexpr int kSegmentBytes = 10;

struct Balloon
{
    const char *title;
    const char *text;
};

// One effect mode: its effect program, the segment that hands the program its
// size, and what the user is told. The steps below are written once and take
// everything that differs between the modes from here.
struct EffectMode
{
    int mode;
    const char *program; // the platform knows the file it runs from
    const char *segmentKey;
    int Widget::*size;
    QSharedMemory *Widget::*segment;
    // Level 0 is the smallest laser dot; the magnifier and spotlight read it
    // as their middle size.
    int sizeForZero;
    Balloon started;
    Balloon running;
    const char *notStarted; // %1: the program's executable on this system
};

const EffectMode kEffectModes[] = {
    { Widget::LaserMode, "Dotrix", "Dotrix_shared", &Widget::redDotrixSize, &Widget::dotrixShared, 0,
        { QT_TRANSLATE_NOOP("Widget", "Prompt"), QT_TRANSLATE_NOOP("Widget", "Laser pointer mode") },
        { QT_TRANSLATE_NOOP("Widget", " Prompt "),
            QT_TRANSLATE_NOOP("Widget", "Laser pointer mode is running!") },
        QT_TRANSLATE_NOOP("Widget", "Laser pointer mode: %1 could not be started.") },
    { Widget::MagnifierMode, "Loupex", "Magnifier_shared", &Widget::magnifierSize, &Widget::magnifierShared,
        3, { QT_TRANSLATE_NOOP("Widget", "Prompt"), QT_TRANSLATE_NOOP("Widget", "Magnifier mode") },
        { QT_TRANSLATE_NOOP("Widget", "Prompt"), QT_TRANSLATE_NOOP("Widget", "Magnifier mode is running!") },
        QT_TRANSLATE_NOOP("Widget", "Magnifier mode: %1 could not be started.") },
    { Widget::SpotlightMode, "Halvix", "Halvix_shared", &Widget::qyLightSize, &Widget::halvixShared, 3,
        { QT_TRANSLATE_NOOP("Widget", "Prompt"), QT_TRANSLATE_NOOP("Widget", "Spotlight mode!") },
        { QT_TRANSLATE_NOOP("Widget", "Prompt"), QT_TRANSLATE_NOOP("Widget", "Spotlight mode is running!") },
        QT_TRANSLATE_NOOP("Widget", "Spotlight mode: %1 could not be started.") },
};

const EffectMode *effectMode(int mode)
{
    for (const EffectMode &row : kEffectModes)
        if (row.mode == mode)
            return &row;
    return nullptr;
}

} // namespace

void Widget::onDotrix(int nSize)
{
    switchMode(LaserMode, nSize);
}

void Widget::onLoupex(int n)
{
    switchMode(MagnifierMode, n);
}

void Widget::onQyLight(int size)
{
    switchMode(SpotlightMode, size);
}

void Widget::onNormal()
{
    if (currentMode != NormalMode) {
        killEffect(currentMode);
        currentMode = NormalMode;
    }
    update();
}

void Widget::ShowUI()
{
    show();
    onNormal();
    update();
}

void Widget::switchMode(int mode, int n)
{
    const EffectMode *row = effectMode(mode);
    if (!row)
        return;
    const int size = n == 0 ? row->sizeForZero : n;

    if (currentMode == mode) {
        // The pen repeats the mode's report when only the size changes. An
        // effect program that has ended meanwhile stays ended until the mode
        // is entered anew.
        if (mode == SpotlightMode)
            qDebug() << "Halvix Size:" << n;
        if (this->*row->size != size) {
            this->*row->size = size;
            storeSize(mode);
        }
        update();
        return;
    }

    killEffect(currentMode);

    const std::string name = row->program;
    QString title;
    QString text;
    if (platform->isRunning(name)) {
        title = tr(row->running.title);
        text = tr(row->running.text);
    } else if (platform->startProgram(QCoreApplication::applicationDirPath().toStdString(), name)) {
        title = tr(row->started.title);
        text = tr(row->started.text);
    } else {
        // Announcing the mode would promise an effect that never appears.
        title = tr("Prompt");
        text = tr(row->notStarted).arg(QString::fromStdString(platform->programFile(name)));
    }
    // Logged too: a balloon is gone after ten seconds, and without a tray
    // there is none.
    qDebug() << "Mode balloon:" << title << text;
    showBalloon(title, text);

    this->*row->size = size;
    storeSize(mode);
    currentMode = mode;
    update();
}

void Widget::killEffect(int mode)
{
    const EffectMode *row = effectMode(mode);
    if (!row)
        return;
    const std::string name = row->program;
    if (!platform->isRunning(name))
        return;
    // Told to end, not waited for: the program goes on reading the pen while
    // the system takes the effect down.
    qDebug() << "pInt:" << platform->stopProgram(name);
}

void Widget::storeSize(int mode)
{
    const EffectMode *row = effectMode(mode);
    if (!row)
        return;
    QSharedMemory *segment = this->*row->segment;
    // A segment left by someone else may be shorter than the integer.
    if (!segment || !segment->isAttached() || segment->size() < int(sizeof(qint32)))
        return;
    // The effect program reads under the same lock, so it never sees half an
    // integer.
    if (!segment->lock())
        return;
    qToLittleEndian<qint32>(this->*row->size, segment->data());
    segment->unlock();
}

void Widget::createSegments()
{
    for (const EffectMode &row : kEffectModes) {
        auto *segment = new QSharedMemory(QString::fromLatin1(row.segmentKey));
        // A segment that exists already, made by an effect program that was
        // started first or left behind by one that crashed, is used as it is.
        if (!segment->create(kSegmentBytes, QSharedMemory::ReadWrite))
            segment->attach(QSharedMemory::ReadWrite);
        this->*row.segment = segment;
    }
}
