#include "httprequest.h"

#include <QUrlQuery>

namespace brimo::sim {
namespace {

QString targetWithoutAuthority(const QByteArray &target)
{
    QString text = QString::fromLatin1(target);
    const qsizetype scheme = text.indexOf(QLatin1String("://"));
    if (scheme > 0 && !text.left(scheme).contains(QLatin1Char('/'))) {
        const qsizetype slash = text.indexOf(QLatin1Char('/'), scheme + 3);
        text = slash < 0 ? QStringLiteral("/") : text.mid(slash);
    }
    return text;
}

} // namespace

QString HttpRequest::path() const
{
    const QString text = targetWithoutAuthority(target);
    return QUrl::fromPercentEncoding(text.section(QLatin1Char('?'), 0, 0).toLatin1());
}

QString HttpRequest::queryValue(const QString &key) const
{
    const QString text = targetWithoutAuthority(target);
    const qsizetype mark = text.indexOf(QLatin1Char('?'));
    if (mark < 0)
        return {};
    return QUrlQuery(text.mid(mark + 1)).queryItemValue(key, QUrl::FullyDecoded);
}

qsizetype requestHeadEnd(const QByteArray &buffer)
{
    const qsizetype crlf = buffer.indexOf("\r\n\r\n");
    const qsizetype lf = buffer.indexOf("\n\n");
    if (crlf >= 0 && (lf < 0 || crlf + 1 <= lf))
        return crlf + 4;
    return lf >= 0 ? lf + 2 : -1;
}

bool parseRequestHead(const QByteArray &head, HttpRequest *request)
{
    QList<QByteArray> lines = head.split('\n');
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    while (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    if (lines.isEmpty())
        return false;

    // The target sits between the first and the last blank, so a client that
    // sends a raw space in a parameter value still gets an answer.
    const QByteArray &requestLine = lines.constFirst();
    const qsizetype first = requestLine.indexOf(' ');
    const qsizetype last = requestLine.lastIndexOf(' ');
    if (first <= 0 || last <= first + 1)
        return false;
    HttpRequest parsed;
    parsed.method = requestLine.left(first);
    parsed.target = requestLine.mid(first + 1, last - first - 1);
    parsed.version = requestLine.mid(last + 1);
    const bool targetOk = parsed.target.startsWith('/') || parsed.target.contains("://");
    if (!parsed.version.startsWith("HTTP/1.") || !targetOk)
        return false;

    for (qsizetype i = 0; i < lines.size(); ++i) {
        parsed.head += lines.at(i) + '\n';
        if (i == 0)
            continue;
        const qsizetype colon = lines.at(i).indexOf(':');
        if (colon <= 0)
            return false;
        parsed.headers.append(
            {lines.at(i).left(colon).trimmed(), lines.at(i).mid(colon + 1).trimmed()});
    }
    *request = parsed;
    return true;
}

} // namespace brimo::sim
