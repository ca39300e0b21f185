#include "platform/comport.h"

#include <QFileInfo>

namespace brimo {

QString comPortSystemName(int port, const QString &comFolder)
{
    // Following Wine's links (the COM folder is Wine's own unless named
    // otherwise) means a Windows flash tool run under Wine and this program
    // agree on what "COM3" is.
    const QFileInfo link(comFolder + QStringLiteral("/com") + QString::number(port));
    if (link.isSymLink())
        return link.symLinkTarget();
    if (link.exists())
        return link.absoluteFilePath();
    return QStringLiteral("/dev/ttyS") + QString::number(port - 1);
}

} // namespace brimo
