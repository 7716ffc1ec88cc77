// sway and the other wlroots desktops tell no program where the pointer is,
// so there an effect holds the pointer while it is on: the presenter is told
// so once, as the first effect starts.
#pragma once

#include <QObject>
#include <QString>

class HeldPointerNote : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

public slots:
    // An effect program was started.
    void effectStarted();

signals:
    // A balloon's title and text.
    void announced(const QString &title, const QString &text);

private:
    bool seenTo = false;
};
