#include "penwindow.h"

#include "keymap/vocabulary.h"
#include "ui_penwindow.h"

#include <QFontDatabase>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTime>
#include <QTimer>
#include <QWindow>

#include <algorithm>

namespace {

// Often enough that a press shows up in the log before the eye is back on
// it, seldom enough to cost the daemon nothing.
constexpr int kPollIntervalMs = 250;

// The time before each line of the log, and the gap after it.
constexpr int kStampWidth = 10;

struct ModeKey
{
    sim::Mode mode;
    const char *word; // as the daemon's mode and notice requests name it
    QPushButton *Ui::PenWindow::*modeButton;
    QPushButton *Ui::PenWindow::*noticeButton;
};

constexpr ModeKey modeKeys[] = {
    { sim::Mode::Laser, "laser", &Ui::PenWindow::laserButton, &Ui::PenWindow::laserNoticeButton },
    { sim::Mode::Magnifier, "magnifier", &Ui::PenWindow::magnifierButton,
        &Ui::PenWindow::magnifierNoticeButton },
    { sim::Mode::Spotlight, "spotlight", &Ui::PenWindow::spotlightButton,
        &Ui::PenWindow::spotlightNoticeButton },
    { sim::Mode::Normal, "normal", &Ui::PenWindow::normalButton, &Ui::PenWindow::normalNoticeButton },
};

// The program's commands by their leading bytes: report number 0, then the
// payload.
struct OutputName
{
    std::uint8_t lead[3];
    std::size_t length;
    const char *name;
};

constexpr OutputName outputNames[] = {
    { { 0x00, 0x70, 0x70 }, 3, QT_TRANSLATE_NOOP("PenWindow", "read-back request") },
    { { 0x00, 0x60, 0x60 }, 3, QT_TRANSLATE_NOOP("PenWindow", "reset command") },
    { { 0x00, 0x55 }, 2, QT_TRANSLATE_NOOP("PenWindow", "mapping block 1/2") },
    { { 0x00, 0x56 }, 2, QT_TRANSLATE_NOOP("PenWindow", "mapping block 2/2") },
};

QString outputName(const sim::Bytes &report)
{
    for (const OutputName &entry : outputNames) {
        if (report.size() >= entry.length
            && std::equal(entry.lead, entry.lead + entry.length, report.begin()))
            return QCoreApplication::translate("PenWindow", entry.name);
    }
    return QCoreApplication::translate("PenWindow", "unknown report");
}

// Reports are mostly zero padding: a long run of it at the end is counted
// rather than spelled out. What is left is cut into rows that fit the window,
// two for the longest report, a mapping block of 33 bytes.
QStringList hexRows(const sim::Bytes &report)
{
    constexpr std::size_t kRowLength = 17;
    const auto lastSet = std::find_if(report.rbegin(), report.rend(), [](std::uint8_t b) { return b != 0; });
    std::size_t kept = std::size_t(report.rend() - lastSet);
    const std::size_t zeros = report.size() - kept < 4 ? 0 : report.size() - kept;
    kept = report.size() - zeros;
    QStringList rows;
    for (std::size_t start = 0; start < kept; start += kRowLength) {
        const sim::Bytes row(
            report.begin() + long(start), report.begin() + long(std::min(kept, start + kRowLength)));
        rows << QString::fromStdString(sim::wire::toSpacedHex(row));
    }
    if (zeros) {
        const QString rest = QCoreApplication::translate("PenWindow", "+ %1 × 00").arg(zeros);
        if (rows.isEmpty())
            rows << rest;
        else
            rows.last() += QLatin1Char(' ') + rest;
    }
    return rows;
}

QString actionName(std::uint8_t code)
{
    const std::optional<int> index = keymap::keyIndex(code);
    if (!index)
        return QStringLiteral("0x") + QString::number(code, 16).rightJustified(2, QLatin1Char('0')).toUpper();
    const char *name = keymap::keyActions[*index].name;
    // Blank, as in the program's own boxes, for a key that does nothing.
    return QString::fromLatin1(name);
}

// "plugged=yes sent=3 ..." as a lookup.
std::optional<std::string> statusValue(const std::vector<std::string> &words, const std::string &key)
{
    for (const std::string &word : words) {
        if (word.size() > key.size() && word.compare(0, key.size(), key) == 0 && word[key.size()] == '=')
            return word.substr(key.size() + 1);
    }
    return std::nullopt;
}

} // namespace

PenWindow::PenWindow(const std::string &socketPath, QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::PenWindow)
    , link(socketPath)
    , pollTimer(new QTimer(this))
{
    ui->setupUi(this);
    ui->reportLog->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    buildMappingGrid();

    connect(ui->plugButton, &QPushButton::clicked, this, [this] { command("plug"); });
    connect(ui->unplugButton, &QPushButton::clicked, this, [this] { command("unplug"); });
    for (const ModeKey &key : modeKeys) {
        connect(ui->*key.modeButton, &QPushButton::clicked, this, [this, key] {
            const int size = ui->sizeBox->value();
            press(std::string("mode ") + key.word + " " + std::to_string(size),
                tr("mode %1, size %2").arg(QString::fromLatin1(key.word)).arg(size),
                sim::modeReport(key.mode, std::uint8_t(size)));
        });
        connect(ui->*key.noticeButton, &QPushButton::clicked, this, [this, key] {
            press(std::string("notice ") + key.word, tr("notice %1").arg(QString::fromLatin1(key.word)),
                sim::noticeReport(key.mode));
        });
    }

    pollTimer->setInterval(kPollIntervalMs);
    connect(pollTimer, &QTimer::timeout, this, &PenWindow::poll);
}

PenWindow::~PenWindow()
{
    delete ui;
}

