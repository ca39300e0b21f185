#pragma once

#include "platform/windowlink.h"

#include <QList>
#include <QStringList>
#include <QtGlobal>

// The window side of the device link for tests: keeps every log line,
// progress value and dots switch in the order they came.
class RecordingWindow : public brimo::WindowLink {
public:
    QStringList lines;
    QList<int> progress;
    QList<bool> dots;

    void addText(const QString &whatText) override { lines.append(whatText); }
    void setProgress(int value) override { progress.append(value); }
    void setDotsEnabled(bool enabled) override { dots.append(enabled); }
    void showCritical(const QString &text) override
    {
        lines.append(QStringLiteral("box: ") + text);
    }
    brimo::InetControl &internetControl() override
    {
        qFatal("the device link never borrows the Internet transfer control");
    }
};
