// A window standing in for the pen: its mode key and mode notices pressed
// with the mouse, the receiver plugged in and out, and what the receiver
// stores and exchanges with the program, all through the quorvant-pen
// daemon's socket, as the command line does.
#pragma once

#include "keymap/slots.h"
#include "penlink.h"
#include "receiver.h"

#include <QWidget>

#include <array>
#include <optional>

class QLabel;
class QTimer;

namespace Ui {
class PenWindow;
}

class PenWindow : public QWidget
{
    Q_OBJECT

public:
    explicit PenWindow(const std::string &socketPath, QWidget *parent = nullptr);
    ~PenWindow() override;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void buildMappingGrid();
    void poll();
    void command(const std::string &line);
    void press(const std::string &line, const QString &what, const sim::Bytes &report);
    void showDaemon(bool running);
    void showPlugged(bool plugged);
    void showMapping(const sim::Image &image);
    void logSentSince(std::size_t count);
    void logReport(const QString &from, const QString &what, const sim::Bytes &report);
    void logNote(const QString &text);

    Ui::PenWindow *ui;
    sim::PenLink link;
    QTimer *pollTimer;
    std::array<QLabel *, keymap::slotCount> actionCells {};
    std::optional<bool> daemonRunning;
    std::optional<sim::Image> shownMapping;
    std::size_t seenSent = 0;
};
