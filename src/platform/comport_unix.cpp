#include "platform/comport.h"

#include <QDir>
#include <QFileInfo>
#include <QtGlobal>

namespace brimo {

QString wineDevicesFolder()
{
    const QString prefix = qEnvironmentVariable("WINEPREFIX");
    return (prefix.isEmpty() ? QDir::homePath() + QStringLiteral("/.wine") : prefix) +
           QStringLiteral("/dosdevices");
}

QString comPortSystemName(int port)
{
    // Following Wine's links means a Windows flash tool run under Wine and
    // this program agree on what "COM3" is.
    const QString comDir = qEnvironmentVariable("BRIMO_COM_DIR");
    const QFileInfo link((comDir.isEmpty() ? wineDevicesFolder() : comDir) +
                         QStringLiteral("/com") + QString::number(port));
    if (link.isSymLink())
        return link.symLinkTarget();
    if (link.exists())
        return link.absoluteFilePath();
    return QStringLiteral("/dev/ttyS") + QString::number(port - 1);
}

} // namespace brimo
