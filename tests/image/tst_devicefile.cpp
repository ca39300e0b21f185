#include "image/devicefile.h"

#include <QtTest>

using brimo::deviceFile;

class TestDeviceFile : public QObject {
    Q_OBJECT

private slots:
    void sizeCountsBytes_data();
    void sizeCountsBytes();
    void loadReplacesDataAndMarkButNotTail();
    void tailAssignmentLeavesDataAndMark();
};

void TestDeviceFile::sizeCountsBytes_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<qint32>("size");

    QByteArray everyByte;
    for (int b = 0; b < 256; ++b)
        everyByte.append(static_cast<char>(b));

    QTest::newRow("empty") << QByteArray() << 0;
    QTest::newRow("1234 characters") << QByteArray(1234, 'S') << 1234;
    // Bytes above 0x7F stay one character each, never widened or re-encoded.
    QTest::newRow("every byte value") << everyByte << 256;
    QTest::newRow("one MiB image") << QByteArray(1 << 20, '0') << (1 << 20);
}

void TestDeviceFile::sizeCountsBytes()
{
    QFETCH(QByteArray, data);
    QFETCH(qint32, size);

    deviceFile file;
    file.load(data, true);
    QCOMPARE(file.size(), size);
    QCOMPARE(file.getData(), data);
}

void TestDeviceFile::loadReplacesDataAndMarkButNotTail()
{
    deviceFile file;
    QCOMPARE(file.size(), 0);
    QVERIFY(!file.isEncrypted());
    QVERIFY(file.strRegEnd.isEmpty());

    file.strRegEnd = "0011223344556677";
    file.load("first", true);
    QVERIFY(file.isEncrypted());
    file.load("second");
    QVERIFY(!file.isEncrypted());
    QCOMPARE(file.getData(), QByteArray("second"));
    QCOMPARE(file.strRegEnd, QByteArray("0011223344556677"));
}

void TestDeviceFile::tailAssignmentLeavesDataAndMark()
{
    deviceFile file;
    file.load("S0030000FC", true);
    file.strRegEnd = "FFEEDDCCBBAA9988";
    QCOMPARE(file.getData(), QByteArray("S0030000FC"));
    QVERIFY(file.isEncrypted());
}

QTEST_APPLESS_MAIN(TestDeviceFile)
#include "tst_devicefile.moc"
