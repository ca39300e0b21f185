#include "platform/singleinstance.h"

#include <QFile>
#include <QLocalServer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace brimo {

SingleInstance::SingleInstance(const QString &lockPath) : m_path(lockPath) {}

// Any program may take the foreground when its window comes up.
void SingleInstance::letOthersComeForward() {}

SingleInstance::~SingleInstance()
{
    if (m_handle >= 0)
        ::close(static_cast<int>(m_handle));
}

// A lock of the open file (flock), not of the process. The descriptor is
// closed in every program this one starts, but for the flash tool, to which
// runHidden() hands it on: the lock goes when the last of them ends.
SingleInstance::Lock SingleInstance::tryLock()
{
    const int fd =
        ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        m_error = m_path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
        return Lock::Unavailable;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        m_handle = fd;
        return Lock::Taken;
    }
    const int error = errno;
    ::close(fd);
    if (error == EWOULDBLOCK)
        return Lock::Held;
    m_error = m_path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
    return Lock::Unavailable;
}

} // namespace brimo
