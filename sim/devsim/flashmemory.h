#pragma once

#include <QByteArray>
#include <QString>

namespace brimo::sim {

// The device's 1 MiB flash, kept in a file so that it survives restarts.
class FlashMemory {
public:
    // Uses `path` as it is, or creates it: erased (0xFF) except for the
    // identity block, which carries `systemNumber` (8 characters) and `tail`
    // (8 bytes).
    bool open(const QString &path, const QByteArray &systemNumber, const QByteArray &tail,
              QString *error);

    QByteArray read(quint32 address, quint32 length) const;
    const QByteArray &contents() const { return m_contents; }
    // Replaces the whole flash and stores it; the file is replaced in one step.
    bool store(const QByteArray &contents, QString *error);

    QByteArray identityBlock() const;
    QByteArray systemNumber() const; // the 8 bytes at 0x080010
    QByteArray tail() const;         // the 8 bytes at 0x080018
    QString path() const { return m_path; }

    static QByteArray erasedImage(const QByteArray &systemNumber, const QByteArray &tail);

private:
    QString m_path;
    QByteArray m_contents;
};

} // namespace brimo::sim
