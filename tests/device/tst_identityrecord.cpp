#include "device/identityrecord.h"

#include "common/srec.h"

#include <QtTest>

using namespace brimo;

namespace {

const QByteArray kTail = "0011223344556677";

QByteArray line(quint32 address, const QByteArray &data)
{
    return sim::formatSRecord('3', address, data) + "\r\n";
}

// The identity record as the vendor serves it: 16 bytes of 0xFF.
const QByteArray kServedRecord = line(0x00080010, QByteArray(16, '\xFF'));

} // namespace

class TestIdentityRecord : public QObject {
    Q_OBJECT

private slots:
    void recordOfZerosHasChecksum52();
    void recordCarriesTheIdentity_data();
    void recordCarriesTheIdentity();
    void rewriteReplacesEveryCopyAndNothingElse_data();
    void rewriteReplacesEveryCopyAndNothingElse();
};

void TestIdentityRecord::recordOfZerosHasChecksum52()
{
    const QByteArray record = identityRecord("00000000", QByteArray(16, '0'));
    QCOMPARE(record, "S31500080010" + QByteArray("30").repeated(8) + QByteArray(16, '0') + "52");
    QCOMPARE(record.size(), 46);
}

// A fitting identity gives a valid S-record at the identity address; one
// that does not fit is refused, naming what is wrong.
void TestIdentityRecord::recordCarriesTheIdentity_data()
{
    QTest::addColumn<QByteArray>("systemNumber");
    QTest::addColumn<QByteArray>("regEnd");
    QTest::addColumn<QString>("refusal");

    QTest::newRow("letters and digits") << QByteArray("AB12CD34") << kTail << "";
    QTest::newRow("lower-case tail kept")
        << QByteArray("12345678") << QByteArray("a1b2c3d4e5f60718") << "";
    QTest::newRow("Latin-1 characters") << QByteArray("\xE9\xFF\x80 -_./") << kTail << "";
    QTest::newRow("system number of 7") << QByteArray("AB12CD3") << kTail << "AB12CD3";
    QTest::newRow("system number of 9") << QByteArray("AB12CD345") << kTail << "AB12CD345";
    QTest::newRow("no tail") << QByteArray("AB12CD34") << QByteArray() << "REGEND";
    QTest::newRow("tail of 17") << QByteArray("AB12CD34") << kTail + '0' << "hexadecimal";
    QTest::newRow("tail not hexadecimal")
        << QByteArray("AB12CD34") << QByteArray("00112233445566GG") << "GG";
}

void TestIdentityRecord::recordCarriesTheIdentity()
{
    QFETCH(QByteArray, systemNumber);
    QFETCH(QByteArray, regEnd);
    QFETCH(QString, refusal);

    const QByteArray record = identityRecord(systemNumber, regEnd);
    const IdentityRewrite rewrite = rewriteIdentity(kServedRecord, systemNumber, regEnd);
    if (!refusal.isEmpty()) {
        QVERIFY(record.isEmpty());
        QVERIFY(rewrite.image.isEmpty());
        QVERIFY2(rewrite.error.contains(refusal), qPrintable(rewrite.error));
        return;
    }
    QCOMPARE(record.size(), kIdentityRecordLength);
    QVERIFY(record.contains(regEnd));
    sim::SRecord parsed;
    QString error;
    QVERIFY2(sim::parseSRecord(record, &parsed, &error), qPrintable(error));
    QCOMPARE(parsed.address, sim::kIdentityAddress);
    QCOMPARE(parsed.data, systemNumber + QByteArray::fromHex(regEnd));
    QCOMPARE(rewrite.image, record + "\r\n");
}

void TestIdentityRecord::rewriteReplacesEveryCopyAndNothingElse_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QString>("error");

    const QByteArray before = line(0x00080000, QByteArray(16, 'a'));
    const QByteArray after = line(0x00080020, QByteArray(16, 'b'));
    const QByteArray own = identityRecord("AB12CD34", kTail);
    const QString none = QStringLiteral("The update holds no identity record");
    QTest::newRow("two copies") << before + kServedRecord + after + kServedRecord + after
                                << before + own + "\r\n" + after + own + "\r\n" + after << "";
    QTest::newRow("record cut short at the end")
        << QByteArray("S0030000FC\r\nS315000800103030") << "S0030000FC\r\n" + own << "";
    QTest::newRow("lower case") << QByteArray(kServedRecord).replace("S3", "s3") << QByteArray()
                                << none;
    QTest::newRow("other address")
        << QByteArray(kServedRecord).replace("S31500080010", "S31500080011") << QByteArray()
        << none;
    QTest::newRow("empty image") << QByteArray() << QByteArray() << none;
}

void TestIdentityRecord::rewriteReplacesEveryCopyAndNothingElse()
{
    QFETCH(QByteArray, image);
    QFETCH(QByteArray, expected);
    QFETCH(QString, error);

    const IdentityRewrite rewrite = rewriteIdentity(image, "AB12CD34", kTail);
    QCOMPARE(rewrite.image, expected);
    QCOMPARE(rewrite.error, error);
}

QTEST_APPLESS_MAIN(TestIdentityRecord)
#include "tst_identityrecord.moc"
