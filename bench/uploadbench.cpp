#include "benchcommands.h"
#include "monotonic.h"
#include "quietwindow.h"
#include "stampedfolder.h"

#include "device/device.h"
#include "device/identityrecord.h"
#include "platform/commandrunner.h"

#include <QByteArrayMatcher>
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
bool timeUpload(brimo::device &link, StampedFolder &folder)
{
    const std::int64_t startNs = monotonicNs();
    link.uploadData();
    const StampedFolder::Stamp stamp = folder.takeStamp();
    if (stamp.startedNs < 0 || stamp.workFileSize != link.objDF.getData().size())
        return false;
    report("upload_ms", msBetween(startNs, stamp.startedNs));
    return true;
}

void timeRewrite(const brimo::device &link)
{
    const std::int64_t startNs = monotonicNs();
    const brimo::IdentityRewrite rewrite = brimo::rewriteIdentity(
        link.objDF.getData(), link.SystemNumber().toLatin1(), link.objDF.strRegEnd);
    report("rewrite_ms", msBetween(startNs, monotonicNs()));
    if (!rewrite.error.isEmpty())
        report("rewrite_failed", rewrite.error);
}

// The other way of writing the work file, for comparison: straight from the
// container's image with every copy of the identity record replaced on the
// way, so there is no copy of the image and no wait for the disk.
bool writeInSlices(const QByteArray &image, const QByteArray &newRecord, const QString &path)
{
    const qsizetype first = image.indexOf(brimo::kIdentityRecordStart);
    const QByteArray oldRecord = image.mid(first, brimo::kIdentityRecordLength);
    const QByteArrayMatcher matcher(oldRecord);
    QFile file(path);
    if (first < 0 || !file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    qsizetype from = 0;
    for (qsizetype hit = first; hit >= 0; hit = matcher.indexIn(image, from)) {
        file.write(image.constData() + from, hit - from);
        file.write(newRecord);
        from = hit + oldRecord.size();
    }
    file.write(image.constData() + from, image.size() - from);
    return file.flush();
}

// -1 when the file written in slices differs from what the real path writes.
double slicedWriteMs(const brimo::device &link, const QString &path)
{
    const QByteArray &image = link.objDF.getData();
    const QByteArray systemNumber = link.SystemNumber().toLatin1();
    const std::int64_t startNs = monotonicNs();
    const bool written =
        writeInSlices(image, brimo::identityRecord(systemNumber, link.objDF.strRegEnd), path);
    const double ms = msBetween(startNs, monotonicNs());
    QFile file(path);
    const bool same =
        written && file.open(QIODevice::ReadOnly) &&
        file.readAll() == brimo::rewriteIdentity(image, systemNumber, link.objDF.strRegEnd).image;
    file.remove();
    return same ? ms : -1;
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
    const qint16 comPortNumber = 1;
    brimo::device link(window, comPortNumber, folder.path());
    link.objDF.strRegEnd = arguments[1].toLatin1();
    link.objDF.load(image, true);
    link.SystemNumber(arguments[2]);
    // By the time the utility flashes, the identity read has already started
    // the tool once: process start-up is warm.
    spawnMs(folder);
    for (int run = 0; run < count; ++run) {
        if (!timeUpload(link, folder))
            return 1;
        timeRewrite(link);
        report("spawn_ms", spawnMs(folder));
        report("sliced_ms", slicedWriteMs(link, link.workFilePath()));
    }
    return 0;
}
