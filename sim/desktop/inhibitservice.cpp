#include "desktop/inhibitservice.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>

namespace brimo::sim {

namespace {

const QString kConnection = QStringLiteral("inhibit stand-in");
const QString kReason = QStringLiteral("Updating the Brimo device");

} // namespace

InhibitService::InhibitService(const QString &services, std::function<int()> runs)
    : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, kConnection)),
      m_runs(std::move(runs)), m_hangs(services.contains(QLatin1String("hangs")))
{
    moveToThread(&m_thread);
    m_thread.start();
    if (services.contains(QLatin1String("portal")))
        m_ready = m_bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop")) &&
                  m_bus.registerVirtualObject(QStringLiteral("/org/freedesktop/portal/desktop"),
                                              this, QDBusConnection::SubPath);
    if (services.contains(QLatin1String("screensaver")) || m_hangs)
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

void InhibitService::note(const QString &what, const QString &reason, const QString &runs)
{
    m_holds << what + (reason == kReason ? QString() : QStringLiteral(" (") + reason + u')') +
                   u' ' + runs + u'-';
}

// A hold is answered with its number: the cookie, or the last part of the
// portal's request object, which is closed to let go of it.
bool InhibitService::handleMessage(const QDBusMessage &call, const QDBusConnection &bus)
{
    const QMutexLocker lock(&m_mutex);
    const QString member = call.member(), runs = QString::number(m_runs());
    const QVariantList in = call.arguments();
    QVariant out;
    if (member == u"Inhibit" && call.interface().endsWith(QLatin1String("portal.Inhibit"))) {
        if (m_hangs)
            return true;
        const uint flags = in.value(1).toUInt();
        const QString what = flags == 12   ? QStringLiteral("sleep")
                             : flags == 13 ? QStringLiteral("shutdown")
                                           : QStringLiteral("flags %1").arg(flags);
        note(what, qdbus_cast<QVariantMap>(in.value(2)).value(QStringLiteral("reason")).toString(),
             runs);
        out = QVariant::fromValue(QDBusObjectPath(call.path() + QStringLiteral("/request/") +
                                                  QString::number(m_holds.size())));
    } else if (member == u"Inhibit") {
        note(QStringLiteral("screen"), in.value(1).toString(), runs);
        out = uint(m_holds.size());
    } else if (member == u"Close" || member == u"UnInhibit") {
        const qsizetype hold = member == u"Close" ? call.path().section(u'/', -1).toInt()
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
