#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <optional>

namespace brimo::sim {

// One image as the service hands it out.
struct ServedImage {
    QByteArray body;
    QByteArray regend;
    bool hasRegend = false;
};

// The images the service knows, by system number: generated at start, or
// read on each request from DIR/SYSNO.srec with DIR/SYSNO.regend beside it.
class ImageStore {
public:
    static constexpr qint64 kDefaultSize = 1024 * 1024;
    static constexpr const char *kDefaultRegend = "0011223344556677";

    void setDirectory(const QString &directory) { m_directory = directory; }
    // "SYSNO[:SIZE[:REGEND]]"; false with the reason in *error for a bad one.
    bool addGenerated(const QString &spec, QString *error);
    std::optional<ServedImage> find(const QString &systemNumber) const;

    // The image for a system number: at least `size` characters, the data a
    // fixed function of the system number, the identity record all 0xFF.
    static QByteArray generate(const QByteArray &systemNumber, qint64 size);

private:
    std::optional<ServedImage> readFromDirectory(const QString &systemNumber) const;

    QString m_directory;
    QHash<QString, ServedImage> m_generated;
};

// Writes `file` with the generated image and, beside it, its .regend file
// (FILE.srec gives FILE.regend, any other name FILE.regend appended).
bool writeImageFiles(const QString &file, const QByteArray &systemNumber, qint64 size,
                     const QByteArray &regend, QString *error);

} // namespace brimo::sim
