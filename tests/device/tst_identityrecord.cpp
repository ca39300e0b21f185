#include "device/identityrecord.h"

#include "common/srec.h"

#include <QtTest>

using namespace brimo;

namespace {

const QByteArray kZeros8 = "00000000";
const QByteArray kZeros16 = "0000000000000000";

// An image with the delivered identity record (16 bytes of 0xFF) between two
// ordinary data lines, as the vendor serves it.
QByteArray imageWithRecord(int copies = 1)
{
    const QByteArray before = sim::formatSRecord('3', 0x00080000, QByteArray(16, 'a')) + "\r\n";
    const QByteArray record = sim::formatSRecord('3', 0x00080010, QByteArray(16, '\xFF')) + "\r\n";
    const QByteArray after = sim::formatSRecord('3', 0x00080020, QByteArray(16, 'b')) + "\r\n";
    QByteArray image = before;
    for (int i = 0; i < copies; ++i)
        image += record + after;
    return image;
}

} // namespace

class TestIdentityRecord : public QObject {
    Q_OBJECT

private slots:
    void recordOfZerosHasChecksum52();
    void recordIsAValidSRecordCarryingTheIdentity_data();
    void recordIsAValidSRecordCarryingTheIdentity();
    void identityThatDoesNotFitIsRefused_data();
    void identityThatDoesNotFitIsRefused();
    void rewriteReplacesEveryCopyAndNothingElse();
    void rewriteNeedsTheRecordInUpperCase_data();
    void rewriteNeedsTheRecordInUpperCase();
    void recordCutShortAtTheEndIsReplacedWhole();
};

void TestIdentityRecord::recordOfZerosHasChecksum52()
{
    const QByteArray record = identityRecord(kZeros8, kZeros16);
    QCOMPARE(record, "S31500080010" + QByteArray("30").repeated(8) + kZeros16 + "52");
    QCOMPARE(record.size(), kIdentityRecordLength);
}

void TestIdentityRecord::recordIsAValidSRecordCarryingTheIdentity_data()
{
    QTest::addColumn<QByteArray>("systemNumber");
    QTest::addColumn<QByteArray>("regEnd");

    QTest::newRow("letters and digits") << QByteArray("AB12CD34") << QByteArray("0011223344556677");
    QTest::newRow("high tail") << QByteArray("ZZZZZZZZ") << QByteArray("FFFFFFFFFFFFFFFF");
    QTest::newRow("lower-case tail kept")
        << QByteArray("12345678") << QByteArray("a1b2c3d4e5f60718");
    QTest::newRow("Latin-1 characters")
        << QByteArray("\xE9\xFF\x80 -_./") << QByteArray("8899AABBCCDDEEFF");
}

void TestIdentityRecord::recordIsAValidSRecordCarryingTheIdentity()
{
    QFETCH(QByteArray, systemNumber);
    QFETCH(QByteArray, regEnd);

    const QByteArray record = identityRecord(systemNumber, regEnd);
    QCOMPARE(record.size(), kIdentityRecordLength);
    QVERIFY(record.startsWith(kIdentityRecordStart));
    QVERIFY(record.contains(regEnd));

    sim::SRecord parsed;
    QString error;
    QVERIFY2(sim::parseSRecord(record, &parsed, &error), qPrintable(error));
    QCOMPARE(parsed.address, sim::kIdentityAddress);
    QCOMPARE(parsed.data, systemNumber + QByteArray::fromHex(regEnd));
}

void TestIdentityRecord::identityThatDoesNotFitIsRefused_data()
{
    QTest::addColumn<QByteArray>("systemNumber");
    QTest::addColumn<QByteArray>("regEnd");
    QTest::addColumn<QString>("named");

    QTest::newRow("system number of 7") << QByteArray("AB12CD3") << kZeros16 << "AB12CD3";
    QTest::newRow("system number of 9") << QByteArray("AB12CD345") << kZeros16 << "AB12CD345";
    QTest::newRow("empty system number") << QByteArray() << kZeros16 << "8 characters";
    QTest::newRow("no tail") << kZeros8 << QByteArray() << "REGEND";
    QTest::newRow("tail of 15") << kZeros8 << QByteArray(15, '0') << QString(15, QLatin1Char('0'));
    QTest::newRow("tail of 17") << kZeros8 << QByteArray(17, '0') << "hexadecimal";
    QTest::newRow("tail not hexadecimal") << kZeros8 << QByteArray("00112233445566GG") << "GG";
    QTest::newRow("tail with a blank")
        << kZeros8 << QByteArray("0011223344 55667") << "hexadecimal";
}

void TestIdentityRecord::identityThatDoesNotFitIsRefused()
{
    QFETCH(QByteArray, systemNumber);
    QFETCH(QByteArray, regEnd);
    QFETCH(QString, named);

    QVERIFY(identityRecord(systemNumber, regEnd).isEmpty());
    const IdentityRewrite rewrite = rewriteIdentity(imageWithRecord(), systemNumber, regEnd);
    QVERIFY(rewrite.image.isEmpty());
    QVERIFY2(rewrite.error.contains(named), qPrintable(rewrite.error));
}

void TestIdentityRecord::rewriteReplacesEveryCopyAndNothingElse()
{
    const QByteArray image = imageWithRecord(2);
    const QByteArray oldRecord = image.mid(image.indexOf(kIdentityRecordStart), 46);
    const QByteArray newRecord = identityRecord("AB12CD34", "0011223344556677");

    const IdentityRewrite rewrite = rewriteIdentity(image, "AB12CD34", "0011223344556677");
    QVERIFY(rewrite.error.isEmpty());
    QCOMPARE(rewrite.image.count(newRecord), 2);
    QVERIFY(!rewrite.image.contains(oldRecord));
    QCOMPARE(QByteArray(rewrite.image).replace(newRecord, oldRecord), image);
}

void TestIdentityRecord::rewriteNeedsTheRecordInUpperCase_data()
{
    QTest::addColumn<QByteArray>("image");

    const QByteArray record = imageWithRecord();
    QTest::newRow("lower case") << QByteArray(record).replace("S31500080010", "s31500080010");
    QTest::newRow("other address") << QByteArray(record).replace("S31500080010", "S31500080011");
    QTest::newRow("empty image") << QByteArray();
}

void TestIdentityRecord::rewriteNeedsTheRecordInUpperCase()
{
    QFETCH(QByteArray, image);

    const IdentityRewrite rewrite = rewriteIdentity(image, kZeros8, kZeros16);
    QVERIFY(rewrite.image.isEmpty());
    QCOMPARE(rewrite.error, QStringLiteral("The update holds no identity record"));
}

void TestIdentityRecord::recordCutShortAtTheEndIsReplacedWhole()
{
    const QByteArray image = "S0030000FC\r\nS315000800103030";
    const IdentityRewrite rewrite = rewriteIdentity(image, kZeros8, kZeros16);
    QCOMPARE(rewrite.image, "S0030000FC\r\n" + identityRecord(kZeros8, kZeros16));
}

QTEST_APPLESS_MAIN(TestIdentityRecord)
#include "tst_identityrecord.moc"
