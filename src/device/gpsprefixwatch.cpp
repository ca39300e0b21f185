#include "device/gpsprefixwatch.h"

namespace brimo {

bool GpsPrefixWatch::append(const QByteArray &chunk)
{
    m_received.append(chunk);
    return m_received.contains("$GP");
}

} // namespace brimo
