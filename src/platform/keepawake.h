#pragma once

#include <QString>
#include <QtGlobal>

namespace brimo {

// Keeps the PC awake for one run of the flash tool: a laptop that goes to
// sleep half-way through a write leaves a half-written device, and the held
// input lets the idle timer run on. For the image write a shutdown is held
// back too, with a reason the user can read.
//
// Windows: the thread's execution state, and the shutdown reason on the
// window. macOS: a power assertion. Elsewhere, on the session bus: the desktop
// portal's Inhibit where it answers, else the screen saver's.
//
// Where nothing answers (no session bus, no one owning the names, a service
// that hangs) the run goes on as it would without: nothing is logged or shown,
// and no question to the bus waits longer than kBusTimeoutMs. A portal that
// answers only after that may still take the hold: it is let go of all the
// same.
class KeepAwake {
public:
    enum class Shutdown { Allowed, Blocked };
    static constexpr int kBusTimeoutMs = 1000;

    // window: the native handle of the window the shutdown reason is shown
    // for; 0 where there is none.
    explicit KeepAwake(Shutdown shutdown, quintptr window = 0);
    ~KeepAwake() { release(); }
    KeepAwake(const KeepAwake &) = delete;
    KeepAwake &operator=(const KeepAwake &) = delete;

    // True while a hold in place blocks shutdown: the window then turns down
    // the end of the session.
    static bool blocksShutdown();
    // What the user reads about the hold.
    static QString reason() { return QStringLiteral("Updating the Brimo device"); }

private:
    // The system's part (keepawake_<system>.cpp): asks, true when the system
    // took the hold; lets go of a hold taken.
    bool acquire();
    void releaseHeld();
    void release();

    Shutdown m_shutdown;
    quintptr m_window;
    bool m_held = false;
    // What the system handed out for the hold: the portal's request object
    // (named before the question, so also one the portal answered too late),
    // the screen saver's cookie, the power assertion's id.
    QString m_request;
    quint32 m_cookie = 0;
    bool m_screenSaver = false;
};

} // namespace brimo
