// On Windows the notification area is the shell's own: an icon made at any
// time shows, and Qt adds it again when Explorer restarts (TaskbarCreated).
#include "mainwindow/trayhost.h"

struct TrayHost::Watch
{
};

TrayHost::TrayHost(QObject *parent)
    : QObject(parent)
{
}

TrayHost::~TrayHost() = default;

bool TrayHost::available() const
{
    return true;
}

void TrayHost::settle() { }
