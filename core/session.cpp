#include "core/session.h"

#include <QCoreApplication>
#include <QDebug>
#include <QSocketNotifier>

#include "core/keymapping.h"
#include "core/modeswitcher.h"
#include "core/usbhid.h"
#include "platform/platform.h"

Session::Session(platform::Platform *platform_, const settings::Location &sizes, QObject *parent)
    : QObject(parent)
    , platform(platform_)
    , location(sizes)
{
    if (!platform) {
        ownPlatform = platform::createPlatform();
        platform = ownPlatform.get();
    }
    receiver = std::make_unique<usbhid>(nullptr, platform);
    keys = std::make_unique<KeyMapping>(*receiver);
    switcher = std::make_unique<ModeSwitcher>(*platform, QCoreApplication::applicationDirPath());

    switcher->setSizes(readSizeLevels(location.readFrom));
    if (!platform->writeAutostart(QCoreApplication::applicationFilePath().toStdString()))
        qDebug() << "Autostart entry not written";
    // Whether the system took the scheme is not looked at: start-up goes on
    // with whatever pointers the user has.
    platform->resetCursorScheme();

    // What the pen reports, to the model it concerns.
    connect(receiver.get(), &usbhid::modeReported, switcher.get(), [this](int mode, int size) {
        if (mode == ModeSwitcher::NormalMode)
            switcher->normal();
        else
            switcher->enter(mode, size);
    });
    connect(receiver.get(), &usbhid::setData1, keys.get(), [this] { keys->loadBlock(1); });
    connect(receiver.get(), &usbhid::setData2, keys.get(), [this] { keys->loadBlock(2); });
    connect(receiver.get(), &usbhid::setKeyOK, keys.get(), &KeyMapping::takeWriteAcknowledgement);
    connect(receiver.get(), &usbhid::setResetOK, keys.get(), &KeyMapping::takeResetAcknowledgement);
    // One read-back per appearance of the receiver: the editor shows what it holds.
    connect(receiver.get(), &usbhid::arrived, keys.get(), [this] {
        if (!done)
            keys->requestReadBack();
    });

    termination = platform->watchTermination([this](int signalNumber) {
        qDebug() << "Signal" << signalNumber << "received, exiting";
        emit terminationRequested();
    });
    if (termination && termination->descriptor() >= 0) {
        terminationNotifier = new QSocketNotifier(termination->descriptor(), QSocketNotifier::Read, this);
        connect(terminationNotifier, &QSocketNotifier::activated, this, [this] { termination->dispatch(); });
    }
}

Session::~Session()
{
    delete terminationNotifier;
    terminationNotifier = nullptr;
}

void Session::finish()
{
    if (done)
        return;
    done = true;
    saveSizes();
    switcher->stopCurrent();
}

bool Session::saveSizes()
{
    if (writeSizeLevels(location.writeTo, switcher->sizes()))
        return true;
    qDebug() << "Settings not written:" << location.writeTo;
    return false;
}
