#include "benchcommands.h"
#include "monotonic.h"

int runFetch(const QStringList &arguments)
{
    if (arguments.size() != 3)
        return 2;
    const QString systemNumber = arguments[0];
    const int count = arguments[1].toInt();
    BenchService service(benchPlaces(arguments[2]));
    // The utility tests the connection before it downloads, so the network
    // is up by then; the download is timed as the user meets it.
    if (!service.ping()) {
        report("ping_failed", 1);
        return 1;
    }
    for (int run = 0; run < count; ++run) {
        const std::int64_t startNs = monotonicNs();
        const brimo::response answer = service.fetch(systemNumber);
        const std::int64_t endNs = monotonicNs();
        if (!answer.objDF) {
            report("fetch_failed", answer.iResponseCode);
            return 1;
        }
        report("fetch_ms", msBetween(startNs, endNs));
        report("fetch_bytes", answer.objDF->size());
    }
    return 0;
}
