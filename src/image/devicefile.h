#pragma once

#include <QByteArray>

namespace brimo {

// An update image as the web service delivered it, one byte per character,
// with the identity tail that came with it.
class deviceFile {
public:
    deviceFile(const QByteArray &strData, const QByteArray &regEnd)
        : strRegEnd(regEnd), m_data(strData)
    {}

    // The 16 hexadecimal digits that complete the identity record after the
    // system number, from the "REGEND" answer header.
    QByteArray strRegEnd;

    const QByteArray &getData() const { return m_data; }
    qint64 size() const { return m_data.size(); }

private:
    QByteArray m_data;
};

} // namespace brimo
