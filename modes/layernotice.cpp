#include "modes/layernotice.h"

#include "core/noticehelper.h"

#include <QGuiApplication>

LayerNotice::LayerNotice(QObject *parent)
    : QObject(parent)
    , programFile(
          QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(noticehelper::kProgram))
    , usable(QGuiApplication::platformName() == QLatin1String("wayland"))
{
}

bool LayerNotice::show(const QString &text, int milliseconds)
{
    if (!usable)
        return false;
    // Killed, it says nothing more: only a refusal is heard.
    if (current)
        current->kill();
    auto *process = new QProcess(this);
    process->setProgram(programFile);
    process->setArguments({ QString::number(milliseconds), text });
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    connect(process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this,
        [this, process, text](int code, QProcess::ExitStatus status) {
            process->deleteLater();
            // kNoLayerShell, or any other failure: its own notice does better.
            if (status == QProcess::NormalExit && code != 0) {
                usable = false;
                emit refused(text);
            }
        });
    connect(process, &QProcess::errorOccurred, process, [process](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            process->deleteLater();
    });
    process->start();
    if (!process->waitForStarted(2000)) {
        // Not installed beside the program: its own notice does.
        usable = false;
        return false;
    }
    current = process;
    return true;
}
