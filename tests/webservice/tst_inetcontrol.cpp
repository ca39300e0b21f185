#include "platform/inetcontrol.h"
#include "scriptedserver.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QThread>
#include <QTimer>
#include <QtTest>

using brimo::InetControl;

namespace {

const QList<qint16> kSuccessStates = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12};

QList<qint16> statesOf(const QSignalSpy &spy)
{
    QList<qint16> states;
    for (const QList<QVariant> &arguments : spy)
        states.append(arguments.at(0).value<qint16>());
    return states;
}

} // namespace

class TestInetControl : public QObject {
    Q_OBJECT

private slots:
    void answerKeepsStatusLineHeadersAndBody_data();
    void answerKeepsStatusLineHeadersAndBody();
    void failedTransferGivesNoBodyAndEndsOnError_data();
    void failedTransferGivesNoBodyAndEndsOnError();
    void successReportsEveryStateInOrder_data();
    void successReportsEveryStateInOrder();
    void addressWithoutSchemeUsesTheRemotePort();
    void eventsRunWhileWaitingAndCancelReturnsAtOnce();
    void silenceTimesOutAndNoSecondRequestStarts_data();
    void silenceTimesOutAndNoSecondRequestStarts();
};

void TestInetControl::answerKeepsStatusLineHeadersAndBody_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("statusLine");
    QTest::addColumn<QByteArray>("headerLine");
    QTest::addColumn<QByteArray>("regEnd");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("200 with REGEND")
        << QByteArray("HTTP/1.1 200 OK\r\nREGEND: 0011223344556677\r\nContent-Length: 5\r\n\r\n"
                      "S0030")
        << QByteArray("HTTP/1.1 200 OK\r\n") << QByteArray("REGEND: 0011223344556677\r\n")
        << QByteArray("0011223344556677") << QByteArray("S0030");
    QTest::newRow("header name in other case")
        << QByteArray("HTTP/1.1 200 OK\r\nregend: AABB\r\nContent-Length: 1\r\n\r\nx")
        << QByteArray("HTTP/1.1 200 OK\r\n") << QByteArray("regend: AABB\r\n") << QByteArray("AABB")
        << QByteArray("x");
    QTest::newRow("500 keeps its body")
        << QByteArray("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 14\r\n\r\n"
                      "Unknown device")
        << QByteArray("HTTP/1.1 500 Internal Server Error\r\n")
        << QByteArray("Content-Length: 14\r\n") << QByteArray() << QByteArray("Unknown device");
    QTest::newRow("302 is not followed")
        << QByteArray("HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:1/elsewhere\r\n"
                      "Content-Length: 5\r\n\r\nmoved")
        << QByteArray("HTTP/1.1 302 Found\r\n")
        << QByteArray("Location: http://127.0.0.1:1/elsewhere\r\n") << QByteArray()
        << QByteArray("moved");
    QTest::newRow("body ends when the server closes")
        << QByteArray("HTTP/1.0 200 OK\r\nServer: old\r\n\r\nuntil close")
        << QByteArray("HTTP/1.1 200 OK\r\n") << QByteArray("Server: old\r\n") << QByteArray()
        << QByteArray("until close");
    QTest::newRow("chunked body") << QByteArray(
                                         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                                         "6\r\nS00300\r\n4\r\n00FC\r\n0\r\n\r\n")
                                  << QByteArray("HTTP/1.1 200 OK\r\n")
                                  << QByteArray("Transfer-Encoding: chunked\r\n") << QByteArray()
                                  << QByteArray("S0030000FC");
    QTest::newRow("empty body") << QByteArray(
                                       "HTTP/1.1 200 OK\r\nREGEND: 01\r\nContent-Length: 0\r\n\r\n")
                                << QByteArray("HTTP/1.1 200 OK\r\n") << QByteArray("REGEND: 01\r\n")
                                << QByteArray("01") << QByteArray();
}

void TestInetControl::answerKeepsStatusLineHeadersAndBody()
{
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, statusLine);
    QFETCH(QByteArray, headerLine);
    QFETCH(QByteArray, regEnd);
    QFETCH(QByteArray, body);

    ScriptedServer server(reply);
    InetControl control;
    control.setUrl(server.hostPort() + QStringLiteral("/ws/ping.asp?"));
    QCOMPARE(control.openUrl(), body);
    QVERIFY(!control.stillExecuting());
    QVERIFY(control.getHeader().startsWith(statusLine));
    QVERIFY2(control.getHeader().contains(headerLine), control.getHeader().constData());
    QCOMPARE(control.getHeader("REGEND"), regEnd);
    QCOMPARE(control.getHeader("X-Absent"), QByteArray());
    QCOMPARE(server.requests().size(), 1);
}

void TestInetControl::failedTransferGivesNoBodyAndEndsOnError_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("host");
    // Every state reported, when the failure fixes them; else only the last.
    QTest::addColumn<QList<qint16>>("states");

    const QString refused = QStringLiteral("127.0.0.1:%1").arg(closedPort());
    QTest::newRow("unknown host") << QByteArray() << QStringLiteral("no-such-host.invalid")
                                  << QList<qint16>{1, 11};
    QTest::newRow("refused") << QByteArray() << refused << QList<qint16>{1, 2, 3, 11};
    QTest::newRow("not HTTP") << QByteArray("hello, this is no web server\r\n") << QString()
                              << QList<qint16>{};
    QTest::newRow("cut half-way")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly a part") << QString()
        << QList<qint16>{};
    QTest::newRow("large body cut half-way")
        << ("HTTP/1.1 200 OK\r\nContent-Length: 2000000\r\n\r\n" + QByteArray(1000000, 'S'))
        << QString() << QList<qint16>{};
    QTest::newRow("closed before any answer") << QByteArray("\r\n") << QString() << QList<qint16>{};
}

