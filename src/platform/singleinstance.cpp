#include "platform/singleinstance.h"

#include <QDir>
#include <QStandardPaths>

namespace brimo {

QString SingleInstance::defaultLockPath()
{
    const QString named = qEnvironmentVariable("BRIMO_INSTANCE_LOCK");
    if (!named.isEmpty())
        return named;
    const QString lock = QStringLiteral("brimo-update.lock");
#ifdef Q_OS_WIN
    return lock;
#else
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return QDir(runtime).filePath(lock);
    // Beside the settings file: a folder of the user's own, made when missing.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                           QStringLiteral("/brimo");
    QDir().mkpath(folder);
    return QDir(folder).filePath(lock);
#endif
}

} // namespace brimo
