#pragma once

#include <QLocalServer>
#include <QString>

#include <functional>

namespace brimo::sim {

// The device's control socket: one command per line, one reply line each.
class ControlServer : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<QString(const QString &command)>;

    ControlServer(Handler handler, QObject *parent = nullptr);
    ~ControlServer() override;

    bool listen(const QString &path, QString *error);
    void close();

    // Sends one command to the socket at `path` and returns the reply line,
    // or an empty string with *error set.
    static QString request(const QString &path, const QString &command, QString *error);

private:
    void accept();

    Handler m_handler;
    QLocalServer m_server;
};

} // namespace brimo::sim
