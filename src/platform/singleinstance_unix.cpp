#include "platform/singleinstance.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace brimo {

SingleInstance::SingleInstance(const QString &lockPath) : m_path(lockPath) {}

SingleInstance::~SingleInstance()
{
    if (m_handle >= 0)
        ::close(static_cast<int>(m_handle));
}

// A record lock of the whole file: it is the process's own, so a child started
// meanwhile never holds it, and it goes when the process does.
bool SingleInstance::tryLock()
{
    const int fd =
        ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return true;
    struct flock whole = {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    if (::fcntl(fd, F_SETLK, &whole) == 0) {
        m_handle = fd;
        return true;
    }
    const int error = errno;
    ::close(fd);
    return error != EACCES && error != EAGAIN;
}

} // namespace brimo
