// Follows the presentation mode chosen on the pen: stops the effect program
// of the mode that is left, starts the one of the mode that is entered, hands
// it its size level through its segment and says what happened.
#pragma once

#include <QObject>
#include <QString>

#include <memory>

#include "core/settings.h"
#include "device/protocol.h"

class SizeSegment;

namespace platform {
class Platform;
}

class ModeSwitcher : public QObject
{
    Q_OBJECT

public:
    // The presentation modes, as the pen's reports name them.
    enum Mode {
        NormalMode = int(protocol::Mode::Normal),
        MagnifierMode = int(protocol::Mode::Magnifier),
        SpotlightMode = int(protocol::Mode::Spotlight),
        LaserMode = int(protocol::Mode::Laser),
    };

    // Effect programs are started from appDir. The segments are made at once,
    // so that an effect program started first finds them.
    ModeSwitcher(platform::Platform &platform, const QString &appDir, QObject *parent = nullptr);
    ~ModeSwitcher() override;

    int currentMode() const { return mode; }
    const SizeLevels &sizes() const { return levels; }
    void setSizes(const SizeLevels &sizes) { levels = sizes; }

    // The level the mode's effect program last got.
    int size(int mode) const;

    // The effect program of a mode, by the name the platform starts it by.
    static QString program(int mode);

public slots:
    // A mode report of the pen: enters the mode, or takes its new size.
    void enter(int mode, int reportedSize);
    // Back to normal use: the current effect program is stopped.
    void normal();
    // Stops the current effect program and nothing else, as at exit.
    void stopCurrent();
    // Starts the current mode's effect program anew, without a word: the
    // desktop offers a better way to draw it than it found at its start.
    void restartCurrent();

signals:
    // A balloon's title and text, in the program's words.
    void announced(const QString &title, const QString &text);

private:
    void stop(int mode);
    void store(int mode);

    platform::Platform &platform;
    const QString appDir;
    int mode = NormalMode;
    SizeLevels levels;
    std::unique_ptr<SizeSegment> segments[3];
};
