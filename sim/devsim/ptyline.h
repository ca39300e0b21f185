#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

class QSocketNotifier;

namespace brimo::sim {

// The device's end of the serial line: a pseudo-terminal whose other end is
// linked where the programs look for the COM port. Output is delivered only
// while a program holds the port open; nothing waits in the line for the next
// program to open it.
class PtyLine : public QObject {
    Q_OBJECT
public:
    explicit PtyLine(const QString &linkPath, QObject *parent = nullptr);
    ~PtyLine() override;

    // Opens a fresh pseudo-terminal and links it; false with *error if not.
    bool plug(QString *error);
    // As a pulled adapter: the program holding the port sees it hang up.
    void unplug();
    bool isPlugged() const { return m_master >= 0; }
    bool isHeld() const { return m_held; }
    QString linkPath() const { return m_linkPath; }

    // Sends now, or drops the bytes when no program holds the port.
    void send(const QByteArray &bytes);
    // Drops whatever was sent but not yet read by the program.
    void discard();

signals:
    void received(const QByteArray &bytes);
    void heldChanged(bool held);

private:
    int openPseudoTerminal(QString *error);
    bool linkTo(const QByteArray &target, QString *error);
    void checkHolder();
    bool slaveHungUp() const;
    void readMaster();
    void writePending();
    void flushSlaveInput();
    void setNotifiers();
    void removeLink();

    QString m_linkPath;
    QByteArray m_slavePath;
    int m_master = -1;
    bool m_held = false;
    QByteArray m_outgoing;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QTimer m_holderTimer;
};

} // namespace brimo::sim
