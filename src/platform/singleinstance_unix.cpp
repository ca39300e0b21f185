#include "platform/singleinstance.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace brimo {

SingleInstance::SingleInstance(const QString &lockPath) : m_path(lockPath) {}

SingleInstance::~SingleInstance()
{
    if (m_handle >= 0)
        ::close(static_cast<int>(m_handle));
}

// A lock of the open file (flock), not of the process: the descriptor stays
// open across exec, so every program the utility starts (only ever the flash
// tool) shares it, and the lock goes when the last of them ends. Qt's process
// launcher closes no descriptors of its own accord.
bool SingleInstance::tryLock()
{
    const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT, 0600);
    if (fd < 0)
        return true;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        m_handle = fd;
        return true;
    }
    const int error = errno;
    ::close(fd);
    return error != EWOULDBLOCK;
}

} // namespace brimo
