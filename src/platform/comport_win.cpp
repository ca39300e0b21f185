#include "platform/comport.h"

namespace brimo {

QString comPortSystemName(int port, const QString &)
{
    return QStringLiteral("COM") + QString::number(port);
}

} // namespace brimo
