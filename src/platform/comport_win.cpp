#include "platform/comport.h"

namespace brimo {

QString comPortSystemName(int port)
{
    return QStringLiteral("COM") + QString::number(port);
}

} // namespace brimo
