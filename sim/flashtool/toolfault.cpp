#include "toolfault.h"

#include <QFile>
#include <QSaveFile>

namespace brimo::sim {
namespace {

// The first line of the file; the file keeps the rest, or goes when that is all.
QString takeFirstLine(const QString &path, bool *found)
{
    QFile file(path);
    *found = file.open(QIODevice::ReadOnly);
    if (!*found)
        return QString();
    const QByteArray text = file.readAll();
    file.close();
    const qsizetype end = text.indexOf('\n');
    const QByteArray rest = end < 0 ? QByteArray() : text.mid(end + 1);
    if (rest.trimmed().isEmpty()) {
        QFile::remove(path);
    } else {
        QSaveFile out(path);
        if (out.open(QIODevice::WriteOnly)) {
            out.write(rest);
            out.commit();
        }
    }
    return QString::fromUtf8(text.left(end < 0 ? text.size() : end)).trimmed();
}

} // namespace

ToolFault ToolFault::parse(const QString &line, QString *error)
{
    const QStringList words = line.simplified().split(u' ', Qt::SkipEmptyParts);
    const QString name = words.value(0);
    bool numeric = false;
    const int value = words.value(1).toInt(&numeric);
    if (words.size() == 1) {
        if (name == u"ok")
            return {};
        if (name == u"crash")
            return {Kind::Crash, 0};
        if (name == u"nofile")
            return {Kind::NoFile, 0};
        if (name == u"emptyfile")
            return {Kind::EmptyFile, 0};
    } else if (words.size() == 2 && numeric) {
        if (name == u"exit" && value >= 0 && value <= 255)
            return {Kind::Exit, value};
        if (name == u"delay" && value >= 0)
            return {Kind::Delay, value};
    }
    if (!line.trimmed().isEmpty())
        *error = QStringLiteral("unknown fault \"%1\" ignored").arg(line.trimmed());
    return {};
}

ToolFault takeToolFault(const QString &faultsFile, const QByteArray &environmentValue,
                        QString *error)
{
    bool found = false;
    const QString line = takeFirstLine(faultsFile, &found);
    if (found)
        return ToolFault::parse(line, error);
    return ToolFault::parse(QString::fromUtf8(environmentValue), error);
}

} // namespace brimo::sim