void PenWindow::buildMappingGrid()
{
    for (int row = 0; row < keymap::rowCount; ++row) {
        ui->mappingGrid->addWidget(new QLabel(QString::fromUtf8(keymap::keyRows[row].labelText)), row, 0);
        for (int column = 0; column < keymap::columnCount; ++column) {
            const int slot = row * keymap::columnCount + column;
            auto *cell = new QLabel;
            cell->setObjectName(QStringLiteral("action_%1").arg(slot));
            cell->setFrameShape(QFrame::StyledPanel);
            cell->setAlignment(Qt::AlignCenter);
            cell->setMinimumWidth(100);
            ui->mappingGrid->addWidget(cell, row, column + 1);
            actionCells[std::size_t(slot)] = cell;
        }
    }
    for (int column = 1; column <= keymap::columnCount; ++column)
        ui->mappingGrid->setColumnStretch(column, 1);
}

void PenWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    poll();
    pollTimer->start();
}

void PenWindow::hideEvent(QHideEvent *event)
{
    // Nobody looks at a hidden window: the daemon is left in peace.
    pollTimer->stop();
    QWidget::hideEvent(event);
}

void PenWindow::poll()
{
    // Window managers unmap the windows of the other workspaces without
    // hiding them: nothing to be seen there either.
    if (windowHandle() && !windowHandle()->isExposed())
        return;
    const std::optional<std::vector<std::string>> status = link.request("status");
    showDaemon(link.reachable());
    if (!status)
        return;
    showPlugged(statusValue(*status, "plugged") == std::optional<std::string>("yes"));
    const std::size_t sent = QString::fromStdString(statusValue(*status, "sent").value_or("0")).toULong();
    if (sent != seenSent)
        logSentSince(seenSent);

    // The program writes or resets it, a command line restores or replaces
    // it: looked at every time, it is shown whoever changed it.
    const std::optional<std::vector<std::string>> blocks = link.request("mapping");
    sim::Bytes first, second;
    if (blocks && blocks->size() == 2 && sim::wire::fromHex((*blocks)[0], first)
        && sim::wire::fromHex((*blocks)[1], second) && first.size() + second.size() == sizeof(sim::Image)) {
        sim::Image image;
        std::copy(second.begin(), second.end(), std::copy(first.begin(), first.end(), image.begin()));
        if (image != shownMapping)
            showMapping(image);
    }
}

void PenWindow::command(const std::string &line)
{
    if (!link.request(line))
        logNote(tr("%1: %2").arg(QString::fromStdString(line), QString::fromStdString(link.error())));
    poll();
}

void PenWindow::press(const std::string &line, const QString &what, const sim::Bytes &report)
{
    // What the program sent before the press comes first in the log.
    poll();
    if (link.request(line))
        logReport(tr("pen"), what, report);
    else
        logNote(tr("%1: %2").arg(what, QString::fromStdString(link.error())));
    poll();
}

void PenWindow::showDaemon(bool running)
{
    if (daemonRunning == running)
        return;
    daemonRunning = running;
    const QString path = QString::fromStdString(link.socketPath());
    ui->plugButton->setEnabled(running);
    ui->unplugButton->setEnabled(running);
    ui->mappingGroup->setEnabled(running);
    if (running) {
        // Whatever daemon answers now has records of its own, from the start.
        seenSent = 0;
        ui->receiverState->setToolTip(path);
        logNote(tr("receiver daemon running on %1").arg(path));
    } else {
        ui->modeGroup->setEnabled(false);
        ui->noticeGroup->setEnabled(false);
        ui->receiverState->setText(tr("Receiver daemon not running"));
        ui->receiverState->setToolTip(tr("Start it with: quorvant-pen --socket %1 serve").arg(path));
        logNote(tr("receiver daemon not running on %1").arg(path));
    }
}

void PenWindow::showPlugged(bool plugged)
{
    ui->receiverState->setText(plugged ? tr("Receiver plugged in") : tr("Receiver unplugged"));
    ui->plugButton->setEnabled(!plugged);
    ui->unplugButton->setEnabled(plugged);
    // An unplugged receiver passes no presses on.
    ui->modeGroup->setEnabled(plugged);
    ui->noticeGroup->setEnabled(plugged);
}

void PenWindow::showMapping(const sim::Image &image)
{
    for (int slot = 0; slot < keymap::slotCount; ++slot) {
        const QString name = actionName(image[std::size_t(keymap::imageByte(slot))]);
        QLabel *cell = actionCells[std::size_t(slot)];
        cell->setText(name);
        // A blank label would be read out by the title of its group.
        cell->setAccessibleName(name.isEmpty() ? tr("no action") : name);
    }
    shownMapping = image;
}

void PenWindow::logSentSince(std::size_t count)
{
    const std::optional<std::vector<std::string>> reports = link.request("sent");
    if (!reports)
        return;
    // Fewer than seen: the records were cleared meanwhile, and all are new.
    if (reports->size() < count)
        count = 0;
    for (std::size_t i = count; i < reports->size(); ++i) {
        sim::Bytes report;
        if (sim::wire::fromHex((*reports)[i], report))
            logReport(tr("program"), outputName(report), report);
    }
    seenSent = reports->size();
}

void PenWindow::logReport(const QString &from, const QString &what, const sim::Bytes &report)
{
    const QString heading = tr("%1 %2: ").arg(from.leftJustified(7), what);
    logNote(heading
        + hexRows(report).join(QLatin1Char('\n') + QString(kStampWidth + heading.size(), QLatin1Char(' '))));
}

void PenWindow::logNote(const QString &text)
{
    const QString stamp = QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
    ui->reportLog->appendPlainText(stamp.leftJustified(kStampWidth) + text);
    ui->reportLog->verticalScrollBar()->setValue(ui->reportLog->verticalScrollBar()->maximum());
}
