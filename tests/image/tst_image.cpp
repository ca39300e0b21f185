// What the utility takes for an update image as it arrives, and why it
// refuses one, in the words the log gives.
#include "image/devicefile.h"
#include "image/imagecheck.h"

#include "common/srec.h"

#include <QtTest>

using brimo::sim::formatSRecord;

namespace {

const QByteArray kTail = "0123456789ABCDEF";

// Each record type at its shortest, and a data record of 16 bytes.
const QByteArray kHeader = "S00600004844521B";
const QByteArray kData = "S31500001000000102030405060708090A0B0C0D0E0F62";
const QByteArray kOthers = "S30500001010DA\r\nS1050020ABCD62\r\nS20503000001F6";
const QByteArray kEnd = "S70500000000FA";

QByteArray lines(const QByteArrayList &records, const char *lineEnd = "\r\n")
{
    return records.join(lineEnd) + lineEnd;
}

} // namespace

class TestImage : public QObject {
    Q_OBJECT

private slots:
    void refusesAllButAWholeImage_data();
    void refusesAllButAWholeImage();
    void rewritesOnlyAWholeIdentityRecord();
};

void TestImage::refusesAllButAWholeImage_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<QByteArray>("regEnd");
    QTest::addColumn<QString>("problem");

    const auto row = [](const char *name, const QByteArray &image, const QString &problem,
                        const QByteArray &regEnd = kTail) {
        QTest::newRow(name) << image << regEnd << problem;
    };
    const QString notWhole = QStringLiteral("The update is not a whole image: ");
    const QByteArray image = lines({kHeader, kData, kOthers, kEnd});
    row("CR LF", image, "");
    row("LF, lower-case digits, S8 without a line end",
        lines({kHeader, "S3" + kData.mid(2).toLower(), "S30500001010da"}, "\n") + "S804000000FB",
        "");
    row("S9 after CR LF and LF", kHeader + "\r\n" + kData + "\nS9030000FC\r\n", "");
    row("tail in lower case", image, "", "aabbccddeeff0011");
    row("blank line", lines({kHeader, "", kData, kEnd}), notWhole + "line 2 is not an S-record");
    row("blank line at the end", image + "\r\n",
        notWhole + "line 7 follows its termination record");
    row("record type S4", lines({"S4030000FC", kEnd}), notWhole + "line 1 is not an S-record");
    row("lower-case s", lines({"s9030000FC"}), notWhole + "line 1 is not an S-record");
    row("CR inside a line", lines({kHeader, "S9030000\rFC"}),
        notWhole + "line 2 holds a character that is not a hexadecimal digit");
    row("odd digit at the end", lines({kHeader, kEnd + "G"}),
        notWhole + "line 2 holds a character that is not a hexadecimal digit");
    row("count one too many", lines({"S31600001000000102030405060708090A0B0C0D0E0F62", kEnd}),
        notWhole + "line 1 is not as long as its byte count says");
    row("one digit missing", lines({kHeader, kEnd.left(13)}),
        notWhole + "line 2 is not as long as its byte count says");
    row("S3 count 4", lines({"S304000010EB", kEnd}),
        notWhole + "line 1 is too short for its record type");
    // The device's identity, 0x080010 to 0x08001F, is written by copies of one
    // whole identity record only.
    const QByteArray identity = formatSRecord('3', 0x080010, QByteArray(16, '\xFF'));
    const QByteArray before = formatSRecord('3', 0x080008, "8 bytes.");
    const QByteArray after = formatSRecord('3', 0x080020, "16 bytes of data");
    const QString overwrites = "The update writes over the device's identity: line ";
    row("copies of one identity record, records on either side",
        lines({kHeader, identity, before, identity, after, kEnd}), "");
    row("a later record over its last 8 bytes",
        lines({kHeader, identity, kData, formatSRecord('3', 0x080018, "ZZ99YY88"), kEnd}),
        overwrites + "4");
    row("an S2 record over its first bytes",
        lines({kHeader, formatSRecord('2', 0x08000C, "8 bytes."), kEnd}), overwrites + "2");
    row("half an identity record", lines({kHeader, formatSRecord('3', 0x080010, "8 bytes."), kEnd}),
        overwrites + "2");
    row("two different identity records",
        lines({kHeader, identity, kData, formatSRecord('3', 0x080010, QByteArray(16, 0)), kEnd}),
        "The update holds two different identity records: lines 2 and 4");
    row("tail of 15", image, "The identity tail \"0123456789ABCDE\" is not 16 hexadecimal digits",
        kTail.left(15));
    row("tail of a page", image,
        "The identity tail \"" + kTail + kTail + "\" is not 16 hexadecimal digits",
        kTail.repeated(256));
}

void TestImage::refusesAllButAWholeImage()
{
    QFETCH(QByteArray, image);
    QFETCH(QByteArray, regEnd);
    QFETCH(QString, problem);
    brimo::ImageCheck check;
    check.add(image);
    QCOMPARE(check.finish(regEnd), problem);
}

// The record is written over every copy of the identity record in place;
// anything but a whole record is refused and the image left as it was.
void TestImage::rewritesOnlyAWholeIdentityRecord()
{
    QTemporaryDir folder;
    const QByteArray identity = formatSRecord('3', 0x080010, QByteArray(16, '\xFF'));
    const QByteArray image = lines({kHeader, identity, kData, identity, kEnd});
    brimo::ImageReceiver receiver(folder.path());
    QString problem;
    QVERIFY(receiver.add(image));
    const std::optional<brimo::deviceFile> kept = receiver.finish(kTail, &problem);
    QVERIFY2(kept && kept->hasIdentity(), qPrintable(problem));
    const QByteArray record = formatSRecord('3', 0x080010, "AB12CD34" + QByteArray(8, '\x11'));
    QCOMPARE(kept->rebuildIdentity(record.chopped(1)),
             QString("The identity record to write is not 46 characters long"));
    QFile file(kept->path());
    QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll() == image);
    file.close();
    QCOMPARE(kept->rebuildIdentity(record), QString());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), lines({kHeader, record, kData, record, kEnd}));
}

QTEST_GUILESS_MAIN(TestImage)
#include "tst_image.moc"
