#include "platform/singleinstance.h"

#include <QLocalServer>
#include <QLocalSocket>

namespace brimo {

namespace {

constexpr int kReachMs = 2000;

} // namespace

// Beside the lock file, in the user's own folder; on Windows a pipe of the
// user's, which another user cannot open.
QString SingleInstance::beaconName() const
{
#ifdef Q_OS_WIN
    return QStringLiteral("brimo-update");
#else
    return m_path + QStringLiteral(".beacon");
#endif
}

void SingleInstance::answerLaterCopies(std::function<void()> comeForward)
{
    m_beacon = std::make_unique<QLocalServer>();
    m_beacon->setSocketOptions(QLocalServer::UserAccessOption);
    // One a copy that was killed left: while the lock is held nobody else listens.
    QLocalServer::removeServer(beaconName());
    QObject::connect(m_beacon.get(), &QLocalServer::newConnection, m_beacon.get(),
                     [this, comeForward = std::move(comeForward)] {
                         while (QLocalSocket *later = m_beacon->nextPendingConnection()) {
                             later->disconnectFromServer();
                             later->deleteLater();
                             comeForward();
                         }
                     });
    m_beacon->listen(beaconName());
}

bool SingleInstance::askToComeForward()
{
    letOthersComeForward();
    QLocalSocket socket;
    socket.connectToServer(beaconName());
    if (!socket.waitForConnected(kReachMs))
        return socket.error() != QLocalSocket::SocketAccessError;
    socket.disconnectFromServer();
    return true;
}

} // namespace brimo
