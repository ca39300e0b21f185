#include "platform/singleinstance.h"

#include <QDir>

namespace brimo {

QString SingleInstance::defaultLockPath()
{
    const QString named = qEnvironmentVariable("BRIMO_INSTANCE_LOCK");
    if (!named.isEmpty())
        return named;
    return QDir(QDir::tempPath()).filePath(QStringLiteral("brimo-update.lock"));
}

} // namespace brimo
