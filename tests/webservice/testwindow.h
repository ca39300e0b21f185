#pragma once

#include "platform/inetcontrol.h"
#include "platform/windowlink.h"

#include <QStringList>
#include <QThread>

// The states a request that ends with an answer reports, in their order.
inline const QList<qint16> kSuccessStates = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12};

// The window side of the web service client: lends a real Internet transfer
// control, keeps its state reports and every message box text, and like the
// main window blocks in its handler for the early states.
class TestWindow : public brimo::WindowLink {
public:
    TestWindow()
    {
        QObject::connect(&m_control, &brimo::InetControl::stateChanged, &m_control,
                         [this](qint16 state) {
                             states.append(state);
                             if (state <= 6)
                                 QThread::msleep(10);
                         });
    }

    QList<qint16> states;
    QStringList criticalTexts;

    void addText(const QString &) override {}
    void setProgress(int) override {}
    void setDotsEnabled(bool) override {}
    void showCritical(const QString &text) override { criticalTexts.append(text); }
    brimo::InetControl &internetControl() override { return m_control; }

private:
    brimo::InetControl m_control;
};
