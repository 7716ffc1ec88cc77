#include "mainwindow/widget.h"

#include "core/keymapping.h"
#include "core/modeswitcher.h"
#include "core/session.h"
#include "core/usbhid.h"
#include "keymap/hightdialog.h"
#include "modes/dialog.h"
#include "modes/heldpointer.h"
#include "modes/layernotice.h"
#include "modes/shelldrawing.h"
#include "modes/showmodediag.h"
#include "ui/dialogclient.h"
#include "ui/framelesswindow.h"
#include "ui_widget.h"

void quorvantInitResources()
{
    Q_INIT_RESOURCE(resources);
    Q_INIT_RESOURCE(translations);
}

Widget::Widget(Session *session_, QWidget *parent)
    : QWidget(parent)
    , session(session_)
{
    ui = new Ui::Widget;
    ui->setupUi(this);
    setWindowFlags(Qt::FramelessWindowHint);
    // The form's own size, whole: a tiling desktop floats a window that
    // cannot be resized rather than stretching it over the screen.
    setFixedSize(size());
    chrome = new FramelessWindow(this, ui->label_ic, ui->lab_title, ui->btnMenu_Close);
    chrome->onDismissKeys([this] { onExit_clicked(); });

    overlay = new Dialog(this);
    hightDialog = new HightDialog(&session->mapping(), this);
    navDialog = new DialogClient(this);
    modeDiag = new ShowModeDiag(this);

    // The notices are the window's own business; everything else the pen
    // says reaches the session's models.
    usbhid *link = &session->link();
    connect(link, SIGNAL(setLazer()), this, SLOT(onSetLazer()));
    connect(link, SIGNAL(setMagnify()), this, SLOT(onSetMagnify()));
    connect(link, SIGNAL(setSpotLight()), this, SLOT(onSetSpotLight()));
    connect(link, SIGNAL(setNormalUse()), this, SLOT(onSetNormalUse()));
    connect(&session->mapping(), &KeyMapping::written, this, &Widget::onKeyOK);
    connect(&session->mapping(), &KeyMapping::resetDone, this, &Widget::ResetOK);
    connect(&session->modes(), &ModeSwitcher::announced, this, &Widget::showBalloon);
#ifndef Q_OS_WIN
    shellDrawing = new ShellDrawing(this);
    connect(&session->modes(), &ModeSwitcher::announced, shellDrawing, &ShellDrawing::effectStarted);
    connect(shellDrawing, &ShellDrawing::announced, this, &Widget::showBalloon);
    connect(shellDrawing, &ShellDrawing::drawingArrived, &session->modes(), &ModeSwitcher::restartCurrent);
    auto *heldPointer = new HeldPointerNote(this);
    connect(&session->modes(), &ModeSwitcher::announced, heldPointer, &HeldPointerNote::effectStarted);
    connect(heldPointer, &HeldPointerNote::announced, this, &Widget::showBalloon);
    layerNotice = new LayerNotice(this);
    connect(layerNotice, &LayerNotice::refused, modeDiag, &ShowModeDiag::showText);
#endif

    // The column headings name what the grid shows, and go with it: the band
    // stays empty above the picture that covers the grid.
    QSizePolicy band = ui->widget_columns->sizePolicy();
    band.setRetainSizeWhenHidden(true);
    ui->widget_columns->setSizePolicy(band);
    ui->widget_columns->hide();

    setUpKeyGrid();
    init();
}

Widget::~Widget()
{
    delete trayIcon;
    trayIcon = nullptr;
    delete overlay;
    overlay = nullptr;
    delete hightDialog;
    hightDialog = nullptr;
    delete navDialog;
    navDialog = nullptr;
    delete modeDiag;
    modeDiag = nullptr;
    delete ui;
    ui = nullptr;
}

void Widget::onSetLazer()
{
    showNotice(tr("Electronic laser"));
}

void Widget::onSetMagnify()
{
    showNotice(tr("Magnifier"));
}

void Widget::onSetSpotLight()
{
    showNotice(tr("Spotlight"));
}

void Widget::onSetNormalUse()
{
    showNotice(tr("Normal use"));
}

void Widget::showNotice(const QString &text)
{
#ifndef Q_OS_WIN
    if (shellDrawing && shellDrawing->showNotice(text, ShowModeDiag::kVisibleMs))
        return;
    if (layerNotice && layerNotice->show(text, ShowModeDiag::kVisibleMs))
        return;
#endif
    modeDiag->showText(text);
}
