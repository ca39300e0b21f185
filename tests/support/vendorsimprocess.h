#pragma once

// The stand-in vendor service for a test (see devsimprocess.h), started with
// its images, e.g. {"--image", "AB12CD34:0:0011223344556677"}.

#include "devsimprocess.h"

class VendorSimProcess : public StandInProcess {
public:
    explicit VendorSimProcess(const QStringList &arguments = {})
        : StandInProcess(QStringLiteral("brimo-vendorsim"), arguments, "listening")
    {}

    bool isListening() const { return isReady(); }

    // The next `count` requests the fault concerns get it; "none" clears all.
    bool setFault(const QString &mode, int count = 1) const
    {
        return get(QStringLiteral("/sim/fault?mode=%1&count=%2").arg(mode).arg(count))
            .startsWith("HTTP/1.1 200 ");
    }
    // Request line and headers of each service request so far, one block per
    // request, blocks separated by an empty line.
    QByteArray requests() const { return bodyOf(get(QStringLiteral("/sim/requests"))); }
    // Everything the service sends for a GET of `pathAndQuery`, until it
    // closes the line: status line, headers, body.
    QByteArray get(const QString &pathAndQuery) const
    {
        return exchange(hostPort(), "GET " + pathAndQuery.toLatin1() + " HTTP/1.1\r\nHost: " +
                                        hostPort().toLatin1() + "\r\nConnection: close\r\n\r\n");
    }
    static QByteArray bodyOf(const QByteArray &answer)
    {
        return answer.mid(answer.indexOf("\r\n\r\n") + 4);
    }
};
