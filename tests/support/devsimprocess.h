#pragma once

// Clients of the stand-ins for tests. A stand-in runs from the application
// folder as a child process, says on its first line where it can be reached,
// and is stopped when its client goes out of scope; it never outlives its
// test, however the test ends. Every call blocks, so it works with or without
// an event loop, and bypasses any proxy under test. The device's control
// commands and its status() keys are those of sim/README.md.

#include "childscenario.h"

#include <QDeadlineTimer>
#include <QMap>
#include <QNetworkProxy>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>

class StandInProcess {
public:
    StandInProcess(const QString &program, const QStringList &arguments, const char *readyWord)
    {
        m_process.setProgram(QStringLiteral(BRIMO_APP_DIR "/") + program);
        m_process.setArguments(arguments);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        brimo::test::endWithThisTest(m_process);
        m_process.start();
        const QDeadlineTimer deadline(kTimeoutMs);
        while (!m_process.canReadLine() &&
               m_process.waitForReadyRead(int(deadline.remainingTime()))) {
        }
        const QStringList words = QString::fromUtf8(m_process.readLine()).split(u' ');
        if (words.value(0) == QLatin1String(readyWord))
            m_address = words.constLast().trimmed();
    }
    ~StandInProcess()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(kTimeoutMs))
            m_process.kill();
        m_process.waitForFinished(kTimeoutMs);
    }

    bool isReady() const { return !m_address.isEmpty(); }
    // "127.0.0.1:PORT": the control interface, or the service itself.
    QString hostPort() const { return m_address; }

    // Sends `bytes` to the stand-in at `address` and collects the answer until
    // it closes the line or, with `oneLine`, until the first line is in.
    static QByteArray exchange(const QString &address, const QByteArray &bytes,
                               bool oneLine = false)
    {
        QTcpSocket socket;
        socket.setProxy(QNetworkProxy::NoProxy);
        socket.connectToHost(address.section(u':', 0, 0), address.section(u':', 1).toUShort());
        socket.write(bytes);
        const QDeadlineTimer deadline(kTimeoutMs);
        while (socket.waitForReadyRead(int(deadline.remainingTime())) &&
               !(oneLine && socket.canReadLine())) {
        }
        return oneLine ? socket.readLine().trimmed() : socket.readAll();
    }

private:
    static constexpr int kTimeoutMs = 10000;
    QProcess m_process;
    QString m_address;
};

// The folder of its COM links, a temporary one, goes after the device.
class DevSimProcess : private QTemporaryDir, public StandInProcess {
public:
    // The device for COM `port` with more brimo-devsim arguments (e.g.
    // {"--mode", "dl"}), in a folder of links that lives as long as this object.
    explicit DevSimProcess(int port, const QStringList &arguments = {})
        : StandInProcess(QStringLiteral("brimo-devsim"),
                         QStringList{QStringLiteral("--com-dir"), path(), QStringLiteral("--port"),
                                     QString::number(port)} +
                             arguments,
                         "ready")
    {}

    QString comDir() const { return path(); }

    // One control command; the reply line ("ok", "error ...", the status).
    QString send(const QString &command) const
    {
        return QString::fromUtf8(exchange(hostPort(), command.toUtf8() + '\n', true));
    }
    QMap<QString, QString> status() const
    {
        QMap<QString, QString> values;
        for (const QString &pair : send(QStringLiteral("status")).split(u' '))
            values.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));
        return values;
    }
};
