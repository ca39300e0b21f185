#include "device/detect.h"

#include "device/devicefacts.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <cmath>

namespace brimo {

namespace {

constexpr unsigned long kPassPauseMs = 100;

// Whole seconds since the probe began, halves to even. Counting from the
// probe's own start on a monotonic clock keeps a probe at midnight or across a
// clock change as long as any other; the rounding makes a probe listen about
// half a second less than its time-out, so a time-out of 1 may end after a
// handful of passes and one of 3 after about two and a half seconds.
qint32 elapsedSeconds(const QElapsedTimer &clock)
{
    const double seconds = static_cast<double>(clock.elapsed()) / 1000.0;
    return static_cast<qint32>(std::nearbyint(seconds));
}

} // namespace

SerialPortProbe::SerialPortProbe(const QString &comFolder)
    : m_comFolder(comFolder), MSComm1(comFolder)
{
    MSComm1.setSettings(QLatin1String(kLineSettings));
}

bool SerialPortProbe::probePort(qint16 port, qint16 timeoutSeconds)
{
    QElapsedTimer clock;
    clock.start();
    m_cancelled = false;
    // Everything heard so far, so that a prefix split over reads is found.
    QByteArray received;

    // The port is closed on every return, so it is closed now.
    MSComm1.setCommPort(port);
    MSComm1.setPortOpen(true);

    qint32 elapsed = 0;
    bool heard = false;
    while (elapsed < timeoutSeconds && !heard && !m_cancelled) {
        QCoreApplication::processEvents();
        received += MSComm1.input();
        heard = received.contains(kNmeaPrefix) && !m_cancelled;
        elapsed = elapsedSeconds(clock);
        if (!heard && !m_cancelled)
            QThread::msleep(kPassPauseMs);
    }
    MSComm1.setPortOpen(false);
    return heard;
}

} // namespace brimo
