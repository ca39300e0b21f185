#include "image/devicefile.h"

#include <QDir>

namespace brimo {

namespace {

// A download has a name of its own beside the work file, so that an image
// kept for a retry is never taken for another.
constexpr char kImagePattern[] = "nf-*.download";

// Writes all of a piece: a write cut short by a full disk returns what fitted
// and records no error; only the next write fails with the system's reason.
bool writeAll(QFile &file, const char *data, qint64 size)
{
    for (qint64 done = 0; done < size;) {
        const qint64 written = file.write(data + done, size - done);
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

} // namespace

deviceFile::deviceFile(const QString &path, qint64 size, const QList<qint64> &identityAt)
    : m_path(new QString(path)), m_size(size), m_identityAt(identityAt)
{}

void deviceFile::Remove::operator()(QString *path) const
{
    QFile::remove(*path);
    delete path;
}

QString deviceFile::rebuildIdentity(const QByteArray &record) const
{
    // Anything else would leave a record that does not match its byte count.
    if (record.size() != kIdentityRecordLength)
        return QStringLiteral("The identity record to write is not %1 characters long")
            .arg(kIdentityRecordLength);
    // An image that is gone must never come back as a file of the record alone.
    QFile file(path());
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered | QIODevice::ExistingOnly))
        return file.errorString();
    for (const qint64 at : m_identityAt) {
        if (!file.seek(at) || !writeAll(file, record.constData(), record.size()))
            return file.errorString();
    }
    return {};
}

ImageReceiver::ImageReceiver(const QString &folder)
    : m_file(std::make_unique<QTemporaryFile>(
          QDir(folder).filePath(QString::fromLatin1(kImagePattern).replace(u'*', "XXXXXX"))))
{
    if (!m_file->open())
        m_error = m_file->errorString();
}

bool ImageReceiver::add(QByteArrayView piece)
{
    // A damaged image is refused whole: what follows the damage is not kept.
    if (!m_error.isEmpty() || m_check.failed())
        return m_error.isEmpty();
    m_check.add(piece);
    if (!writeAll(*m_file, piece.data(), piece.size()))
        m_error = m_file->errorString();
    return m_error.isEmpty();
}

std::optional<deviceFile> ImageReceiver::finish(const QByteArray &regEnd, QString *problem)
{
    *problem = m_check.finish(regEnd);
    if (!problem->isEmpty() || !m_error.isEmpty())
        return std::nullopt;
    // A temporary file keeps its handle until it goes, and Windows renames no
    // file that is open: the name alone is kept.
    const qint64 size = m_file->size();
    const QString path = m_file->fileName();
    m_file->setAutoRemove(false);
    m_file.reset();
    deviceFile image(path, size, m_check.identityAt());
    image.strRegEnd = regEnd;
    return image;
}

void removeLeftoverImages(const QString &folder)
{
    const QDir dir(folder);
    for (const QString &name : dir.entryList({QString::fromLatin1(kImagePattern)}, QDir::Files))
        QFile::remove(dir.filePath(name));
}

} // namespace brimo
