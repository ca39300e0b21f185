#include "platform/comport.h"

#include <QDir>
#include <QFileInfo>
#include <QtGlobal>

namespace brimo {

namespace {

// Wine keeps its COM port links here; following them means a Windows flash
// tool run under Wine and this program agree on what "COM3" is.
QString comLinkFolder()
{
    const QString comDir = qEnvironmentVariable("BRIMO_COM_DIR");
    if (!comDir.isEmpty())
        return comDir;
    QString prefix = qEnvironmentVariable("WINEPREFIX");
    if (prefix.isEmpty())
        prefix = QDir::homePath() + QStringLiteral("/.wine");
    return prefix + QStringLiteral("/dosdevices");
}

} // namespace

QString comPortSystemName(int port)
{
    const QFileInfo link(comLinkFolder() + QStringLiteral("/com") + QString::number(port));
    if (link.isSymLink())
        return link.symLinkTarget();
    if (link.exists())
        return link.absoluteFilePath();
    return QStringLiteral("/dev/ttyS") + QString::number(port - 1);
}

} // namespace brimo
