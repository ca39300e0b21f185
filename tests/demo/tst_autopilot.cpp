#include "apptestfolder.h"
#include "boxanswer.h"
#include "common/srec.h"
#include "devicecheck.h"
#include "devicecontrol.h"
#include "devsimprocess.h"
#include "flashcheck.h"
#include "vendorsimprocess.h"

#include <QtTest>

using namespace brimo::sim;

namespace {

const QByteArray kSystemNumber = "AB12CD34";
const QByteArray kRegend = "7E3A91C4D20B5F68";
constexpr int kFlashSize = 1 << 20;

// The image as the service serves it: the identity record is left blank.
QByteArray servedImage()
{
    static const QByteArray image = makeImage(64 * 1024, QByteArray(16, '\xFF'), 7);
    return image;
}

// What a correct flash leaves: every record written, the identity put back.
QByteArray flashedWith(const QByteArray &image, const QByteArray &identity)
{
    QByteArray flash(kFlashSize, '\xFF');
    for (const QByteArray &line : image.split('\n')) {
        SRecord record;
        if (!parseSRecord(line.trimmed(), &record, nullptr) || record.type != '3')
            continue;
        const QByteArray &data = record.address == kIdentityAddress ? identity : record.data;
        flash.replace(qsizetype(record.address), data.size(), data);
    }
    return flash;
}

QByteArray goodIdentity()
{
    return kSystemNumber + QByteArray::fromHex(kRegend);
}

QByteArray withIdentity(const QByteArray &image, const QByteArray &identity)
{
    QByteArray result;
    for (const QByteArray &line : image.split('\n')) {
        if (line.startsWith("S31500080010"))
            result += formatSRecord('3', kIdentityAddress, identity) + "\r\n";
        else if (!line.isEmpty())
            result += line + '\n';
    }
    return result;
}

// Writes `image` to the device on COM 3 of `comDir` with the stand-in flash tool.
bool flash(const QString &comDir, const QByteArray &image)
{
    const AppTestFolder folder;
    QFile file(folder.workFilePath());
    if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size())
        return false;
    file.close();
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("BRIMO_COM_DIR"), comDir);
    tool.setProcessEnvironment(environment);
    tool.start(folder.toolPath(),
               {folder.workFilePath(), "-b", "57600", "-l", "3", "-o", "0", "-c", "0"});
    return tool.waitForFinished(60000) && tool.exitStatus() == QProcess::NormalExit &&
           tool.exitCode() == 0;
}

} // namespace

class TestAutopilot : public QObject {
    Q_OBJECT
private slots:
    void flashCheckFindsWhatIsWrong_data();
    void flashCheckFindsWhatIsWrong();
    void messageBoxesAreAnsweredAsTheyInstruct_data();
    void messageBoxesAreAnsweredAsTheyInstruct();
    void deviceCheckAcceptsOnlyTheServedImageWithItsIdentity_data();
    void deviceCheckAcceptsOnlyTheServedImageWithItsIdentity();
};

