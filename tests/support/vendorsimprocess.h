#pragma once

// The stand-in vendor service for a test (see devsimprocess.h):
//
//     VendorSimProcess service({"--image", "AB12CD34:0:0011223344556677"});
//     qputenv("BRIMO_SERVICE_HOST", service.hostPort().toUtf8());
//     QVERIFY(service.setFault("badrecord"));  // the next download
//     const QByteArray seen = service.requests(); // the heads of what came in

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
        return setFault(hostPort(), mode, count);
    }
    // The same through the service's address alone, as a child of a test knows it.
    static bool setFault(const QString &address, const QString &mode, int count)
    {
        return get(address, QStringLiteral("/sim/fault?mode=%1&count=%2").arg(mode).arg(count))
            .startsWith("HTTP/1.1 200 ");
    }
    // Request line and headers of each service request so far, one block per
    // request, blocks separated by an empty line. `clear` starts a new log.
    QByteArray requests(bool clear = false) const
    {
        return bodyOf(
            get(clear ? QStringLiteral("/sim/requests?clear=1") : QStringLiteral("/sim/requests")));
    }
    // Everything the service sends for a GET of `pathAndQuery`, until it
    // closes the line: status line, headers, body.
    QByteArray get(const QString &pathAndQuery) const { return get(hostPort(), pathAndQuery); }
    static QByteArray get(const QString &address, const QString &pathAndQuery)
    {
        return exchange(address, "GET " + pathAndQuery.toLatin1() + " HTTP/1.1\r\nHost: " +
                                     address.toLatin1() + "\r\nConnection: close\r\n\r\n");
    }
    static QByteArray bodyOf(const QByteArray &answer)
    {
        return answer.mid(answer.indexOf("\r\n\r\n") + 4);
    }
};
