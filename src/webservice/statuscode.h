#pragma once

#include <QByteArray>

namespace brimo {

// The status code of an answer's header text, whose first line is the status
// line ("HTTP/1.1 200 OK"): the three characters after the first space, as a
// number. 0 when the text has no space or those characters are not a number,
// which callers treat as no answer.
qint16 statusCode(const QByteArray &headerText);

} // namespace brimo
