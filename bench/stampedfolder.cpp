#include "stampedfolder.h"

#include <QDir>
#include <QFile>
#include <QList>

StampedFolder::StampedFolder(const QString &stampTool, const QString &under)
    : m_dir(QDir(under).filePath(QStringLiteral("brimo-bench-XXXXXX")))
{
    m_stampPath = m_dir.filePath(QStringLiteral("flash.stamp"));
    m_valid = m_dir.isValid() &&
              QFile::link(stampTool, m_dir.filePath(QStringLiteral("sirfflashcl.exe")));
    qputenv("BRIMO_BENCH_STAMP", QFile::encodeName(m_stampPath));
}

StampedFolder::Stamp StampedFolder::takeStamp()
{
    QFile file(m_stampPath);
    Stamp stamp;
    if (!file.open(QIODevice::ReadOnly))
        return stamp;
    const QList<QByteArray> fields = file.readAll().simplified().split(' ');
    file.remove();
    if (fields.size() == 2) {
        stamp.startedNs = fields[0].toLongLong();
        stamp.workFileSize = fields[1].toLongLong();
    }
    return stamp;
}
