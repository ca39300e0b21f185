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
// What a question that got no answer in time ends with.
const QString kNoReply = QStringLiteral("org.freedesktop.DBus.Error.NoReply");
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

// The request object the portal makes for a request that names `token`:
// ".../request/SENDER/TOKEN", SENDER this connection's unique name without its
// ':' and with '_' for '.'.
QString requestPath(const QString &token)
{
    QString sender = QDBusConnection::sessionBus().baseService().mid(1);
    return kPortalPath + QStringLiteral("/request/") + sender.replace(u'.', u'_') + u'/' + token;
}

// One for each request of this program's connection.
QString nextToken()
{
    static int requests = 0;
    return QStringLiteral("brimo_%1").arg(++requests);
}

// The portal's hold: the request object its answer names. Without an answer
// in time, the portal may still take the hold later, under the object it
// makes for the request's token: that one, so that it is let go of too.
QString askPortal(uint flags, bool *answeredInTime)
{
    const QString token = nextToken();
    QDBusMessage portal = QDBusMessage::createMethodCall(
        kPortal, kPortalPath, QStringLiteral("org.freedesktop.portal.Inhibit"),
        QStringLiteral("Inhibit"));
    portal << QString() << flags
           << QVariantMap{{QStringLiteral("handle_token"), token},
                          {QStringLiteral("reason"), KeepAwake::reason()}};
    const QDBusMessage reply = ask(portal);
    *answeredInTime = answered(reply);
    if (*answeredInTime)
        return reply.arguments().constFirst().value<QDBusObjectPath>().path();
    return reply.errorName() == kNoReply ? requestPath(token) : QString();
}

bool askScreenSaver(quint32 *cookie)
{
    QDBusMessage screenSaver = QDBusMessage::createMethodCall(
        kScreenSaver, kScreenSaverPath, kScreenSaver, QStringLiteral("Inhibit"));
    screenSaver << QCoreApplication::applicationName() << KeepAwake::reason();
    const QDBusMessage reply = ask(screenSaver);
    if (!answered(reply))
        return false;
    *cookie = reply.arguments().constFirst().toUInt();
    return true;
}

} // namespace

bool KeepAwake::acquire()
{
    if (!QDBusConnection::sessionBus().isConnected())
        return false;
    bool answeredInTime = false;
    m_request = askPortal(kSuspend | kIdle | (m_shutdown == Shutdown::Blocked ? kLogout : 0),
                          &answeredInTime);
    if (answeredInTime)
        return true;
    m_screenSaver = askScreenSaver(&m_cookie);
    return m_screenSaver || !m_request.isEmpty();
}

void KeepAwake::releaseHeld()
{
    if (!m_request.isEmpty())
        ask(QDBusMessage::createMethodCall(kPortal, m_request,
                                           QStringLiteral("org.freedesktop.portal.Request"),
                                           QStringLiteral("Close")));
    if (m_screenSaver) {
        QDBusMessage unInhibit = QDBusMessage::createMethodCall(
            kScreenSaver, kScreenSaverPath, kScreenSaver, QStringLiteral("UnInhibit"));
        unInhibit << m_cookie;
        ask(unInhibit);
    }
}

} // namespace brimo
