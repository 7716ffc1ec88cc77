#include "shelleffect.h"

#include "desktop.h"
#include "effecthost.h"

#include <QCoreApplication>
#include <QTimerEvent>

#include <cstring>

namespace {

// What the extension calls each program's effect.
const struct
{
    const char *program;
    const char *effect;
} kEffects[] = { { "Dotrix", "dot" }, { "Loupex", "lens" }, { "Halvix", "spotlight" } };

QString effectOf(const char *program)
{
    for (const auto &row : kEffects)
        if (std::strcmp(row.program, program) == 0)
            return QString::fromLatin1(row.effect);
    return QString();
}

} // namespace

ShellEffect::ShellEffect(
    const char *program, const QString &segmentKey, const SizeMap &sizes, QObject *parent)
    : QObject(parent)
    , effect_(effectOf(program))
    , segment_(segmentKey)
    , sizes_(sizes)
    , drawing_(QDBusConnection::sessionBus())
{
}

ShellEffect::~ShellEffect()
{
    if (shown_)
        drawing_.hide();
}

bool ShellEffect::start()
{
    segment_.open();
    pixels_ = readPixels();
    shown_ = !effect_.isEmpty() && drawing_.show(effect_, pixels_, kLensZoom);
    if (shown_)
        tick_.start(EffectHost::kTickMs, this);
    return shown_;
}

int ShellEffect::readPixels()
{
    // A segment that the main program removed and made again is found anew.
    if (segment_.isOpen() || segment_.open()) {
        if (const std::optional<qint32> level = segment_.read())
            level_ = *level;
    }
    return sizes_.pixels(level_);
}

void ShellEffect::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != tick_.timerId())
        return;
    const int pixels = readPixels();
    if (pixels != pixels_ && drawing_.setSize(pixels))
        pixels_ = pixels;
}

bool runDrawnByShell(
    int argc, char **argv, const char *name, const char *segmentKey, const SizeMap &sizes, int *status)
{
    // Only a Wayland session needs the Shell to draw: on X the effects'
    // own windows do all they should.
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return false;
    // No windows here: the Shell draws.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QString::fromLatin1(name));
    // Asked on a connection of its own, let go of before an effect that
    // draws its own windows makes its application object.
    const QString asking = QStringLiteral("quorvant-shell-check");
    const bool drawn
        = gnome::Drawing(QDBusConnection::connectToBus(QDBusConnection::SessionBus, asking)).available();
    QDBusConnection::disconnectFromBus(asking);
    if (!drawn)
        return false;
    desktop::quitOnTermination();
    ShellEffect effect(name, QString::fromLatin1(segmentKey), sizes);
    if (!effect.start())
        return false;
    *status = app.exec();
    return true;
}
