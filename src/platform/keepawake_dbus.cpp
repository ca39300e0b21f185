#include "platform/keepawake.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QVariantMap>

namespace brimo {

namespace {

const QString kPortal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kScreenSaver = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kScreenSaverPath = QStringLiteral("/org/freedesktop/ScreenSaver");
// What the portal is asked to hold back: logging out (and so shutting down),
// suspending, and the idle state that leads to it.
constexpr uint kLogout = 1;
constexpr uint kSuspend = 4;
constexpr uint kIdle = 8;

// The answer, or the error that stands for none; waits at most kBusTimeoutMs
// and runs no events meanwhile.
QDBusMessage ask(const QDBusMessage &call)
{
    return QDBusConnection::sessionBus().call(call, QDBus::Block, KeepAwake::kBusTimeoutMs);
}

bool answered(const QDBusMessage &reply)
{
    return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 1;
}

} // namespace

bool KeepAwake::acquire()
{
    if (!QDBusConnection::sessionBus().isConnected())
        return false;
    QDBusMessage portal = QDBusMessage::createMethodCall(
        kPortal, kPortalPath, QStringLiteral("org.freedesktop.portal.Inhibit"),
        QStringLiteral("Inhibit"));
    const uint flags = kSuspend | kIdle | (m_shutdown == Shutdown::Blocked ? kLogout : 0);
    portal << QString() << flags << QVariantMap{{QStringLiteral("reason"), reason()}};
    if (const QDBusMessage reply = ask(portal); answered(reply)) {
        m_request = reply.arguments().constFirst().value<QDBusObjectPath>().path();
        return true;
    }
    QDBusMessage screenSaver = QDBusMessage::createMethodCall(
        kScreenSaver, kScreenSaverPath, kScreenSaver, QStringLiteral("Inhibit"));
    screenSaver << QCoreApplication::applicationName() << reason();
    const QDBusMessage reply = ask(screenSaver);
    if (!answered(reply))
        return false;
    m_cookie = reply.arguments().constFirst().toUInt();
    return true;
}

void KeepAwake::releaseHeld()
{
    if (!m_request.isEmpty()) {
        ask(QDBusMessage::createMethodCall(kPortal, m_request,
                                           QStringLiteral("org.freedesktop.portal.Request"),
                                           QStringLiteral("Close")));
        return;
    }
    QDBusMessage unInhibit = QDBusMessage::createMethodCall(
        kScreenSaver, kScreenSaverPath, kScreenSaver, QStringLiteral("UnInhibit"));
    unInhibit << m_cookie;
    ask(unInhibit);
}

} // namespace brimo
