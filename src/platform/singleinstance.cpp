#include "platform/singleinstance.h"

#include <QDir>

namespace brimo {

SingleInstance::SingleInstance(const QString &lockPath) : m_lock(lockPath)
{
    // Only a dead owner makes the lock stale: the utility may run for hours.
    m_lock.setStaleLockTime(0);
}

bool SingleInstance::tryLock()
{
    return m_lock.tryLock(0);
}

QString SingleInstance::defaultLockPath()
{
    const QString named = qEnvironmentVariable("BRIMO_INSTANCE_LOCK");
    if (!named.isEmpty())
        return named;
    return QDir(QDir::tempPath()).filePath(QStringLiteral("brimo-update.lock"));
}

} // namespace brimo
