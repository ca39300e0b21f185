#include "benchcommands.h"
#include "monotonic.h"
#include "stampedfolder.h"

#include "device/device.h"
#include "device/identityrecord.h"
#include "image/devicefile.h"
#include "platform/commandrunner.h"

#include <QFile>

#include <optional>

namespace {

// The image file as the web service keeps a download: received into the
// application folder, a piece at a time.
std::optional<brimo::deviceFile> received(const QString &path, const QByteArray &regEnd,
                                          const QString &folder)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    brimo::ImageReceiver receiver(folder);
    QByteArray piece(256 * 1024, Qt::Uninitialized);
    for (qint64 read; (read = file.read(piece.data(), piece.size())) > 0;) {
        if (!receiver.add(QByteArrayView(piece.constData(), read)))
            return std::nullopt;
    }
    QString problem;
    return receiver.finish(regEnd, &problem);
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

// One flash of a downloaded image up to the instant the tool starts; false
// when the tool did not run or found a work file of another size than the
// image.
bool timeUpload(brimo::device &link, const brimo::deviceFile &image, const QString &systemNumber,
                StampedFolder &folder)
{
    const std::int64_t startNs = monotonicNs();
    link.uploadData(image, brimo::identityRecord(systemNumber.toLatin1(), image.strRegEnd),
                    QStringLiteral("1"));
    const StampedFolder::Stamp stamp = folder.takeStamp();
    if (stamp.startedNs < 0 || stamp.workFileSize != image.size())
        return false;
    report("upload_ms", msBetween(startNs, stamp.startedNs));
    return true;
}

} // namespace

int runUpload(const QStringList &arguments)
{
    if (arguments.size() != 6)
        return 2;
    const int count = arguments[3].toInt();
    StampedFolder folder(arguments[4], arguments[5]);
    if (!folder.isValid())
        return 1;

    brimo::device link(benchPlaces(folder.path()));
    // By the time the utility flashes, the identity read has already run the
    // tool once, the PC kept awake meanwhile: all that is warm.
    link.downloadData(1);
    folder.takeStamp();
    for (int run = 0; run < count; ++run) {
        // A flash takes the image with it: each run has a download of its own.
        const std::optional<brimo::deviceFile> image =
            received(arguments[0], arguments[1].toLatin1(), folder.path());
        if (!image || !timeUpload(link, *image, arguments[2], folder))
            return 1;
        report("spawn_ms", spawnMs(folder));
    }
    return 0;
}
