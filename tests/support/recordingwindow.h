#pragma once

#include "platform/reporter.h"

#include <QList>
#include <QStringList>
#include <QThread>

// The states a request that ends with an answer reports, in their order.
inline const QList<qint16> kAnsweredStates = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12};

// The window side of the core for tests: keeps what the user would see, in
// the order it came (log lines, the progress bar's values as "20%", the dots
// switched "dots on" and "dots off") and every transfer state. Like the main
// window it blocks a moment for the early states.
class RecordingWindow : public brimo::Reporter {
public:
    QStringList seen;
    QList<qint16> states;

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
};