void TestInetControl::failedTransferGivesNoBodyAndEndsOnError()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, host);
    QFETCH(QList<qint16>, states);

    ScriptedServer server(reply);
    InetControl control;
    QSignalSpy spy(&control, &InetControl::stateChanged);
    const QString hostPort = host.isEmpty() ? server.hostPort() : host;
    control.setUrl(hostPort + QStringLiteral("/ws/updatedevice.asp?SystemCodeString=AB12CD34"));
    QCOMPARE(control.openUrl(), QByteArray());
    QVERIFY(!control.stillExecuting());
    QCOMPARE(control.getHeader(), QByteArray());
    const QList<qint16> reported = statesOf(spy);
    QVERIFY(!reported.isEmpty());
    QCOMPARE(reported.last(), qint16{11});
    QVERIFY(!reported.contains(12));
    if (!states.isEmpty())
        QCOMPARE(reported, states);
}

void TestInetControl::successReportsEveryStateInOrder_data()
{
    QTest::addColumn<int>("pauseMs");
    QTest::newRow("listener returns at once") << 0;
    // The window sleeps in its handler for the early states.
    QTest::newRow("listener sleeps in early states") << 200;
}

void TestInetControl::successReportsEveryStateInOrder()
{
    QFETCH(int, pauseMs);
    ScriptedServer server("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nTrue");
    InetControl control;
    QSignalSpy spy(&control, &InetControl::stateChanged);
    QObject::connect(&control, &InetControl::stateChanged, [pauseMs](qint16 state) {
        if (state <= 6)
            QThread::msleep(static_cast<unsigned long>(pauseMs));
    });
    control.setUrl(server.hostPort() + QStringLiteral("/ws/ping.asp?"));
    QCOMPARE(control.openUrl(), QByteArray("True"));
    QCOMPARE(statesOf(spy), kSuccessStates);

    // The control is used for many requests in a run; each reports afresh.
    spy.clear();
    QCOMPARE(control.openUrl(), QByteArray("True"));
    QCOMPARE(statesOf(spy), kSuccessStates);
}

void TestInetControl::addressWithoutSchemeUsesTheRemotePort()
{
    ScriptedServer server("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    const QString port = server.hostPort().section(QLatin1Char(':'), 1);
    InetControl control;
    control.setProtocol(InetControl::Http);
    control.setRemotePort(port.toInt());
    control.setUrl(QStringLiteral("127.0.0.1/ws/ping.asp?"));
    QCOMPARE(control.openUrl(), QByteArray("ok"));
    QCOMPARE(server.requests().size(), 1);
    QVERIFY(server.requests().first().startsWith("GET /ws/ping.asp? HTTP/1.1\r\n"));
}

void TestInetControl::eventsRunWhileWaitingAndCancelReturnsAtOnce()
{
    // Headers and a first part of the body, then silence.
    ScriptedServer server("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nS0", false);
    InetControl control;
    QSignalSpy spy(&control, &InetControl::stateChanged);
    control.setUrl(server.hostPort() + QStringLiteral("/ws/updatedevice.asp?"));

    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
    ticker.start(20);
    QElapsedTimer cancelledAt;
    QTimer::singleShot(400, &control, [&] {
        cancelledAt.start();
        control.cancel();
    });

    QCOMPARE(control.openUrl(), QByteArray());
    QVERIFY(cancelledAt.isValid());
    QVERIFY2(cancelledAt.elapsed() < 200, qPrintable(QString::number(cancelledAt.elapsed())));
    QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
    QVERIFY(!control.stillExecuting());
    QCOMPARE(statesOf(spy).last(), qint16{11});
}

void TestInetControl::silenceTimesOutAndNoSecondRequestStarts_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("no answer at all") << QByteArray();
    QTest::newRow("silence inside the body")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nS0");
}

void TestInetControl::silenceTimesOutAndNoSecondRequestStarts()
{
    QFETCH(QByteArray, reply);
    ScriptedServer server(reply, false);
    InetControl control;
    QSignalSpy spy(&control, &InetControl::stateChanged);
    control.setUrl(server.hostPort() + QStringLiteral("/ws/updatedevice.asp?"));
    control.setRequestTimeout(1);
    bool nestedChecked = false;
    QTimer::singleShot(100, &control, [&] {
        QVERIFY(control.stillExecuting());
        QCOMPARE(control.openUrl(), QByteArray());
        QVERIFY(control.stillExecuting());
        nestedChecked = true;
    });
    QElapsedTimer elapsed;
    elapsed.start();
    QCOMPARE(control.openUrl(), QByteArray());
    QVERIFY(nestedChecked);
    QVERIFY2(elapsed.elapsed() < 5000, qPrintable(QString::number(elapsed.elapsed())));
    QCOMPARE(server.requests().size(), 1);
    QCOMPARE(statesOf(spy).last(), qint16{11});
}

QTEST_GUILESS_MAIN(TestInetControl)
#include "tst_inetcontrol.moc"