void TestAutopilot::flashCheckFindsWhatIsWrong_data()
{
    QTest::addColumn<QByteArray>("flash");
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<QByteArray>("regend");
    QTest::addColumn<QString>("problem"); // empty: the check passes

    const QByteArray image = servedImage();
    const QByteArray good = flashedWith(image, goodIdentity());
    QTest::newRow("image and identity in place") << good << image << kRegend << QString();
    QTest::newRow("identity left as served")
        << flashedWith(image, QByteArray(16, '\xFF')) << image << kRegend
        << QStringLiteral("identity record: flash at 0x080010 holds ff");
    QTest::newRow("old tail kept")
        << flashedWith(image, kSystemNumber + QByteArray::fromHex("0011223344556677")) << image
        << kRegend << QStringLiteral("identity record: flash at 0x080018 holds 00");
    QTest::newRow("another device's number")
        << flashedWith(image, "ZZ12CD34" + QByteArray::fromHex(kRegend)) << image << kRegend
        << QStringLiteral("identity record: flash at 0x080010 holds 5a");

    QByteArray flipped = good;
    flipped[0x1234] = char(~flipped.at(0x1234));
    QTest::newRow("one data byte differs")
        << flipped << image << kRegend << QStringLiteral("flash at 0x001234 holds");
    QTest::newRow("flash smaller than the image")
        << good.left(0x8000) << image << kRegend << QStringLiteral("lies beyond the flash");
    QTest::newRow("nothing flashed")
        << QByteArray(kFlashSize, '\xFF') << image << kRegend << QStringLiteral("holds ff");

    QByteArray badLine = image;
    const qsizetype second = badLine.indexOf('\n') + 1;
    badLine[second + 12] = badLine.at(second + 12) == '0' ? '1' : '0';
    QTest::newRow("image with a bad checksum")
        << good << badLine << kRegend << QStringLiteral("image line 2: checksum mismatch");
    QByteArray noIdentity;
    for (const QByteArray &line : image.split('\n')) {
        if (!line.startsWith("S31500080010"))
            noIdentity += line + '\n';
    }
    QTest::newRow("image without identity record")
        << good << noIdentity << kRegend << QStringLiteral("no identity record");
    QTest::newRow("REGEND not hexadecimal") << good << image << QByteArray("7E3A91C4D20B5F6X")
                                            << QStringLiteral("no identity to compare");
    QTest::newRow("no REGEND") << good << image << QByteArray() << QStringLiteral("no identity");
    QTest::newRow("empty image") << good << QByteArray() << kRegend
                                 << QStringLiteral("no identity record");
}

void TestAutopilot::flashCheckFindsWhatIsWrong()
{
    QFETCH(QByteArray, flash);
    QFETCH(QByteArray, image);
    QFETCH(QByteArray, regend);
    QFETCH(QString, problem);

    const FlashCheck check = checkFlash(flash, image, kSystemNumber, regend);

    if (problem.isEmpty()) {
        QVERIFY2(check.ok, qPrintable(check.problems.join(QLatin1Char('\n'))));
        QVERIFY(check.problems.isEmpty());
        QVERIFY(check.recordsCompared > 4000); // 64 KiB of text, 16 bytes a record
    } else {
        QVERIFY(!check.ok);
        QVERIFY2(check.problems.join(QLatin1Char('\n')).contains(problem),
                 qPrintable(check.problems.join(QLatin1Char('\n'))));
        QVERIFY(check.problems.size() <= 6);
    }
}

void TestAutopilot::messageBoxesAreAnsweredAsTheyInstruct_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QMessageBox::StandardButtons>("buttons");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QMessageBox::StandardButton>("button");
    QTest::addColumn<bool>("givesUp");

    const QMessageBox::StandardButtons ok = QMessageBox::Ok;
    const QMessageBox::StandardButtons yesNo = QMessageBox::Yes | QMessageBox::No;
    QTest::newRow("read failed: back to NORMAL for the detection")
        << "Unable to detect the Brimo device on Com X, please remove the power, wait 10 "
           "seconds, select NORMAL mode and reinsert the power."
        << ok << "normal" << QMessageBox::Ok << false;
    QTest::newRow("found again: D/L for the next read")
        << "Please remove power to the Brimo device, wait 10 seconds, switch it to the 'D/L' "
           "position and re-apply power."
        << ok << "dl" << QMessageBox::Ok << false;
    QTest::newRow("flash failed: D/L before the retry")
        << "Ready to update the Brimo with the latest updates.\r\n\r\nPlease remove power, wait "
           "10 seconds, ensure the 'D/L' mode is selected and reapply power."
        << ok << "dl" << QMessageBox::Ok << false;
    QTest::newRow("no Internet: acknowledge")
        << "The Brimo update utility could not connect to the Internet to retrieve updates for "
           "your device.\r\n\r\nEnsure that you have connected to the internet and press the "
           "'Update device' button to try again."
        << ok << "" << QMessageBox::Ok << false;
    QTest::newRow("download failed: retry")
        << "Unable to collect database file, please ensure any firewall applications are "
           "configured to allow the Brimo update utility full internet access.\r\n\r\nWould you "
           "like to retry?"
        << yesNo << "" << QMessageBox::Yes << false;
    QTest::newRow("flash gave up")
        << "Communication error. The utility will now shut down.  Please run this update "
           "utility again to perform the update."
        << ok << "" << QMessageBox::Ok << true;
    QTest::newRow("close asked: never terminate")
        << "The Brimo update utility is in the process of updating your device\r\n\r\nTerminate "
           "update process?"
        << yesNo << "" << QMessageBox::No << true;
    QTest::newRow("server's own message")
        << "Unknown system number" << ok << "" << QMessageBox::Ok << false;
}

