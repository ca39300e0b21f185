#include "ui/supportlog.h"

#include <QDir>
#include <QStandardPaths>

namespace brimo {

namespace {

// Only the files this class writes: their names sort as their times do.
const QString kNamePattern = QStringLiteral("update-\?\?\?\?\?\?\?\?-\?\?\?\?\?\?.log");

// Removes all but the newest `kept` log files of the folder.
void removeOldFiles(const QDir &folder, int kept)
{
    const QStringList names = folder.entryList({kNamePattern}, QDir::Files, QDir::Name);
    for (qsizetype i = 0; i + kept < names.size(); ++i)
        QFile::remove(folder.filePath(names.at(i)));
}

} // namespace

QString SupportLog::begin(const QDateTime &start)
{
    m_file.close();
    m_empty = true;
    const QString base = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    const QDir folder(base + QStringLiteral("/logs"));
    if (base.isEmpty() || !folder.mkpath(QStringLiteral(".")))
        return QStringLiteral("This update's log cannot be kept: there is no folder %1")
            .arg(QDir::toNativeSeparators(folder.path()));
    m_file.setFileName(
        folder.filePath(start.toString(QStringLiteral("'update-'yyyyMMdd-HHmmss'.log'"))));
    // Unbuffered: each piece reaches the system as it is written.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return QStringLiteral("This update's log cannot be kept in %1: %2")
            .arg(QDir::toNativeSeparators(m_file.fileName()), m_file.errorString());
    // An update begun within the same second goes on in the same file.
    m_empty = m_file.size() == 0;
    removeOldFiles(folder, kFilesKept);
    return {};
}

void SupportLog::addLine(const QString &line)
{
    write(m_empty ? line : QStringLiteral("\r\n") + line);
    m_empty = false;
}

void SupportLog::append(const QString &text)
{
    write(text);
}

void SupportLog::write(const QString &text)
{
    // A file that fails once is given up: the update goes on without it.
    const QByteArray bytes = text.toUtf8();
    if (m_file.isOpen() && m_file.write(bytes) != bytes.size())
        m_file.close();
}

} // namespace brimo
