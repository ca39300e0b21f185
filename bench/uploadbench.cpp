#include "benchcommands.h"
#include "monotonic.h"
#include "quietwindow.h"
#include "stampedfolder.h"

#include "device/device.h"
#include "device/identityrecord.h"
#include "platform/commandrunner.h"

#include <QFile>

namespace {

QByteArray readImage(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The cost of starting a program and seeing it run, which the flash run
// below includes once: the stamp tool started the way the device link starts
// the flash tool.
double spawnMs(StampedFolder &folder)
{
    const QString tool = folder.path() + QStringLiteral("/sirfflashcl.exe");
    const std::int64_t startNs = monotonicNs();
    brimo::runHidden(QLatin1Char('"') + tool + QStringLiteral("\" /dev/null"));
    return msBetween(startNs, folder.takeStamp().startedNs);
}

// One flash of the loaded image up to the instant the tool starts; false when
// the tool did not run or found a work file of another size than the image.
bool timeUpload(brimo::device &link, const brimo::deviceFile &image, const QString &systemNumber,
                StampedFolder &folder)
{
    const std::int64_t startNs = monotonicNs();
    link.uploadData(image, systemNumber, QStringLiteral("1"));
    const StampedFolder::Stamp stamp = folder.takeStamp();
    if (stamp.startedNs < 0 || stamp.workFileSize != image.size())
        return false;
    report("upload_ms", msBetween(startNs, stamp.startedNs));
    return true;
}

void timeRewrite(const brimo::deviceFile &image, const QString &systemNumber)
{
    const std::int64_t startNs = monotonicNs();
    const brimo::IdentityRewrite rewrite =
        brimo::rewriteIdentity(image.getData(), systemNumber.toLatin1(), image.strRegEnd);
    report("rewrite_ms", msBetween(startNs, monotonicNs()));
    if (!rewrite.error.isEmpty())
        report("rewrite_failed", rewrite.error);
}

} // namespace

int runUpload(const QStringList &arguments)
{
    if (arguments.size() != 6)
        return 2;
    const QByteArray image = readImage(arguments[0]);
    const int count = arguments[3].toInt();
    StampedFolder folder(arguments[4], arguments[5]);
    if (image.isEmpty() || !folder.isValid())
        return 1;

    QuietWindow window;
    brimo::device link(window, folder.path());
    const brimo::deviceFile objDF(image, arguments[1].toLatin1());
    // By the time the utility flashes, the identity read has already started
    // the tool once: process start-up is warm.
    spawnMs(folder);
    for (int run = 0; run < count; ++run) {
        if (!timeUpload(link, objDF, arguments[2], folder))
            return 1;
        timeRewrite(objDF, arguments[2]);
        report("spawn_ms", spawnMs(folder));
    }
    return 0;
}
