#include "faultplan.h"

#include <array>
#include <utility>

namespace brimo::sim {
namespace {

constexpr std::array<std::pair<Fault, const char *>, 11> kNames{{
    {Fault::None, "none"},
    {Fault::NotFound, "404"},
    {Fault::Redirect, "302"},
    {Fault::Forbidden, "403"},
    {Fault::ServerError, "500"},
    {Fault::EmptyBody, "empty"},
    {Fault::NoRegend, "noregend"},
    {Fault::Slow, "slow"},
    {Fault::Cut, "cut"},
    {Fault::NotHttp, "nothttp"},
    {Fault::Hang, "hang"},
}};

} // namespace

std::optional<Fault> faultFromName(const QString &name)
{
    for (const auto &[fault, text] : kNames) {
        if (name == QLatin1String(text))
            return fault;
    }
    return std::nullopt;
}

QString faultName(Fault fault)
{
    for (const auto &[known, text] : kNames) {
        if (known == fault)
            return QLatin1String(text);
    }
    return {};
}

QStringList faultNames()
{
    QStringList names;
    for (const auto &entry : kNames)
        names.append(QLatin1String(entry.second));
    return names;
}

void FaultPlan::queue(Fault fault, int count)
{
    // A test that sets a fault has moved on: what follows is no resend.
    m_broken = BrokenAnswer();
    if (fault == Fault::None) {
        m_standing = Fault::None;
        m_queued = Fault::None;
        m_queuedCount = 0;
        return;
    }
    m_queued = fault;
    m_queuedCount = count;
}

Fault FaultPlan::next(const QByteArray &requestLine, quint64 connection, bool *resend)
{
    *resend = isResend(requestLine);
    Fault fault = m_standing;
    if (*resend) {
        fault = m_broken.fault;
        ++m_broken.resends;
    } else if (m_queuedCount > 0) {
        --m_queuedCount;
        fault = m_queued;
    }
    if (fault == Fault::Cut || fault == Fault::NotHttp) {
        if (!*resend)
            m_broken = BrokenAnswer{fault, requestLine, connection, true, {}, 0};
        m_broken.connection = connection;
        m_broken.open = true;
    }
    return fault;
}

void FaultPlan::closed(quint64 connection)
{
    if (m_broken.connection != connection || !m_broken.open)
        return;
    m_broken.open = false;
    m_broken.sinceClose.start();
}

bool FaultPlan::isResend(const QByteArray &requestLine) const
{
    if (m_broken.fault == Fault::None || m_broken.requestLine != requestLine ||
        m_broken.resends >= kMaxResends)
        return false;
    return m_broken.open || m_broken.sinceClose.elapsed() < kResendWindowMs;
}

} // namespace brimo::sim
