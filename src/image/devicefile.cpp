#include "image/devicefile.h"

namespace brimo {

void deviceFile::load(const QByteArray &strData, bool bEncrypt)
{
    m_data = strData;
    m_encrypted = bEncrypt;
}

qint32 deviceFile::size() const
{
    return static_cast<qint32>(m_data.size());
}

} // namespace brimo
