#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace brimo::sim {

// The ways the service can misbehave on a request.
enum class Fault {
    None,
    NotFound,    // 404
    Redirect,    // 302 with a Location elsewhere
    Forbidden,   // 403
    ServerError, // 500 with a one-line message
    EmptyBody,   // 200 with nothing in it
    NoRegend,    // 200 image without its REGEND header
    Slow,        // the normal answer, body trickled over several seconds
    Cut,         // the full Content-Length declared, the line closed half-way
    NotHttp,     // a few bytes that are no HTTP at all, then close
    Hang,        // the request is read and never answered
};

// "404", "302", "403", "500", "empty", "noregend", "slow", "cut", "nothttp",
// "hang" and "none".
std::optional<Fault> faultFromName(const QString &name);
QString faultName(Fault fault);
QStringList faultNames();

// Decides the fault for each service request: a queued fault for the next
// N requests wins over the standing one.
class FaultPlan {
public:
    void setStanding(Fault fault) { m_standing = fault; }
    // `none` clears both the queue and the standing fault.
    void queue(Fault fault, int count);
    // The fault for the request that has just arrived; consumes a queued one.
    Fault next();

private:
    Fault m_standing = Fault::None;
    Fault m_queued = Fault::None;
    int m_queuedCount = 0;
};

} // namespace brimo::sim
