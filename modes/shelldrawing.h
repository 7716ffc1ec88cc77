// The mode notice and the effects on a GNOME Wayland session, where GNOME
// Shell draws them through Quorvant's extension (gnome/).
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QDBusServiceWatcher;
class QMessageBox;
class QWidget;

class ShellDrawing : public QObject
{
    Q_OBJECT

public:
    // Questions are asked in windows over `window`.
    explicit ShellDrawing(QWidget *window);

    // Puts the notice up in the Shell; false where the extension does not
    // run, and the program's own notice is wanted.
    bool showNotice(const QString &text, int milliseconds);

public slots:
    // An effect program was started. On GNOME, the first time, sees to the
    // extension: asks once to turn it on where it is off, and otherwise says
    // once what the effects cannot do without it.
    void effectStarted();

signals:
    // A balloon's title and text.
    void announced(const QString &title, const QString &text);
    // The extension runs from now on: an effect started before it draws in
    // the wrong place and wants starting again.
    void drawingArrived();

private:
    void enable();
    void sayWhatIsMissing(const QString &why);

    QWidget *window;
    bool gnomeWayland;
    bool seenTo = false;
    QPointer<QMessageBox> question;
    QDBusServiceWatcher *arrival = nullptr;
};
