#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QStringList>
#include <QThread>

#include <functional>

namespace brimo::sim {

// The desktop's services that keep the PC awake, on the session bus the
// process has (a private one of dbus-run-session in the tests): the portal's
// Inhibit, the screen saver's Inhibit and UnInhibit, or a portal that answers
// only after the utility has stopped waiting. They answer from a thread of
// their own, as the utility waits for them on its main thread.
//
// Each hold is noted as "<what> <runs>-<runs>": "sleep" (the portal asked to
// hold back suspend and idle), "shutdown" (logging out too) or "screen" (the
// screen saver), a reason other than the utility's in brackets, then what
// runs() said when it was asked for and when let go of (nothing after the
// dash while it is held).
class InhibitService : public QDBusVirtualObject {
public:
    // services: "portal", "screensaver" or "portal late" (with the screen saver).
    InhibitService(const QString &services, std::function<int()> runs);
    ~InhibitService() override;

    bool isReady() const { return m_ready; }
    QString holds() const;

    bool handleMessage(const QDBusMessage &call, const QDBusConnection &bus) override;
    QString introspect(const QString &) const override { return {}; }

private:
    void note(const QString &what, const QString &reason, const QString &runs,
              const QString &request);

    QDBusConnection m_bus;
    std::function<int()> m_runs;
    bool m_late;
    bool m_ready = true;
    QThread m_thread;
    mutable QMutex m_mutex;
    QStringList m_holds;
    QStringList m_requests; // each hold's request object; empty for the screen saver's
};

} // namespace brimo::sim
