#pragma once

#include "common/ptyline.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

namespace brimo::sim {

// The simulated Brimo device: its mode switch, its power, its serial line and
// its 1 MiB of flash, kept in a file. In NORMAL mode it sends a GPS fix once a
// second; in D/L mode it answers the flash tool, one text line for each:
//
//     READ 080000 32    ->  DATA 4252494D4F...      (at most 1024 bytes)
//     WRITE             ->  OK                      (a write session begins)
//     S3150000...       ->  (nothing)               each data record of the image
//     COMMIT            ->  OK 32770 | ERR why      (stored only if every record was good)
//
// Anything else gets "ERR unknown command". Every change of mode or power,
// from the control interface or the panel, goes through execute().
class Device : public QObject {
    Q_OBJECT
public:
    static constexpr int kFlashSize = 0x100000;
    static constexpr int kIdentityBlock = 0x080000;

    explicit Device(const QString &linkPath, QObject *parent = nullptr);

    // Takes the flash file as it is, or creates it erased except for the
    // identity block; then opens the line.
    bool start(const QString &flashPath, const QByteArray &systemNumber, const QByteArray &tail,
               QString *error);
    // One control command; the reply line: "ok", "error <why>" or the status.
    QString execute(const QString &command);
    // "mode=dl power=on system=AB12CD34 tail=0011223344556677 writes=0 records=0 open=no"
    QString status() const;
    QString mode() const { return m_mode; }
    bool isPowered() const { return m_powered; }
    QByteArray identityBlock() const { return m_flash.mid(kIdentityBlock, 32); }

signals:
    void changed();
    void quitRequested();

private:
    QString switchTo(const QString &mode, bool powered);
    void apply();
    void sendFix();
    void receive(const QByteArray &bytes);
    QByteArray answer(const QByteArray &line);
    QByteArray read(const QList<QByteArray> &words) const;
    void take(const QByteArray &line);
    QByteArray commit();
    bool store(const QByteArray &flash, QString *error);

    PtyLine m_line;
    QTimer m_nmea;
    QString m_flashPath;
    QByteArray m_flash;
    QString m_mode = QStringLiteral("normal");
    bool m_powered = true;
    QByteArray m_input;                  // the start of a line from the flash tool
    std::optional<QByteArray> m_session; // the flash as the write session has made it so far
    int m_sessionRecords = 0;
    QByteArray m_sessionError;
    int m_writes = 0;
    int m_records = 0; // data records of the last write
};

} // namespace brimo::sim
