#include "vendorsimprocess.h"

#include "common/srec.h"

#include <QtTest>

class TestVendorSim : public QObject {
    Q_OBJECT

private slots:
    void pingAnswersWithABody();
};

void TestVendorSim::pingAnswersWithABody()
{
    VendorSimProcess service;
    QVERIFY2(service.isListening(), qPrintable(service.errorString()));
    const QByteArray reply = service.get(QStringLiteral("/ws/ping.asp?"));
    QCOMPARE(VendorSimProcess::statusOf(reply), 200);
    QVERIFY(!VendorSimProcess::bodyOf(reply).isEmpty());
}

QTEST_GUILESS_MAIN(TestVendorSim)
#include "tst_vendorsim.moc"
