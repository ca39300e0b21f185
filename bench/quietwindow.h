#pragma once

#include "platform/reporter.h"

#include <QString>
#include <QTextStream>

// The window side of the core for the benchmarks: shows nothing, and passes
// log lines to stderr so a failed run says why.
class QuietWindow : public brimo::Reporter {
public:
    void addText(const QString &whatText) override { QTextStream(stderr) << whatText << '\n'; }
    void setProgress(int) override {}
    void setDotsEnabled(bool) override {}
    void transferState(qint16) override {}
    quintptr nativeWindow() override { return 0; }
};
