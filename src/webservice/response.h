#pragma once

#include <QByteArray>

namespace brimo {

// The record of one answer from the vendor web service.
class response {
public:
    QByteArray strContent;
    QByteArray strBody;
    qint16 iResponseCode = 0;
    QByteArray strRegEnd;
};

} // namespace brimo
