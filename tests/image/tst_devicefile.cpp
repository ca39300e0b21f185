#include "image/devicefile.h"

#include <QtTest>

class TestDeviceFile : public QObject {
    Q_OBJECT

private slots:
    void loadReplacesDataAndMarkButNotTail_data();
    void loadReplacesDataAndMarkButNotTail();
};

void TestDeviceFile::loadReplacesDataAndMarkButNotTail_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("encrypted");

    QByteArray everyByte;
    for (int b = 0; b < 256; ++b)
        everyByte.append(static_cast<char>(b));
    QTest::newRow("empty, unmarked") << QByteArray() << false;
    // Bytes above 0x7F stay one character each, never widened or re-encoded.
    QTest::newRow("every byte value, marked") << everyByte << true;
    QTest::newRow("one MiB image, unmarked") << QByteArray(1 << 20, 'S') << false;
}

void TestDeviceFile::loadReplacesDataAndMarkButNotTail()
{
    QFETCH(QByteArray, data);
    QFETCH(bool, encrypted);

    brimo::deviceFile file;
    file.load("earlier data", !encrypted);
    file.strRegEnd = "0011223344556677";

    file.load(data, encrypted);
    QCOMPARE(file.size(), data.size());
    QCOMPARE(file.getData(), data);
    QCOMPARE(file.isEncrypted(), encrypted);
    QCOMPARE(file.strRegEnd, QByteArray("0011223344556677"));
}

QTEST_APPLESS_MAIN(TestDeviceFile)
#include "tst_devicefile.moc"
