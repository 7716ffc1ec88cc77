#pragma once

#include "core/sizesegment.h"
#include "gnome/shellextension.h"
#include "sizemap.h"

#include <QBasicTimer>
#include <QObject>
#include <memory>

// An effect that GNOME Shell draws, through Quorvant's extension. The effect
// program keeps its part of the contract with the main program: it runs while
// the effect is on, reads its size level from its segment and hands the
// extension the pixels for it. The extension follows the pointer itself; when
// this program ends, by any means, the effect goes with it.
class ShellEffect : public QObject
{
    Q_OBJECT

public:
    // `program` is the effect program's name: Dotrix, Loupex or Halvix.
    ShellEffect(
        const char *program, const QString &segmentKey, const SizeMap &sizes, QObject *parent = nullptr);
    ~ShellEffect() override;

    // Puts the effect up; false when the extension would not draw it.
    bool start();

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    int readPixels();

    QString effect_;
    SizeSegment segment_;
    SizeMap sizes_;
    gnome::Drawing drawing_;
    QBasicTimer tick_;
    int level_ = 0;
    int pixels_ = 0;
    bool shown_ = false;
};

class EffectBackend;

// The backend of GNOME Shell with Quorvant's extension.
std::unique_ptr<EffectBackend> gnomeBackend();
