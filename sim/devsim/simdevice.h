#pragma once

#include "flashmemory.h"
#include "flashresponder.h"
#include "nmeasource.h"
#include "ptyline.h"

#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

namespace brimo::sim {

// The simulated device: its mode switch, power, serial line and flash. Every
// change, from the control socket or the panel, goes through execute().
class SimDevice : public QObject {
    Q_OBJECT
public:
    enum class Mode { Normal, Download, Camera };

    SimDevice(const QString &linkPath, QObject *parent = nullptr);

    bool start(const QString &flashPath, const QByteArray &systemNumber, const QByteArray &tail,
               QString *error);

    // One control command; returns the reply line ("ok", "error <why>" or the status).
    QString execute(const QString &command);
    QList<QPair<QString, QString>> status() const;

    Mode mode() const { return m_mode; }
    bool isPowered() const { return m_powered; }
    const FlashMemory &memory() const { return m_memory; }
    int writes() const { return m_writes; }
    int lastRecords() const { return m_lastRecords; }
    PtyLine &line() { return m_line; }

    static QString modeName(Mode mode);

signals:
    void changed();
    void quitRequested();

private:
    QString setMode(const QString &name);
    QString setPower(const QString &state);
    QString switchTo(Mode mode, bool powered);
    QString plug();
    void applyState();
    void receive(const QByteArray &bytes);
    void flashed(int records);

    PtyLine m_line;
    NmeaSource m_nmea;
    FlashMemory m_memory;
    FlashResponder m_responder{m_memory};
    Mode m_mode = Mode::Normal;
    bool m_powered = true;
    int m_writes = 0;
    int m_lastRecords = 0;
};

} // namespace brimo::sim
