#pragma once

#include <QByteArray>

namespace brimo {

// One block of device data held in memory, one byte per character: first the
// identity dump read from the device, later the update image to flash.
class deviceFile {
public:
    // The 16 hexadecimal digits that complete the identity record after the
    // system number, from the "REGEND" answer header.
    QByteArray strRegEnd;

    void load(const QByteArray &strData, bool bEncrypt = false);
    const QByteArray &getData() const { return m_data; }
    qint32 size() const;
    bool isEncrypted() const { return m_encrypted; }

private:
    bool m_encrypted = false;
    QByteArray m_data;
};

} // namespace brimo
