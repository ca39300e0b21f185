#include "controlserver.h"

#include <QLocalSocket>

namespace brimo::sim {
namespace {

constexpr int kRequestTimeoutMs = 5000;
constexpr qint64 kLongestLine = 4096;

} // namespace

ControlServer::ControlServer(Handler handler, QObject *parent)
    : QObject(parent), m_handler(std::move(handler))
{
    connect(&m_server, &QLocalServer::newConnection, this, &ControlServer::accept);
}

ControlServer::~ControlServer()
{
    close();
}

bool ControlServer::listen(const QString &path, QString *error)
{
    QLocalServer::removeServer(path); // left behind by a device that was killed
    if (!m_server.listen(path)) {
        *error = QStringLiteral("cannot listen on %1: %2").arg(path, m_server.errorString());
        return false;
    }
    return true;
}

void ControlServer::close()
{
    m_server.close();
}

void ControlServer::accept()
{
    while (QLocalSocket *socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine()) {
                const QString command = QString::fromUtf8(socket->readLine()).trimmed();
                socket->write(m_handler(command).toUtf8() + '\n');
                socket->flush();
            }
            if (socket->bytesAvailable() > kLongestLine)
                socket->abort();
        });
    }
}

QString ControlServer::request(const QString &path, const QString &command, QString *error)
{
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(kRequestTimeoutMs)) {
        *error = socket.errorString();
        return QString();
    }
    socket.write(command.toUtf8() + '\n');
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(kRequestTimeoutMs)) {
            *error = QStringLiteral("no reply: ") + socket.errorString();
            return QString();
        }
    }
    return QString::fromUtf8(socket.readLine()).trimmed();
}

} // namespace brimo::sim
