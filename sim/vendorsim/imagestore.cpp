#include "imagestore.h"

#include "common/srec.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>

namespace brimo::sim {
namespace {

// A header value must stay on its line.
bool isHeaderSafe(const QByteArray &text)
{
    return !text.contains('\r') && !text.contains('\n');
}

quint32 seedFor(const QByteArray &systemNumber)
{
    quint32 hash = 2166136261u; // FNV-1a, so each device gets its own data
    for (char c : systemNumber)
        hash = (hash ^ static_cast<quint8>(c)) * 16777619u;
    return hash;
}

QString regendPathFor(const QString &file)
{
    if (file.endsWith(QLatin1String(".srec")))
        return file.left(file.size() - 5) + QLatin1String(".regend");
    return file + QLatin1String(".regend");
}

bool writeWhole(const QString &path, const QByteArray &data, QString *error)
{
    QSaveFile out(path);
    if (out.open(QIODevice::WriteOnly) && out.write(data) == data.size() && out.commit())
        return true;
    *error = QStringLiteral("cannot write %1: %2").arg(path, out.errorString());
    return false;
}

} // namespace

bool ImageStore::addGenerated(const QString &spec, QString *error)
{
    const QStringList parts = spec.split(QLatin1Char(':'));
    const QByteArray systemNumber = parts.at(0).toLatin1();
    const QByteArray regend =
        parts.size() > 2 ? parts.at(2).toLatin1() : QByteArray(kDefaultRegend);
    if (systemNumber.isEmpty() || parts.size() > 3 || !isHeaderSafe(regend)) {
        *error = QStringLiteral("bad image \"%1\": expected SYSNO[:SIZE[:REGEND]]").arg(spec);
        return false;
    }
    qint64 size = kDefaultSize;
    if (parts.size() > 1 && !parts.at(1).isEmpty()) {
        bool ok = false;
        size = parts.at(1).toLongLong(&ok);
        if (!ok || size < 0) {
            *error = QStringLiteral("bad image size \"%1\"").arg(parts.at(1));
            return false;
        }
    }
    ServedImage image;
    image.body = generate(systemNumber, size);
    image.regend = regend;
    image.hasRegend = true;
    m_generated.insert(parts.at(0), image);
    return true;
}

std::optional<ServedImage> ImageStore::find(const QString &systemNumber) const
{
    const auto generated = m_generated.constFind(systemNumber);
    if (generated != m_generated.constEnd())
        return *generated;
    return readFromDirectory(systemNumber);
}

std::optional<ServedImage> ImageStore::readFromDirectory(const QString &systemNumber) const
{
    // Only plain names reach the file system: no way out of the folder.
    static const QRegularExpression plainName(QStringLiteral("^[A-Za-z0-9_-]+$"));
    if (m_directory.isEmpty() || !plainName.match(systemNumber).hasMatch())
        return std::nullopt;
    const QDir dir(m_directory);
    QFile image(dir.filePath(systemNumber + QLatin1String(".srec")));
    if (!image.open(QIODevice::ReadOnly))
        return std::nullopt;
    ServedImage served;
    served.body = image.readAll();
    QFile regend(dir.filePath(systemNumber + QLatin1String(".regend")));
    if (regend.open(QIODevice::ReadOnly)) {
        served.regend = regend.readLine().trimmed();
        served.hasRegend = true;
    }
    return served;
}

QByteArray ImageStore::generate(const QByteArray &systemNumber, qint64 size)
{
    return makeImage(size, QByteArray(16, '\xFF'), seedFor(systemNumber));
}

bool writeImageFiles(const QString &file, const QByteArray &systemNumber, qint64 size,
                     const QByteArray &regend, QString *error)
{
    return writeWhole(file, ImageStore::generate(systemNumber, size), error) &&
           writeWhole(regendPathFor(file), regend + '\n', error);
}

} // namespace brimo::sim
