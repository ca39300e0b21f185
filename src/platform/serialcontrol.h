#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSerialPort;

namespace brimo {

// The window's serial communications control. Every operation ignores its
// own failures: opening a missing port leaves it closed, reading a closed port
// gives nothing.
class SerialControl : public QObject {
    Q_OBJECT
public:
    // comFolder: where the COM ports' links are (not on Windows).
    explicit SerialControl(const QString &comFolder, QObject *parent = nullptr);
    ~SerialControl() override;

    // Line settings such as "9600,N,8,1" (speed, parity, data bits, stop bits).
    void setSettings(const QString &settings);

    void setCommPort(qint16 port);
    qint16 commPort() const { return m_commPort; }

    bool portOpen() const;
    void setPortOpen(bool open);

    // Everything received since the previous read, one byte per character.
    QByteArray input();

private:
    void applySettings();
    void closeLostPort();

    QSerialPort *m_serial = nullptr;
    QString m_comFolder;
    QString m_settings = QStringLiteral("9600,N,8,1");
    qint16 m_commPort = 1;
};

} // namespace brimo
