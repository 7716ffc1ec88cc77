#include "modes/shelldrawing.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QMessageBox>

#include "gnome/shellextension.h"

ShellDrawing::ShellDrawing(QWidget *window_)
    : QObject(window_)
    , window(window_)
    , gnomeWayland(!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
          && gnome::extensionState(QDBusConnection::sessionBus()) != gnome::ExtensionState::NoShell)
{
}

bool ShellDrawing::showNotice(const QString &text, int milliseconds)
{
    if (!gnomeWayland)
        return false;
    gnome::Drawing drawing(QDBusConnection::sessionBus());
    return drawing.available() && drawing.showNotice(text, milliseconds);
}

void ShellDrawing::effectStarted()
{
    if (!gnomeWayland || seenTo)
        return;
    seenTo = true;
    const gnome::ExtensionState state = gnome::extensionState(QDBusConnection::sessionBus());
    if (state == gnome::ExtensionState::Running || state == gnome::ExtensionState::NoShell)
        return;
    if (state != gnome::ExtensionState::Disabled) {
        sayWhatIsMissing(QString::fromLatin1(gnome::describe(state)));
        return;
    }
    // Not modal: the pen goes on being followed while the question is up.
    question = new QMessageBox(QMessageBox::Question, tr("Quorvant"),
        tr("On GNOME, Quorvant draws its laser pointer, magnifier and spotlight through its GNOME Shell "
           "extension, which is off. Turn it on?"),
        QMessageBox::Yes | QMessageBox::No, window);
    question->setAttribute(Qt::WA_DeleteOnClose);
    question->setDefaultButton(QMessageBox::Yes);
    connect(question, &QMessageBox::finished, this, [this](int answer) {
        if (answer == QMessageBox::Yes)
            enable();
        else
            sayWhatIsMissing(QString::fromLatin1(gnome::describe(gnome::ExtensionState::Disabled)));
    });
    question->open();
}

void ShellDrawing::enable()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    arrival = new QDBusServiceWatcher(
        QString::fromLatin1(gnome::kService), bus, QDBusServiceWatcher::WatchForRegistration, this);
    connect(arrival, &QDBusServiceWatcher::serviceRegistered, this, [this] {
        arrival->deleteLater();
        arrival = nullptr;
        emit drawingArrived();
    });
    if (!gnome::enableExtension(bus))
        sayWhatIsMissing(QString::fromLatin1(gnome::describe(gnome::extensionState(bus))));
}

void ShellDrawing::sayWhatIsMissing(const QString &why)
{
    const QString text
        = tr("Quorvant's GNOME Shell extension: %1. Until it runs, the effects are drawn through XWayland: "
             "the magnifier "
             "shows nothing over Wayland windows, and clicks do not reach them while an effect is on.")
              .arg(why);
    emit announced(tr("Prompt"), text);
}
