// The update session without a window: a close that goes ahead ends the
// request under way, the stored port number as the first stage reads it, and
// the serial line the port search listens on.
#include "session/updatesession.h"

#include "loopbackserver.h"
#include "ptyline.h"
#include "recordingwindow.h"

#include <QtTest>

class TestSession : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        qputenv("BRIMO_COM_DIR", QFile::encodeName(m_dir.path()));
        qputenv("BRIMO_REGISTRY_FILE", QFile::encodeName(m_dir.filePath("registry")));
    }

    // Answered Yes, the close ends the Internet test's request at once, as no
    // answer (the service here never answers); the window then ends the program.
    void closeEndsTheRequestUnderWay()
    {
        LoopbackServer silent;
        qputenv("BRIMO_SERVICE_HOST", silent.hostPort().toUtf8());
        RecordingWindow window;
        window.answers = {true};
        brimo::UpdateSession session(window, {}, m_dir.path());
        bool closing = false;
        QObject scope; // ends the timers with the test
        QTimer::singleShot(500, &scope, [&] { closing = session.mayClose(); });
        QTimer::singleShot(20000, &scope, [] { qFatal("The request goes on after the close"); });
        session.checkStage(3);
        QVERIFY(closing);
        QCOMPARE(window.seen.mid(2, 2),
                 QStringList({"box The Brimo update utility is in the process of updating your "
                              "device\r\n\r\nTerminate update process?",
                              "Internet connection test failed"}));
    }

    // The port search listens at 9600 baud, no parity, 8 data bits, 1 stop bit.
    void portSearchListensAt9600N81()
    {
        PtyLine line(m_dir.path(), 1);
        termios heard{};
        QTimer device; // streams its sentences
        connect(&device, &QTimer::timeout, [&] { heard = line.settings(), line.send("$GP\r\n"); });
        device.start(100);
        RecordingWindow window;
        brimo::UpdateSession(window, {}, m_dir.path()).autoDetect();
        QCOMPARE(cfgetispeed(&heard), speed_t(B9600));
        // A pseudo-terminal keeps 8 bits and drops PARENB, but shows odd and mark parity.
        QCOMPARE(heard.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB), tcflag_t(CS8));
    }

    void storedPortNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("port"); // empty: not a port number
        for (const char *row :
             {"3=3", " +7 =7", "-1=-1", "2.5=2", "3.5=4", ".6=1", "5.=5", "32767=32767",
              "-32768=-32768", "32767.5=", "-32769=", "  =", "COM3=", ".=", "1 2=", "3a="})
            QTest::newRow(row) << QString(row).section(u'=', 0, 0) << QString(row).section(u'=', 1);
    }
    void storedPortNumber()
    {
        QFETCH(QString, text);
        QFETCH(QString, port);
        const std::optional<qint16> parsed = brimo::portNumberFromText(text, QLocale::c());
        QCOMPARE(parsed ? QString::number(*parsed) : QString(), port);
    }

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(TestSession)
#include "tst_session.moc"
