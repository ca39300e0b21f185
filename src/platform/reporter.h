#pragma once

#include <QString>

namespace brimo {

// Whoever shows the user what the core is doing: the log, the progress bar,
// the moving dots and the Internet transfer's states. The core reports
// through it and holds nothing of the window.
class Reporter {
public:
    virtual ~Reporter() = default;

    // Appends one line to the activity log.
    virtual void addText(const QString &whatText) = 0;
    // Sets the progress bar (0 to 100).
    virtual void setProgress(int value) = 0;
    // Switches the dots that show that the flash tool is still at work.
    virtual void setDotsEnabled(bool enabled) = 0;
    // A web request has reached state 1 to 12 (see InetControl).
    virtual void transferState(qint16 state) = 0;
    // The window's native handle, for what the system shows about the
    // program (the reason a shutdown waits); 0 where there is none.
    virtual quintptr nativeWindow() = 0;

protected:
    Reporter() = default;
    Reporter(const Reporter &) = default;
    Reporter &operator=(const Reporter &) = default;
};

} // namespace brimo
