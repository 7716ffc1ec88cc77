// KWin: a script of its own, loaded over D-Bus for as long as the effect
// runs, tells where the pointer is; the magnifier is KWin's own.
#include "layershell.h"

#include "core/sizesegment.h"
#include "effecthost.h"
#include "kwinundo.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QFile>
#include <QMap>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

namespace {

const QString kKWin = QStringLiteral("org.kde.KWin");
const QString kPointerPath = QStringLiteral("/Pointer");
const QString kPointerInterface = QStringLiteral("org.quorvant.Pointer");

QDBusMessage scripting(const QString &method)
{
    return QDBusMessage::createMethodCall(
        kKWin, QStringLiteral("/Scripting"), QStringLiteral("org.kde.kwin.Scripting"), method);
}

// Hears the script: its first call comes as soon as it runs, the others as
// the pointer moves, over any window.
class ScriptPointer : public desktop::PointerMotion
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.quorvant.Pointer")

public:
    explicit ScriptPointer(QPoint *position)
        : position_(position)
        , plugin_(QStringLiteral("quorvant-") + QCoreApplication::applicationName())
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.registerObject(kPointerPath, this, QDBusConnection::ExportScriptableSlots))
            return;
        const QString call = QStringLiteral("callDBus(\"%1\", \"%2\", \"%3\", \"at\", "
                                            "workspace.cursorPos.x, workspace.cursorPos.y);")
                                 .arg(bus.baseService(), kPointerPath, kPointerInterface);
        const QString script = QStringLiteral("function tell() { %1 }\n"
                                              "workspace.cursorPosChanged.connect(tell);\ntell();\n")
                                   .arg(call);
        QFile file(folder_.filePath(QStringLiteral("pointer.js")));
        if (!folder_.isValid() || !file.open(QIODevice::WriteOnly) || file.write(script.toUtf8()) < 0)
            return;
        file.close();
        // One left by an effect whose undoing was cut short would call
        // nobody for ever.
        bus.call(scripting(QStringLiteral("unloadScript")) << plugin_);
        const QDBusReply<int> loaded
            = bus.call(scripting(QStringLiteral("loadScript")) << file.fileName() << plugin_);
        if (!loaded.isValid() || loaded.value() < 0)
            return;
        kwinundo::unloadScript(plugin_);
        bus.call(scripting(QStringLiteral("start")));
    }

public slots:
    // Numbers come as whole or as real numbers, as the script engine has them.
    Q_SCRIPTABLE void at(int x, int y) { heard(QPoint(x, y)); }
    Q_SCRIPTABLE void at(double x, double y) { heard(QPointF(x, y).toPoint()); }

private:
    void heard(QPoint position)
    {
        if (position == *position_)
            return;
        *position_ = position;
        emit moved();
    }

    QPoint *position_;
    QString plugin_;
    QTemporaryDir folder_;
};

QDBusMessage effects(const QString &method, const QString &effect)
{
    return QDBusMessage::createMethodCall(
               kKWin, QStringLiteral("/Effects"), QStringLiteral("org.kde.kwin.Effects"), method)
        << effect;
}

// KWin's own magnifier, which follows the pointer and enlarges the live
// screen beneath it without ever seeing itself. It takes its size and zoom
// from KWin's configuration, which holds this program's for as long as the
// lens is on and the user's own again afterwards. A magnifier that the user
// keeps loaded stays loaded.
class KWinMagnifier : public QObject
{
public:
    explicit KWinMagnifier(const EffectSpec &spec)
        : segment_(QString::fromLatin1(spec.segmentKey))
        , sizes_(spec.sizes)
        , config_(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
              + QStringLiteral("/kwinrc"))
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        const QDBusReply<bool> loaded = bus.call(effects(QStringLiteral("isEffectLoaded"), kEffect));
        const bool keptByUser = loaded.isValid() && loaded.value();
        segment_.open();
        pixels_ = sizes_.pixels(level());
        // KWin's magnifier writes its settings as it is unloaded: the user's
        // go back after that.
        if (!keptByUser)
            kwinundo::unloadEffect(kEffect);
        kwinundo::restoreEntries(config_, kGroup, setEntries(config_, kGroup, entries(pixels_)));
        if (keptByUser)
            kwinundo::reconfigureEffect(kEffect);
        else
            bus.call(effects(QStringLiteral("loadEffect"), kEffect));
        // KWin reads its configuration again only when told to.
        bus.call(effects(QStringLiteral("reconfigureEffect"), kEffect));
        connect(&timer_, &QTimer::timeout, this, &KWinMagnifier::follow);
        timer_.start(EffectHost::kTickMs);
    }

private:
    static QMap<QString, QString> entries(int pixels)
    {
        return { { QStringLiteral("Width"), QString::number(pixels) },
            { QStringLiteral("Height"), QString::number(pixels) },
            { QStringLiteral("InitialZoom"), QString::number(kLensZoom) } };
    }

    int level()
    {
        // A segment that the main program removed and made again is found anew.
        if (!segment_.isOpen() && !segment_.open())
            return level_;
        if (const std::optional<qint32> now = segment_.read())
            level_ = *now;
        return level_;
    }

    void follow()
    {
        const int pixels = sizes_.pixels(level());
        if (pixels == pixels_)
            return;
        pixels_ = pixels;
        setEntries(config_, kGroup, entries(pixels));
        QDBusConnection::sessionBus().call(effects(QStringLiteral("reconfigureEffect"), kEffect));
    }

    const QString kEffect = QStringLiteral("magnifier");
    const QString kGroup = QStringLiteral("Effect-magnifier");
    SizeSegment segment_;
    SizeMap sizes_;
    QString config_;
    int level_ = 0;
    int pixels_ = 0;
    QTimer timer_;
};

class KWinBackend : public LayerShellBackend
{
public:
    void prepareApplication() override
    {
        kwinundo::start();
        LayerShellBackend::prepareApplication();
    }

    std::function<QPoint()> pointer() override
    {
        return [this] { return position_; };
    }

    std::unique_ptr<desktop::PointerMotion> watchPointer() override
    {
        return std::make_unique<ScriptPointer>(&position_);
    }

    std::unique_ptr<QObject> drawnByDesktop(const EffectSpec &spec) override
    {
        if (qstrcmp(spec.segmentKey, segment::kLoupexKey) == 0)
            return std::make_unique<KWinMagnifier>(spec);
        return nullptr;
    }

private:
    QPoint position_;
};

} // namespace

std::unique_ptr<EffectBackend> kwinBackend()
{
    return std::make_unique<KWinBackend>();
}

#include "backend_kwin.moc"
