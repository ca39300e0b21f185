#pragma once

#include "session/sessionwindow.h"

#include <QList>
#include <QStringList>
#include <QThread>

// The states a request that ends with an answer reports, in their order.
inline const QList<qint16> kAnsweredStates = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12};

// The window side of the session for tests: what the user reads, in order (log
// lines, bar values as "20%", "dots on"/"dots off", "box <text>"), and every
// transfer state; it blocks a moment for the early states, as the window does.
// A question takes the next of `answers` (No when none); settings: no OK.
class RecordingWindow : public brimo::SessionWindow {
public:
    QStringList seen;
    QList<qint16> states;
    QList<bool> answers;

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
    void showStage(qint16) override {}
    void showStep(Step) override {}
    bool showBox(const QString &text, Box box) override
    {
        seen.append("box " + text);
        return box == Box::YesNo && !answers.isEmpty() && answers.takeFirst();
    }
    std::optional<brimo::Settings> chooseSettings(const brimo::Settings &) override { return {}; }
    void holdInput(bool) override {}
    void askToClose() override {}
};
