#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QNetworkProxy>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTcpSocket>
#include <QUrl>

// Runs the stand-in vendor service for one test: starts brimo-vendorsim from
// the application folder with the given arguments, waits until it listens and
// stops it in the destructor. Its log lines go to the test's stderr.
//
// The control calls talk plain HTTP over a blocking socket that bypasses any
// application proxy, so they work with or without an event loop and never
// pass through a proxy under test. Link Qt6::Network.
class VendorSimProcess {
public:
    explicit VendorSimProcess(const QStringList &arguments = {}, int startTimeoutMs = 20000)
    {
        m_process.setProgram(QStringLiteral(BRIMO_APP_DIR "/brimo-vendorsim"));
        m_process.setArguments(arguments);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        const QDeadlineTimer deadline(startTimeoutMs);
        if (!m_process.waitForStarted(startTimeoutMs)) {
            m_error = m_process.errorString();
            return;
        }
        while (!m_process.canReadLine()) {
            if (deadline.hasExpired() ||
                !m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
                m_error = QStringLiteral("brimo-vendorsim did not report listening");
                return;
            }
        }
        const QByteArray line = m_process.readLine().trimmed();
        if (line.startsWith("listening "))
            m_hostPort = QString::fromLatin1(line.mid(10));
        else
            m_error = QStringLiteral("unexpected first line: ") + QString::fromLatin1(line);
    }

    ~VendorSimProcess() { stop(); }

    VendorSimProcess(const VendorSimProcess &) = delete;
    VendorSimProcess &operator=(const VendorSimProcess &) = delete;

    bool isListening() const
    {
        return !m_hostPort.isEmpty() && m_process.state() == QProcess::Running;
    }
    qint64 processId() const { return m_process.processId(); }
    // Why the service is not listening, for QVERIFY2.
    QString errorString() const { return m_error; }

    // "127.0.0.1:PORT", as $BRIMO_SERVICE_HOST wants it.
    QString hostPort() const { return m_hostPort; }
    QString host() const { return m_hostPort.section(QLatin1Char(':'), 0, 0); }
    quint16 port() const
    {
        return static_cast<quint16>(m_hostPort.section(QLatin1Char(':'), 1).toUInt());
    }
    QUrl url(const QString &pathAndQuery) const
    {
        return QUrl(QStringLiteral("http://") + m_hostPort + pathAndQuery);
    }

    // The next `count` service requests get `mode` (404, 302, 403, 500, empty,
    // noregend, slow, cut, nothttp, hang); "none" clears every fault.
    bool setFault(const QString &mode, int count = 1) const
    {
        const QByteArray reply =
            get(QStringLiteral("/sim/fault?mode=%1&count=%2").arg(mode).arg(count));
        return statusOf(reply) == 200;
    }

    // Request line and headers of each service request so far, one block per
    // request, blocks separated by an empty line. `clear` starts a new log.
    QByteArray requests(bool clear = false) const
    {
        return bodyOf(
            get(clear ? QStringLiteral("/sim/requests?clear=1") : QStringLiteral("/sim/requests")));
    }

    // Everything the service sends back for a GET of `pathAndQuery` until it
    // closes the line (or the time-out passes): status line, headers, body.
    QByteArray get(const QString &pathAndQuery, int timeoutMs = 10000) const
    {
        const QByteArray request = "GET " + pathAndQuery.toLatin1() +
                                   " HTTP/1.1\r\nHost: " + m_hostPort.toLatin1() +
                                   "\r\nConnection: close\r\n\r\n";
        return exchange(request, timeoutMs);
    }

    // Sends raw bytes and collects the reply until the service closes.
    QByteArray exchange(const QByteArray &request, int timeoutMs = 10000) const
    {
        QTcpSocket socket;
        socket.setProxy(QNetworkProxy::NoProxy);
        socket.connectToHost(host(), port());
        if (!socket.waitForConnected(timeoutMs))
            return {};
        socket.write(request);
        const QDeadlineTimer deadline(timeoutMs);
        QByteArray reply;
        while (socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
            if (socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
                reply += socket.readAll();
        }
        return reply + socket.readAll();
    }

    static int statusOf(const QByteArray &reply)
    {
        if (!reply.startsWith("HTTP/1."))
            return 0;
        return reply.mid(9, 3).toInt();
    }
    static QByteArray bodyOf(const QByteArray &reply)
    {
        const qsizetype end = reply.indexOf("\r\n\r\n");
        return end < 0 ? QByteArray() : reply.mid(end + 4);
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

private:
    QProcess m_process;
    QString m_hostPort;
    QString m_error;
};
