#pragma once

#include <QString>

namespace brimo {

class InetControl;

// What the core needs from the main window: its log, progress bar, dots timer,
// Internet transfer control and a message box. The window implements it, so
// nothing in the core ever includes a widget header.
class WindowLink {
public:
    virtual ~WindowLink() = default;

    // Appends one line to the activity log.
    virtual void addText(const QString &whatText) = 0;
    // Sets the progress bar (0 to 100).
    virtual void setProgress(int value) = 0;
    // Switches the timer that appends " . . ." to the log.
    virtual void setDotsEnabled(bool enabled) = 0;
    // Modal box captioned with the application title, critical icon, OK only.
    virtual void showCritical(const QString &text) = 0;
    // The window's Internet transfer control, borrowed for one request.
    virtual InetControl &internetControl() = 0;
    // The window's native handle, for what the system shows about the
    // program (the reason a shutdown waits); 0 where there is none.
    virtual quintptr nativeWindow() = 0;

protected:
    WindowLink() = default;
    WindowLink(const WindowLink &) = default;
    WindowLink &operator=(const WindowLink &) = default;
};

} // namespace brimo
