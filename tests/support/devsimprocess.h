#pragma once

// Runs the simulated Brimo device (brimo-devsim) for a test: in a temporary
// COM folder of its own, or in a folder shared with other devices.
//
//     DevSimProcess device(3);                      // DIR/com3, NORMAL, powered
//     qputenv("BRIMO_COM_DIR", device.comDir().toUtf8());
//     QCOMPARE(device.send("mode dl"), QString("ok"));
//     QCOMPARE(device.status().value("system"), QString("AB12CD34"));
//     DevSimProcess second(5, {}, device.comDir()); // another port, same folder
//
// status() keys: mode (normal|dl|camera), power (on|off), system, tail (16 hex
// digits), writes (completed flash writes), records (data records of the last
// write), plugged (yes|no), open (yes|no: a program holds the port open).

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class DevSimProcess {
public:
    // Starts the device for COM `port` with extra brimo-devsim arguments
    // (e.g. {"--system-number", "ZZ99YY88", "--mode", "dl"}). With an empty
    // `comDir` the device gets a temporary folder that lives as long as this object.
    explicit DevSimProcess(int port, const QStringList &arguments = {},
                           const QString &comDir = QString())
        : m_port(port)
    {
        if (comDir.isEmpty()) {
            m_ownDir = std::make_unique<QTemporaryDir>();
            m_comDir = m_ownDir->path();
        } else {
            m_comDir = comDir;
        }
        m_process.setProgram(QStringLiteral(BRIMO_APP_DIR "/brimo-devsim"));
        m_process.setArguments(QStringList{QStringLiteral("--com-dir"), m_comDir,
                                           QStringLiteral("--port"), QString::number(port)} +
                               arguments);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        waitForReady();
    }

    ~DevSimProcess() { stop(); }

    DevSimProcess(const DevSimProcess &) = delete;
    DevSimProcess &operator=(const DevSimProcess &) = delete;

    bool isReady() const { return m_ready; }
    // What went wrong when isReady() is false.
    QString errorText() const { return m_error; }
    int port() const { return m_port; }
    QString comDir() const { return m_comDir; }
    QString linkPath() const
    {
        return QDir(m_comDir).filePath(QStringLiteral("com%1").arg(m_port));
    }
    QString controlPath() const { return linkPath() + QStringLiteral(".ctl"); }
    // The flash file, unless --flash named another.
    QString flashPath() const { return linkPath() + QStringLiteral(".flash"); }
    QProcess &process() { return m_process; }

    // Sends one control command and returns the reply line ("ok", "error ...",
    // or the status line); "error no reply: ..." when the device cannot be reached.
    QString send(const QString &command)
    {
        QLocalSocket socket;
        socket.connectToServer(controlPath());
        if (!socket.waitForConnected(kTimeoutMs))
            return QStringLiteral("error no reply: ") + socket.errorString();
        socket.write(command.toUtf8() + '\n');
        const QDeadlineTimer deadline(kTimeoutMs);
        while (!socket.canReadLine()) {
            if (deadline.hasExpired() ||
                !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
                return QStringLiteral("error no reply: ") + socket.errorString();
        }
        return QString::fromUtf8(socket.readLine()).trimmed();
    }

    QMap<QString, QString> status()
    {
        QMap<QString, QString> values;
        const QStringList pairs = send(QStringLiteral("status")).split(u' ', Qt::SkipEmptyParts);
        for (const QString &pair : pairs) {
            const qsizetype equals = pair.indexOf(u'=');
            if (equals > 0)
                values.insert(pair.left(equals), pair.mid(equals + 1));
        }
        return values;
    }

    // Asks the device to quit and waits; kills it if it does not.
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        if (m_ready)
            send(QStringLiteral("quit"));
        else
            m_process.terminate();
        if (!m_process.waitForFinished(kTimeoutMs)) {
            m_process.kill();
            m_process.waitForFinished(kTimeoutMs);
        }
    }

private:
    static constexpr int kTimeoutMs = 10000;

    void waitForReady()
    {
        const QDeadlineTimer deadline(kTimeoutMs);
        QByteArray output;
        while (!output.contains('\n')) {
            if (deadline.hasExpired() ||
                !m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
                m_error = QStringLiteral("brimo-devsim did not get ready: ") +
                          m_process.errorString() + u' ' + QString::fromUtf8(output);
                return;
            }
            output += m_process.readAllStandardOutput();
        }
        m_ready = output.startsWith("ready ");
        if (!m_ready)
            m_error = QString::fromUtf8(output);
    }

    int m_port = 0;
    std::unique_ptr<QTemporaryDir> m_ownDir;
    QString m_comDir;
    QProcess m_process;
    bool m_ready = false;
    QString m_error;
};
