// KWin: a script of its own, loaded over D-Bus for as long as the effect
// runs, tells where the pointer is; its screenshot service reads the screen
// without this program's windows.
#include "layershell.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

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
        // One left by an effect that was killed would call nobody for ever.
        bus.call(scripting(QStringLiteral("unloadScript")) << plugin_);
        const QDBusReply<int> loaded
            = bus.call(scripting(QStringLiteral("loadScript")) << file.fileName() << plugin_);
        if (loaded.isValid() && loaded.value() >= 0)
            bus.call(scripting(QStringLiteral("start")));
    }

    ~ScriptPointer() override
    {
        QDBusConnection::sessionBus().call(scripting(QStringLiteral("unloadScript")) << plugin_);
        QDBusConnection::sessionBus().unregisterObject(kPointerPath);
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

// The screen as KWin's screenshot service renders it without this program's
// windows. Nothing tells where the screen changed, so the part around the
// pointer is read again every `kPollMs`; only a change is passed on.
class ScreenshotReader : public desktop::ScreenReader
{
public:
    static constexpr int kPollMs = 150;
    static constexpr int kPolledSide = 400; // holds the largest lens's source

    explicit ScreenshotReader(std::function<QPoint()> pointer)
        : pointer_(std::move(pointer))
    {
        connect(&timer_, &QTimer::timeout, this, &ScreenshotReader::poll);
        timer_.start(kPollMs);
    }

    QImage read(const QRect &area) override
    {
        if (fresh_.contains(area))
            return polled_.copy(area.translated(-fresh_.topLeft()));
        return capture(area);
    }

private:
    void poll()
    {
        const QPoint at = pointer_();
        const QRect area(at.x() - kPolledSide / 2, at.y() - kPolledSide / 2, kPolledSide, kPolledSide);
        const QImage now = capture(area);
        if (now.isNull())
            return;
        const bool same = area == fresh_ && now == polled_;
        polled_ = now;
        fresh_ = area;
        if (!same)
            emit changed(area);
    }

    static QImage capture(const QRect &area)
    {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0)
            return QImage();
        QDBusMessage call = QDBusMessage::createMethodCall(kKWin, QStringLiteral("/org/kde/KWin/ScreenShot2"),
            QStringLiteral("org.kde.KWin.ScreenShot2"), QStringLiteral("CaptureArea"));
        const QVariantMap options { { QStringLiteral("hide-caller-windows"), true },
            { QStringLiteral("native-resolution"), true } };
        call << area.x() << area.y() << uint(area.width()) << uint(area.height()) << options
             << QVariant::fromValue(QDBusUnixFileDescriptor(ends[1]));
        const QDBusMessage reply = QDBusConnection::sessionBus().call(call);
        ::close(ends[1]);
        QByteArray bytes;
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::read(ends[0], buffer, sizeof buffer);
            if (got > 0)
                bytes.append(buffer, int(got));
            else if (got == 0 || errno != EINTR)
                break;
        }
        ::close(ends[0]);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return QImage();
        const QVariantMap result = qdbus_cast<QVariantMap>(reply.arguments().constFirst());
        const int width = result.value(QStringLiteral("width")).toInt();
        const int height = result.value(QStringLiteral("height")).toInt();
        const int stride = result.value(QStringLiteral("stride")).toInt();
        const auto format = QImage::Format(result.value(QStringLiteral("format")).toInt());
        if (width <= 0 || height <= 0 || bytes.size() < qint64(stride) * height)
            return QImage();
        return QImage(reinterpret_cast<const uchar *>(bytes.constData()), width, height, stride, format)
            .convertToFormat(QImage::Format_RGB32);
    }

    std::function<QPoint()> pointer_;
    QTimer timer_;
    QRect fresh_;
    QImage polled_;
};

class KWinBackend : public LayerShellBackend
{
public:
    std::function<QPoint()> pointer() override
    {
        return [this] { return position_; };
    }

    std::unique_ptr<desktop::PointerMotion> watchPointer() override
    {
        return std::make_unique<ScriptPointer>(&position_);
    }

    std::unique_ptr<desktop::ScreenReader> readScreen(EffectOverlay *) override
    {
        return std::make_unique<ScreenshotReader>(pointer());
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
