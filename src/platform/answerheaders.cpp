#include "platform/answerheaders.h"

namespace brimo {

QByteArray headerText(int status, const QByteArray &reason, const HeaderList &headers)
{
    QByteArray text = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\n";
    for (const auto &[name, value] : headers)
        text += name + ": " + value + "\r\n";
    return text;
}

QByteArray headerValue(const HeaderList &headers, const QByteArray &name)
{
    QByteArray value;
    for (const auto &[headerName, headerValue] : headers) {
        if (headerName.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        if (!value.isEmpty())
            value += ", ";
        value += headerValue;
    }
    return value;
}

} // namespace brimo
