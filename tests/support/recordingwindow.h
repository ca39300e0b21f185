#pragma once

#include "platform/inetcontrol.h"
#include "platform/windowlink.h"

#include <QList>
#include <QStringList>
#include <QThread>

// The states a request that ends with an answer reports, in their order.
inline const QList<qint16> kAnsweredStates = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12};

// The window side of the core for tests: keeps what the user would see, in
// the order it came (log lines, the progress bar's values as "20%", the dots
// switched "dots on" and "dots off"), every message box text and transfer
// state, and lends a real Internet transfer control. Like the main window it
// blocks a moment in its handler for the early states.
class RecordingWindow : public brimo::WindowLink {
public:
    RecordingWindow()
    {
        QObject::connect(&m_control, &brimo::InetControl::stateChanged, &m_control,
                         [this](qint16 state) {
                             states.append(state);
                             if (state <= 6)
                                 QThread::msleep(10);
                         });
    }

    QStringList seen;
    QStringList boxes;
    QList<qint16> states;

    void addText(const QString &whatText) override { seen.append(whatText); }
    void setProgress(int value) override { seen.append(QString::number(value) + u'%'); }
    void setDotsEnabled(bool enabled) override { seen.append(enabled ? "dots on" : "dots off"); }
    void showCritical(const QString &text) override { boxes.append(text); }
    brimo::InetControl &internetControl() override { return m_control; }
    quintptr nativeWindow() override { return 0; }

private:
    brimo::InetControl m_control;
};
