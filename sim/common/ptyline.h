#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <termios.h>

class QSocketNotifier;

namespace brimo::sim {

// The device's end of the serial line: a pseudo-terminal whose other end is
// linked where programs look for the COM port. Bytes go out only while a
// program holds the port open, and what it left unread goes when it closes
// the port: the next program never reads stale data.
class PtyLine : public QObject {
    Q_OBJECT
public:
    explicit PtyLine(QString linkPath, QObject *parent = nullptr);
    ~PtyLine() override;

    // Opens the pseudo-terminal and links it; false with *error if not.
    bool open(QString *error);
    // Removes the link, if it is still ours, and hangs up the line.
    void close();
    bool isHeld() const { return m_held; }
    // The device the link leads to, as the system names it.
    QString slavePath() const { return QString::fromLocal8Bit(m_slavePath); }
    // Sends now; without a program on the other end the bytes are lost, and
    // what does not fit is lost as on an overrun UART.
    void send(const QByteArray &bytes);
    // Drops what is in the line in either direction.
    void discard();
    // The line's settings as the program that holds it set them.
    termios settings() const;

signals:
    void received(const QByteArray &bytes);
    void heldChanged(bool held);

private:
    void checkHolder();
    void readMaster();

    QString m_linkPath;
    QByteArray m_slavePath;
    int m_master = -1;
    bool m_held = false;
    QSocketNotifier *m_reader = nullptr;
    QTimer m_holderPoll;
};

} // namespace brimo::sim
