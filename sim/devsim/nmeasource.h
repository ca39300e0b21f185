#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QTimer>

namespace brimo::sim {

// The GPS receiver's output in NORMAL mode: one fix a second, told in seven
// sentences spread evenly over the second.
class NmeaSource : public QObject {
    Q_OBJECT
public:
    explicit NmeaSource(QObject *parent = nullptr);

    void start();
    void stop();
    bool isRunning() const { return m_timer.isActive(); }

    // "$<body>*hh\r\n" with the XOR checksum of the body.
    static QByteArray sentence(const QByteArray &body);
    // The seven sentences of the fix at `utc`, in the order they are sent.
    static QList<QByteArray> fixSentences(const QDateTime &utc);

signals:
    void sentenceReady(const QByteArray &sentence);

private:
    void sendNext();

    QTimer m_timer;
    QList<QByteArray> m_fix;
    qsizetype m_next = 0;
};

} // namespace brimo::sim
