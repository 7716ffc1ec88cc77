// The mode notice on Wayland desktops with layer-shell surfaces (KDE Plasma,
// sway): drawn by quorvant-notice (core/noticehelper.h) beside the program, as the program's own
// window could neither place itself there nor keep out of the tiling.
#pragma once

#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QString>

class LayerNotice : public QObject
{
    Q_OBJECT

public:
    explicit LayerNotice(QObject *parent = nullptr);

    // Puts the notice up, in place of one that is up; false where the program
    // runs on no Wayland display, or the helper is known not to draw here.
    bool show(const QString &text, int milliseconds);

signals:
    // The helper found no layer shell after all, or failed: the notice is
    // the program's own to show, this time and from now on.
    void refused(const QString &text);

private:
    QString programFile;
    bool usable;
    QPointer<QProcess> current;
};
