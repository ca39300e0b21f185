#include "desktop/inhibitservice.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QTimer>

namespace brimo::sim {

namespace {

const QString kConnection = QStringLiteral("inhibit stand-in");
const QString kReason = QStringLiteral("Updating the Brimo device");
// Past the utility's wait of a second for an answer.
constexpr int kLateAnswerMs = 1500;

// The request object a portal makes: ".../request/SENDER/TOKEN", SENDER the
// caller's unique name without its ':' and with '_' for '.'.
QString requestPath(const QDBusMessage &call, const QString &token)
{
    return call.path() + QStringLiteral("/request/") + call.service().mid(1).replace(u'.', u'_') +
           u'/' + token;
}

} // namespace

InhibitService::InhibitService(const QString &services, std::function<int()> runs)
    : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, kConnection)),
      m_runs(std::move(runs)), m_late(services.contains(QLatin1String("late")))
{
    moveToThread(&m_thread);
    m_thread.start();
    if (services.contains(QLatin1String("portal")))
        m_ready = m_bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop")) &&
                  m_bus.registerVirtualObject(QStringLiteral("/org/freedesktop/portal/desktop"),
                                              this, QDBusConnection::SubPath);
    if (services.contains(QLatin1String("screensaver")) || m_late)
        m_ready =
            m_bus.registerService(QStringLiteral("org.freedesktop.ScreenSaver")) &&
            m_bus.registerVirtualObject(QStringLiteral("/org/freedesktop/ScreenSaver"), this) &&
            m_ready;
}

InhibitService::~InhibitService()
{
    m_thread.quit();
    m_thread.wait();
    QDBusConnection::disconnectFromBus(kConnection);
}

QString InhibitService::holds() const
{
    const QMutexLocker lock(&m_mutex);
    return m_holds.join(u',');
}

void InhibitService::note(const QString &what, const QString &reason, const QString &runs,
                          const QString &request)
{
    m_holds << what + (reason == kReason ? QString() : QStringLiteral(" (") + reason + u')') +
                   u' ' + runs + u'-';
    m_requests << request;
}

// The screen saver answers a hold with its number, the cookie; the portal with
// the request object it makes for the caller's token, which is closed to let
// go of it. The request object is there from the moment the portal is asked,
// before any answer.
bool InhibitService::handleMessage(const QDBusMessage &call, const QDBusConnection &bus)
{
    const QMutexLocker lock(&m_mutex);
    const QString member = call.member(), runs = QString::number(m_runs());
    const QVariantList in = call.arguments();
    QVariant out;
    if (member == u"Inhibit" && call.interface().endsWith(QLatin1String("portal.Inhibit"))) {
        const uint flags = in.value(1).toUInt();
        const QString what = flags == 12   ? QStringLiteral("sleep")
                             : flags == 13 ? QStringLiteral("shutdown")
                                           : QStringLiteral("flags %1").arg(flags);
        const QVariantMap options = qdbus_cast<QVariantMap>(in.value(2));
        const QString request =
            requestPath(call, options.value(QStringLiteral("handle_token")).toString());
        note(what, options.value(QStringLiteral("reason")).toString(), runs, request);
        const QDBusMessage reply = call.createReply(QVariant::fromValue(QDBusObjectPath(request)));
        if (m_late)
            QTimer::singleShot(kLateAnswerMs, this, [bus, reply] { bus.send(reply); });
        return m_late || bus.send(reply);
    } else if (member == u"Inhibit") {
        note(QStringLiteral("screen"), in.value(1).toString(), runs, QString());
        out = uint(m_holds.size());
    } else if (member == u"Close" || member == u"UnInhibit") {
        const qsizetype hold = member == u"Close" ? m_requests.indexOf(call.path()) + 1
                                                  : qsizetype(in.value(0).toUInt());
        if (hold < 1 || hold > m_holds.size() || !m_holds[hold - 1].endsWith(u'-'))
            return false;
        m_holds[hold - 1] += runs;
    } else {
        return false;
    }
    return bus.send(out.isValid() ? call.createReply(out) : call.createReply());
}

} // namespace brimo::sim
