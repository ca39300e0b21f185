#pragma once

#include "image/imagecheck.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryFile>

#include <memory>
#include <optional>

namespace brimo {

// An update image that came whole, kept in a file of its own beside the work
// file from its download to its flash; the file goes with the object. The
// image is never held in memory.
class deviceFile {
public:
    // The 16 hexadecimal digits that complete the identity record after the
    // system number, from the "REGEND" answer header.
    QByteArray strRegEnd;

    QString path() const { return *m_path; }
    qint64 size() const { return m_size; }
    // Whether the image carries an identity record for the device's own.
    bool hasIdentity() const { return !m_identityAt.isEmpty(); }
    // Writes the record over every copy of the image's identity record, in
    // place: both are 46 characters. The failure's words, or the empty text.
    QString rebuildIdentity(const QByteArray &record) const;

private:
    friend class ImageReceiver;
    deviceFile(const QString &path, qint64 size, const QList<qint64> &identityAt);

    // Removes the file with the last owner of its name.
    struct Remove {
        void operator()(QString *path) const;
    };
    std::unique_ptr<QString, Remove> m_path;
    qint64 m_size = 0;
    QList<qint64> m_identityAt;
};

// Receives an update image as it arrives: each piece written to the image's
// file and checked on the way. The file is removed unless it becomes a
// deviceFile.
class ImageReceiver {
public:
    // folder: where the work file goes.
    explicit ImageReceiver(const QString &folder);

    // False when the piece could not be written; error() says why.
    bool add(QByteArrayView piece);
    QString error() const { return m_error; }
    // The image, when the text was whole with this identity tail; otherwise
    // nothing, and *problem says why.
    std::optional<deviceFile> finish(const QByteArray &regEnd, QString *problem);

private:
    std::unique_ptr<QTemporaryFile> m_file;
    QString m_error;
    ImageCheck m_check;
};

// Removes what an earlier run that ended before it could left of a download
// in the folder where the work file goes.
void removeLeftoverImages(const QString &folder);

} // namespace brimo
