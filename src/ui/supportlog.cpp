#include "ui/supportlog.h"

#include <QDir>
#include <QStandardPaths>
#include <algorithm>
#include <tuple>

namespace brimo {

namespace {

// Only the files this class writes.
const QString kNamePattern = QStringLiteral("update-\?\?\?\?\?\?\?\?-\?\?\?\?\?\?.log");

// Oldest first by modification time. A file dated ahead of the clock was
// written while the clock ran ahead: it is older than anything written since
// the clock was put right.
bool olderThan(const QFileInfo &a, const QFileInfo &b, const QDateTime &now)
{
    const auto age = [&now](const QFileInfo &file) {
        const QDateTime time = file.lastModified();
        return std::make_tuple(time <= now, time, file.fileName());
    };
    return age(a) < age(b);
}

// Removes all but the newest `kept` log files of the folder, never `inUse`.
void removeOldFiles(const QDir &folder, const QString &inUse, int kept)
{
    QFileInfoList files = folder.entryInfoList({kNamePattern}, QDir::Files);
    const qsizetype excess = files.size() - kept;
    files.removeIf([&inUse](const QFileInfo &file) { return file.fileName() == inUse; });
    const QDateTime now = QDateTime::currentDateTime();
    std::sort(files.begin(), files.end(),
              [&now](const QFileInfo &a, const QFileInfo &b) { return olderThan(a, b, now); });
    for (qsizetype i = 0; i < excess && i < files.size(); ++i)
        QFile::remove(files.at(i).filePath());
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
    // The logs name the PC's ports and its proxy: for the user's eyes only. On
    // Windows this changes nothing: the user's own data folder is private there.
    QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString name = start.toString(QStringLiteral("'update-'yyyyMMdd-HHmmss'.log'"));
    m_file.setFileName(folder.filePath(name));
    // Unbuffered: each piece reaches the system as it is written.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return QStringLiteral("This update's log cannot be kept in %1: %2")
            .arg(QDir::toNativeSeparators(m_file.fileName()), m_file.errorString());
    m_file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    // An update begun within the same second goes on in the same file.
    m_empty = m_file.size() == 0;
    removeOldFiles(folder, name, kFilesKept);
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
