#pragma once

#include <QMap>
#include <QString>

namespace brimo::sim {

// Client of the simulated device's control socket: one command, one reply line.
class DeviceControl {
public:
    explicit DeviceControl(QString socketPath) : m_socketPath(std::move(socketPath)) {}

    // The device's reply ("ok", "error ...", or the status line); on a
    // connection failure the empty text, with the reason in *error.
    QString send(const QString &command, QString *error = nullptr) const;
    // Sends a command that must answer "ok"; false with the reason otherwise.
    bool command(const QString &command, QString *error = nullptr) const;
    // The key=value pairs of `status`; empty when the device does not answer.
    QMap<QString, QString> status(QString *error = nullptr) const;

    const QString &socketPath() const { return m_socketPath; }

private:
    QString m_socketPath;
};

} // namespace brimo::sim
