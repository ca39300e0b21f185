#include "scriptedserver.h"
#include "testwindow.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>

class TestInetControl : public QObject {
    Q_OBJECT

private slots:
    void failedTransferGivesNoBodyAndEndsOnError_data();
    void failedTransferGivesNoBodyAndEndsOnError();
    void silenceEndsOnTimeOutOrCancel_data();
    void silenceEndsOnTimeOutOrCancel();
};

void TestInetControl::failedTransferGivesNoBodyAndEndsOnError_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("host");
    // A single state stands for the last one reported.
    QTest::addColumn<QList<qint16>>("states");

    const QByteArray ok = "HTTP/1.1 200 OK\r\nContent-Length: ";
    QTest::newRow("unknown host") << QByteArray() << QStringLiteral("no-such-host.invalid")
                                  << QList<qint16>{1, 11};
    QTest::newRow("refused") << QByteArray() << QStringLiteral("127.0.0.1:%1").arg(closedPort())
                             << QList<qint16>{1, 2, 3, 11};
    QTest::newRow("not HTTP") << QByteArray("no web server here\r\n\r\n") << QString()
                              << QList<qint16>{11};
    QTest::newRow("cut half-way") << ok + "100\r\n\r\nonly a part" << QString()
                                  << QList<qint16>{11};
    QTest::newRow("large body cut half-way")
        << ok + "2000000\r\n\r\n" + QByteArray(1000000, 'S') << QString() << QList<qint16>{11};
}

void TestInetControl::failedTransferGivesNoBodyAndEndsOnError()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, host);
    QFETCH(QList<qint16>, states);

    ScriptedServer server(reply);
    TestWindow window;
    brimo::InetControl &control = window.internetControl();
    control.setUrl((host.isEmpty() ? server.hostPort() : host) + QStringLiteral("/ws/x.asp?"));
    QCOMPARE(control.openUrl(), QByteArray());
    QVERIFY(!control.stillExecuting());
    QCOMPARE(control.getHeader(), QByteArray());
    QCOMPARE(states.size() == 1 ? window.states.mid(window.states.size() - 1) : window.states,
             states);
}

void TestInetControl::silenceEndsOnTimeOutOrCancel_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("cancel");
    const QByteArray partBody = "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nS0";
    QTest::newRow("no answer at all, timed out") << QByteArray() << false;
    QTest::newRow("silence inside the body, timed out") << partBody << false;
    QTest::newRow("silence inside the body, cancelled") << partBody << true;
}

// While the transfer waits the window's events run and a second request is
// refused; the wait ends at the time-out, or at once on a cancel.
void TestInetControl::silenceEndsOnTimeOutOrCancel()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, cancel);

    ScriptedServer server(reply, false);
    TestWindow window;
    brimo::InetControl &control = window.internetControl();
    control.setUrl(server.hostPort() + QStringLiteral("/ws/updatedevice.asp?"));
    control.setRequestTimeout(cancel ? 60 : 1);
    bool nestedRefused = false;
    QTimer::singleShot(100, &control, [&] {
        QCOMPARE(control.openUrl(), QByteArray());
        nestedRefused = control.stillExecuting();
    });
    QElapsedTimer cancelledAt;
    QTimer::singleShot(cancel ? 400 : 60000, &control, [&] {
        cancelledAt.start();
        control.cancel();
    });
    QElapsedTimer elapsed;
    elapsed.start();
    QCOMPARE(control.openUrl(), QByteArray());
    QVERIFY(nestedRefused);
    QVERIFY2(elapsed.elapsed() < 5000, qPrintable(QString::number(elapsed.elapsed())));
    QVERIFY(!cancel || (cancelledAt.isValid() && cancelledAt.elapsed() < 200));
    QVERIFY(!control.stillExecuting());
    QCOMPARE(server.connections, 1);
    QCOMPARE(window.states.last(), qint16{11});
}

QTEST_GUILESS_MAIN(TestInetControl)
#include "tst_inetcontrol.moc"
