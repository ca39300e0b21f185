#include "benchcommands.h"
#include "monotonic.h"

#include "image/imagecheck.h"

#include <QFile>

int runCheck(const QStringList &arguments)
{
    if (arguments.size() != 3)
        return 2;
    QFile file(arguments[0]);
    if (!file.open(QIODevice::ReadOnly))
        return 1;
    const QByteArray image = file.readAll();
    const QByteArray regEnd = arguments[1].toLatin1();
    for (int run = 0; run < arguments[2].toInt(); ++run) {
        const std::int64_t startNs = monotonicNs();
        brimo::ImageCheck check;
        check.add(image);
        const QString problem = check.finish(regEnd);
        report("check_ms", msBetween(startNs, monotonicNs()));
        if (!problem.isEmpty()) {
            report("check_failed", problem);
            return 1;
        }
    }
    return 0;
}
