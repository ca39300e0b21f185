#include "platform/comports_p.h"

#include "platform/comport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace brimo {

namespace {

// A program that keeps to the lock-file convention holds the port while the
// process its lock file names lives ("LCK..ttyUSB0", its process id first).
// Qt's serial port writes such a file too, named after the device as the
// serial control hands it over, in the first of these folders it may write to.
bool lockedByAnother(const QString &device)
{
    QString name = device.startsWith(QLatin1String("/dev/")) ? device.mid(5) : device;
    name = QStringLiteral("/LCK..") + name.replace(u'/', u'_');
    const QStringList folders{"/var/lock",
                              "/etc/locks",
                              "/var/spool/locks",
                              "/var/spool/uucp",
                              "/tmp",
                              "/var/tmp",
                              "/var/lock/lockdev",
                              "/run/lock",
                              QStandardPaths::writableLocation(QStandardPaths::TempLocation)};
    for (const QString &folder : folders) {
        QFile lock(folder + name);
        const qint64 pid =
            lock.open(QIODevice::ReadOnly) ? lock.readLine().trimmed().toLongLong() : 0;
        if (pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM))
            return true;
    }
    return false;
}

} // namespace

std::map<int, QString> systemComPorts(const QString &comFolder)
{
    static const QRegularExpression comName(QStringLiteral("^com([1-9][0-9]{0,5})$"));
    std::map<int, QString> ports;
    const QDir folder(comFolder);
    for (const QFileInfo &link : folder.entryInfoList(QDir::AllEntries | QDir::System)) {
        const QRegularExpressionMatch match = comName.match(link.fileName());
        // A link whose device is gone (an adapter pulled out) is no port.
        if (match.hasMatch() && link.exists()) {
            const int number = match.captured(1).toInt();
            ports[number] = comPortSystemName(number, comFolder);
        }
    }
    return ports;
}

// Qt's serial port answers a busy port and a refused one alike; the system
// does not. A port in exclusive mode (as Qt's serial port holds its ports)
// refuses every other open with EBUSY, but not the superuser's.
ComPortState openState(const QString &systemName)
{
    if (lockedByAnother(systemName))
        return ComPortState::InUse;
    const int fd = ::open(QFile::encodeName(systemName).constData(),
                          O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return ComPortState::Free;
    }
    if (errno == EBUSY)
        return ComPortState::InUse;
    return errno == EACCES || errno == EPERM ? ComPortState::Refused : ComPortState::Missing;
}

} // namespace brimo
