#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

namespace brimo {

// The headers of one HTTP answer, name and value, in the order they came.
using HeaderList = QList<QPair<QByteArray, QByteArray>>;

// The whole header text of an answer as the transfer control hands it out:
// the status line ("HTTP/1.1 200 OK"), then one "name: value" line per
// header, every line ending in CR LF.
QByteArray headerText(int status, const QByteArray &reason, const HeaderList &headers);

// The value of the headers named `name`, in any case; several of them are
// joined by ", ". Empty when the answer has none.
QByteArray headerValue(const HeaderList &headers, const QByteArray &name);

} // namespace brimo