void TestAutopilot::messageBoxesAreAnsweredAsTheyInstruct()
{
    QFETCH(QString, text);
    QFETCH(QMessageBox::StandardButtons, buttons);
    QFETCH(QString, mode);
    QFETCH(QMessageBox::StandardButton, button);
    QFETCH(bool, givesUp);

    const BoxAnswer answer = answerFor(text, buttons);

    QCOMPARE(answer.deviceMode, mode);
    QCOMPARE(answer.button, button);
    QCOMPARE(answer.givesUp, givesUp);
}

void TestAutopilot::deviceCheckAcceptsOnlyTheServedImageWithItsIdentity_data()
{
    QTest::addColumn<QByteArray>("served");        // the image the service serves for the device
    QTest::addColumn<QList<QByteArray>>("writes"); // what is flashed onto the device, in turn
    QTest::addColumn<bool>("deviceGone");
    QTest::addColumn<QString>("problem"); // empty: the device passes

    const QByteArray image = servedImage();
    const QByteArray updated = withIdentity(image, goodIdentity());
    using Writes = QList<QByteArray>;
    QTest::newRow("served image with the device's identity")
        << image << Writes{updated} << false << QString();
    QTest::newRow("never flashed")
        << image << Writes{} << false << QStringLiteral("counts 0 flash writes");
    QTest::newRow("flashed twice")
        << image << Writes{updated, updated} << false << QStringLiteral("counts 2 flash writes");
    QTest::newRow("served identity left blank")
        << image << Writes{image} << false << QStringLiteral("identity record");
    QTest::newRow("another image")
        << image
        << Writes{withIdentity(makeImage(64 * 1024, QByteArray(16, '\xFF'), 8), goodIdentity())}
        << false << QStringLiteral("the image has");
    QTest::newRow("service does not know the device")
        << QByteArray() << Writes{updated} << false << QStringLiteral("answered 500");
    QTest::newRow("device gone") << image << Writes{updated} << true
                                 << QStringLiteral("gives no status");
}

void TestAutopilot::deviceCheckAcceptsOnlyTheServedImageWithItsIdentity()
{
    QFETCH(QByteArray, served);
    QFETCH(QList<QByteArray>, writes);
    QFETCH(bool, deviceGone);
    QFETCH(QString, problem);

    QTemporaryDir images;
    QStringList serviceArguments = {QStringLiteral("--images"), images.path()};
    if (!served.isEmpty()) {
        QFile srec(images.filePath(QString::fromLatin1(kSystemNumber) + ".srec"));
        QFile regend(images.filePath(QString::fromLatin1(kSystemNumber) + ".regend"));
        QVERIFY(srec.open(QIODevice::WriteOnly) && regend.open(QIODevice::WriteOnly));
        srec.write(served);
        regend.write(kRegend);
    }
    VendorSimProcess service(serviceArguments);
    QVERIFY2(service.isListening(), qPrintable(service.errorString()));
    DevSimProcess device(3, {"--system-number", kSystemNumber, "--mode", "dl"});
    QVERIFY2(device.isReady(), qPrintable(device.errorText()));
    for (const QByteArray &write : writes)
        QVERIFY(flash(device.comDir(), write));
    const QString flashFile = device.flashPath();
    if (deviceGone)
        device.stop();

    const DeviceVerdict verdict = checkDevice(DeviceControl(device.controlPath()), flashFile,
                                              service.hostPort(), kSystemNumber);

    const QString lines = verdict.lines.join(QLatin1Char('\n'));
    if (problem.isEmpty()) {
        QVERIFY2(verdict.ok, qPrintable(lines));
        QVERIFY(lines.contains(QLatin1String("identity AB12CD34 with tail 7E3A91C4D20B5F68")));
    } else {
        QVERIFY(!verdict.ok);
        QVERIFY2(lines.contains(problem), qPrintable(lines));
    }
}

QTEST_GUILESS_MAIN(TestAutopilot)
#include "tst_autopilot.moc"
