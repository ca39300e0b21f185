#include "device/detect.h"

#include "platform/serialcontrol.h"

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

bool probePort(SerialControl &comm, qint16 port, qint16 timeoutSeconds)
{
    QElapsedTimer clock;
    clock.start();
    // Everything heard so far, so that a prefix split over reads is found.
    QByteArray received;

    if (comm.portOpen())
        comm.setPortOpen(false);
    comm.setCommPort(port);
    comm.setPortOpen(true);

    qint32 elapsed = 0;
    while (elapsed < timeoutSeconds) {
        QCoreApplication::processEvents();
        received += comm.input();
        if (received.contains("$GP")) {
            comm.setPortOpen(false);
            return true;
        }
        elapsed = elapsedSeconds(clock);
        QThread::msleep(kPassPauseMs);
    }
    comm.setPortOpen(false);
    return false;
}

} // namespace brimo
