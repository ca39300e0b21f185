#pragma once

#include "session/sessionwindow.h"

#include <QList>
#include <QStringList>
#include <QThread>

#include <optional>
#include <utility>

// The states a request that ends with an answer reports, in their order.
inline const QList<qint16> kAnsweredStates = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12};

// The window side of the core and the session for tests: keeps what the user
// would see, in the order it came (log lines, the progress bar's values as
// "20%", the dots switched "dots on" and "dots off", "Stage N of 5:", "step
// N", "box <text>", "settings <port shown>", "close asked") and every
// transfer state. Like the main window it blocks a moment for the early
// states. A question takes the next of `answers` (No when none is left), the
// settings dialog gives `chosen` once.
class RecordingWindow : public brimo::SessionWindow {
public:
    QStringList seen;
    QList<qint16> states;
    QList<bool> answers;
    std::optional<brimo::Settings> chosen;

    void addText(const QString &whatText) override { seen.append(whatText); }
    void setProgress(int value) override { seen.append(QString::number(value) + u'%'); }
    void setDotsEnabled(bool enabled) override { seen.append(enabled ? "dots on" : "dots off"); }
    void transferState(qint16 state) override
    {
        states.append(state);
        if (state <= 6)
            QThread::msleep(10);
    }
    quintptr nativeWindow() override { return 0; }
    QString beginLog(const QDateTime &) override { return {}; }
    void showStage(qint16 stage) override
    {
        seen.append(QStringLiteral("Stage %1 of 5:").arg(stage));
    }
    void showStep(Step step) override { seen.append("step " + QString::number(int(step))); }
    bool showBox(const QString &text, Box box) override
    {
        seen.append("box " + text);
        return box == Box::YesNo && !answers.isEmpty() && answers.takeFirst();
    }
    std::optional<brimo::Settings> chooseSettings(const brimo::Settings &shown) override
    {
        seen.append("settings " + shown.comPort);
        return std::exchange(chosen, std::nullopt);
    }
    void holdInput(bool) override {}
    void askToClose() override { seen.append("close asked"); }
};
