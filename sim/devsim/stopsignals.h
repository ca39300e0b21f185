#pragma once

#include <QObject>

class QSocketNotifier;

namespace brimo::sim {

// Turns SIGTERM and SIGINT into a signal in the event loop, so the device
// removes its link and socket before it goes.
class StopSignals : public QObject {
    Q_OBJECT
public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

signals:
    void received();

private:
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace brimo::sim
