#include "benchcommands.h"
#include "stampedfolder.h"

#include "device/device.h"
#include "device/identityrecord.h"
#include "webservice/webservice.h"

#include <QFile>

namespace {

// A line of /proc/self/status such as "VmHWM:  123456 kB", in KiB.
qint64 statusKib(const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).simplified().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Starts the peak (VmHWM) afresh from the present resident size.
bool resetPeak()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

} // namespace

int runMemory(const QStringList &arguments)
{
    if (arguments.size() != 3)
        return 2;
    StampedFolder folder(arguments[1], arguments[2]);
    if (!folder.isValid())
        return 1;
    const brimo::Places places = benchPlaces(folder.path());
    BenchService service(places);
    brimo::device link(places);

    // A first request loads and starts everything the network needs, so the
    // baseline holds it and the peak counts only what the image costs.
    if (!service.ping())
        return 1;
    report("peak_reset", resetPeak() ? 1 : 0);
    report("baseline_kib", statusKib("VmRSS"));
    const brimo::response answer = service.fetch(arguments[0]);
    if (!answer.objDF)
        return 1;
    report("download_peak_kib", statusKib("VmHWM"));
    const QByteArray record =
        brimo::identityRecord(arguments[0].toLatin1(), answer.objDF->strRegEnd);
    const bool flashed = link.uploadData(*answer.objDF, record, QStringLiteral("1")).written;
    report("peak_kib", statusKib("VmHWM"));
    report("image_bytes", answer.objDF->size());
    return flashed && folder.takeStamp().startedNs >= 0 ? 0 : 1;
}
