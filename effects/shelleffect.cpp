#include "shelleffect.h"

#include "backend.h"
#include "effecthost.h"

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

namespace {

// GNOME Shell: the extension draws, and this program only hands it the size.
class GnomeBackend : public EffectBackend
{
public:
    // Should the extension refuse, the overlays are drawn through XWayland.
    void prepareApplication() override
    {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "xcb");
    }

    std::unique_ptr<QObject> drawnByDesktop(const EffectSpec &spec) override
    {
        auto effect
            = std::make_unique<ShellEffect>(spec.name, QString::fromLatin1(spec.segmentKey), spec.sizes);
        if (!effect->start())
            return nullptr;
        return effect;
    }
};

} // namespace

std::unique_ptr<EffectBackend> gnomeBackend()
{
    return std::make_unique<GnomeBackend>();
}
