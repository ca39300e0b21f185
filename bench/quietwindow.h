#pragma once

#include "platform/inetcontrol.h"
#include "platform/windowlink.h"

#include <QString>
#include <QTextStream>

// The window side of the core for the benchmarks: shows nothing, keeps the
// Internet transfer control the requests borrow, and passes log lines to
// stderr so a failed run says why.
class QuietWindow : public brimo::WindowLink {
public:
    void addText(const QString &whatText) override { QTextStream(stderr) << whatText << '\n'; }
    void setProgress(int) override {}
    void setDotsEnabled(bool) override {}
    void showCritical(const QString &text) override { addText(QStringLiteral("box: ") + text); }
    brimo::InetControl &internetControl() override { return m_inet; }
    quintptr nativeWindow() override { return 0; }

private:
    brimo::InetControl m_inet;
};
