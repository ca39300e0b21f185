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
    if (fault == Fault::None) {
        m_standing = Fault::None;
        m_queued = Fault::None;
        m_queuedCount = 0;
        return;
    }
    m_queued = fault;
    m_queuedCount = count;
}

Fault FaultPlan::next()
{
    if (m_queuedCount > 0) {
        --m_queuedCount;
        return m_queued;
    }
    return m_standing;
}

} // namespace brimo::sim
