#include "webservice/statuscode.h"

namespace brimo {

qint16 statusCode(const QByteArray &headerText)
{
    const qsizetype space = headerText.indexOf(' ');
    if (space < 0)
        return 0;
    bool ok = false;
    const short code = headerText.mid(space + 1, 3).toShort(&ok);
    return ok ? code : qint16{0};
}

} // namespace brimo
