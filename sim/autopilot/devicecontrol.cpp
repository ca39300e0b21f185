#include "devicecontrol.h"

#include <QLocalSocket>

namespace brimo::sim {
namespace {

constexpr int kReplyTimeoutMs = 3000;

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

} // namespace

QString DeviceControl::send(const QString &command, QString *error) const
{
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    if (!socket.waitForConnected(kReplyTimeoutMs)) {
        setError(error, m_socketPath + QStringLiteral(": ") + socket.errorString());
        return {};
    }
    socket.write(command.toUtf8() + '\n');
    socket.flush();
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(kReplyTimeoutMs)) {
            setError(error,
                     QStringLiteral("no reply to '%1': %2").arg(command, socket.errorString()));
            return {};
        }
    }
    return QString::fromUtf8(socket.readLine()).trimmed();
}

bool DeviceControl::command(const QString &command, QString *error) const
{
    QString why;
    const QString reply = send(command, &why);
    if (reply == QLatin1String("ok"))
        return true;
    setError(error,
             reply.isEmpty() ? why : QStringLiteral("'%1' answered '%2'").arg(command, reply));
    return false;
}

QMap<QString, QString> DeviceControl::status(QString *error) const
{
    QMap<QString, QString> pairs;
    const QString reply = send(QStringLiteral("status"), error);
    for (const QString &pair : reply.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const qsizetype eq = pair.indexOf(QLatin1Char('='));
        if (eq > 0)
            pairs.insert(pair.left(eq), pair.mid(eq + 1));
    }
    return pairs;
}

} // namespace brimo::sim
