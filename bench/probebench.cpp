#include "benchcommands.h"

#include "common/ptyline.h"
#include "device/detect.h"

#include <QTemporaryDir>
#include <chrono>
#include <random>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

constexpr qint16 kPort = 7;
constexpr qint16 kTimeoutSeconds = 3;
const QByteArray kSentence =
    "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";

// One probe; the line carries the sentence from `delay` after the probe
// begins. Returns the time from the first byte sent to the probe's answer.
double answerMs(brimo::SerialPortProbe &probe, brimo::sim::PtyLine &line, Clock::duration delay,
                bool *found)
{
    const Clock::time_point start = Clock::now();
    Clock::time_point sentAt;
    std::thread device([&] {
        std::this_thread::sleep_until(start + delay);
        sentAt = Clock::now();
        line.send(kSentence);
    });
    *found = probe.probePort(kPort, kTimeoutSeconds);
    const Clock::time_point answeredAt = Clock::now();
    device.join();
    return std::chrono::duration<double, std::milli>(answeredAt - sentAt).count();
}

} // namespace

int runProbe(const QStringList &arguments)
{
    if (arguments.size() != 1)
        return 2;
    QTemporaryDir comDir;
    brimo::sim::PtyLine line(comDir.filePath(QStringLiteral("com%1").arg(kPort)));
    QString error;
    if (!line.open(&error))
        return 1;
    brimo::SerialPortProbe probe(comDir.path());

    // The sentence comes well after the port is open, at an instant spread
    // evenly over several of the probe's 100 ms passes.
    std::mt19937 random(20261205);
    std::uniform_int_distribution<int> delayMs(200, 700);
    const int count = arguments[0].toInt();
    for (int run = 0; run < count; ++run) {
        bool found = false;
        const double ms = answerMs(probe, line, std::chrono::milliseconds(delayMs(random)), &found);
        report(found ? "probe_ms" : "probe_missed", ms);
    }
    return 0;
}
