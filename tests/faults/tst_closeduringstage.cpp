// A close request while a stage waits on the world outside: the scan and the
// auto detection listen on a serial line, the Internet test waits for the
// service; there the window asks and Yes ends the program at once. The
// identity read is not counted as an update in progress: a close ends the
// program without asking, and the flash tool finishes its run on its own. The
// program really ends, so each case runs the window in a child process of this
// test program, which reports what the user saw when the question came.
#include "childscenario.h"
#include "wizardrig.h"

#include <QtTest>

using brimo::test::ChildResult;

namespace {

constexpr int kDidNotEnd = 3;

qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

// --- in the child ------------------------------------------------------------

// Opens the window past its welcome page and runs `walk`: the user's answers,
// the close request and the clicks that start the stage. Each box is reported
// with the stage header, the log's last line and the time, for the program
// ends right after.
int closeDuring(const std::function<void(brimo::MainWindow &, BoxAnswerer &)> &walk)
{
    const auto window = WizardRig::openWindow();
    BoxAnswerer user;
    user.onEachBox([&window](const BoxAnswerer::Box &box) {
        const QStringList lines = logLines(*window);
        brimo::test::report(QStringLiteral("BOX %1\t%2\t%3\t%4")
                                .arg(QString(box.text).replace(QStringLiteral("\r\n"), "|"),
                                     window->stageHeader->text(), lines.constLast())
                                .arg(now()));
    });
    walk(*window, user);
    brimo::test::report(QStringLiteral("RETURNED"));
    return kDidNotEnd;
}

void closeWhenLogShows(brimo::MainWindow &window, const QString &line)
{
    whenLogShows(window, line, [&window] { window.close(); });
}

brimo::test::Scenarios scenarios()
{
    return {
        {QStringLiteral("scan"),
         [] {
             return closeDuring([](brimo::MainWindow &window, BoxAnswerer &user) {
                 user.inNextDialog(choosePortInSettings(QStringLiteral("3")));
                 QTest::mouseClick(window.stage1Btn, Qt::LeftButton);
                 user.queue({QMessageBox::Yes});
                 closeWhenLogShows(window, QStringLiteral("Scanning COM port 3"));
                 QTest::mouseClick(window.stage1Btn, Qt::LeftButton);
             });
         }},
        {QStringLiteral("detect"),
         [] {
             return closeDuring([](brimo::MainWindow &window, BoxAnswerer &user) {
                 user.queue({QMessageBox::Yes});
                 closeWhenLogShows(window, QStringLiteral("Scanning COM port 2"));
                 QTest::mouseClick(window.detectBtn, Qt::LeftButton);
             });
         }},
        {QStringLiteral("read"),
         [] {
             return closeDuring([](brimo::MainWindow &window, BoxAnswerer &) {
                 // Nothing is logged as the read begins; the tool takes
                 // seconds, the request comes half a second in.
                 QTimer::singleShot(500, &window, &QWidget::close);
                 QTest::mouseClick(window.stage2Btn, Qt::LeftButton);
             });
         }},
        {QStringLiteral("ping"),
         [] {
             return closeDuring([](brimo::MainWindow &window, BoxAnswerer &user) {
                 user.queue({QMessageBox::Yes});
                 closeWhenLogShows(window, QStringLiteral("Connected"));
                 QTest::mouseClick(window.stage2Btn, Qt::LeftButton);
             });
         }},
    };
}

} // namespace

// --- in the parent -----------------------------------------------------------

class TestCloseDuringStage : public QObject {
    Q_OBJECT
private slots:
    void closeEndsAtOnce_data();
    void closeEndsAtOnce();

private:
    static void arrange(WizardRig &rig, const QString &scenario);
};

void TestCloseDuringStage::arrange(WizardRig &rig, const QString &scenario)
{
    if (scenario == QLatin1String("scan")) {
        QVERIFY(rig.plugDevice(3, QStringLiteral("camera")));
    } else if (scenario == QLatin1String("detect")) {
        QVERIFY(rig.plugDevice(5));
    } else {
        rig.startVendor();
        QVERIFY(rig.vendor().setFault(QStringLiteral("hang")));
        QVERIFY(rig.plugDevice(3, QStringLiteral("dl")));
        WizardRig::storeComPort(QStringLiteral("3"));
        rig.app().setFaults({scenario == QLatin1String("read") ? QStringLiteral("delay 3000")
                                                               : QStringLiteral("ok")});
    }
    rig.leaveOtherPortsEmpty();
}

void TestCloseDuringStage::closeEndsAtOnce_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QString>("header");
    QTest::addColumn<QString>("lastLine");
    QTest::addColumn<bool>("asks");

    QTest::newRow("scan of the chosen port") << "scan"
                                             << "Stage 1 of 5:"
                                             << "Scanning COM port 3" << true;
    QTest::newRow("auto detection") << "detect"
                                    << "Stage 1 of 5:"
                                    << "Scanning COM port 2" << true;
    QTest::newRow("identity read, not asked") << "read" << QString() << QString() << false;
    QTest::newRow("Internet test") << "ping"
                                   << "Stage 3 of 5:"
                                   << "Connected" << true;
}

void TestCloseDuringStage::closeEndsAtOnce()
{
    QFETCH(QString, scenario);
    QFETCH(QString, header);
    QFETCH(QString, lastLine);
    QFETCH(bool, asks);
    WizardRig rig;
    arrange(rig, scenario);
    if (QTest::currentTestFailed())
        return;

    const ChildResult child = brimo::test::runScenario(scenario, {}, 60000);
    const qint64 endedAt = now();

    QVERIFY2(child.finished, qPrintable(child.output));
    QCOMPARE(child.exitStatus, QProcess::NormalExit);
    QVERIFY2(child.exitCode == 0, qPrintable(child.output));
    QVERIFY2(!child.output.contains(QStringLiteral("RETURNED")), qPrintable(child.output));
    QStringList boxes;
    qint64 answeredAt = 0;
    for (const QString &line : child.output.split(u'\n')) {
        if (line.startsWith(QStringLiteral("BOX "))) {
            boxes << line.mid(4).section(u'\t', 0, 2);
            answeredAt = line.section(u'\t', 3).toLongLong();
        }
    }
    if (asks) {
        const QString terminate = QString(kTerminateBox).replace(QStringLiteral("\r\n"), "|");
        QCOMPARE(boxes, QStringList{terminate + u'\t' + header + u'\t' + lastLine});
        QVERIFY2(endedAt - answeredAt < 2000, qPrintable(QString::number(endedAt - answeredAt)));
    } else {
        QCOMPARE(boxes, QStringList());
    }

    if (scenario == QLatin1String("read")) {
        // The program is gone while the tool still reads; the tool ends its
        // run on its own.
        QVERIFY(rig.app().logLines().isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(rig.app().logLines().size(), 1, 10000);
        QVERIFY2(rig.app().logLines().first().endsWith(QStringLiteral("-> exit 0")),
                 qPrintable(rig.app().logLines().first()));
    }
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (const auto code = brimo::test::runRequestedScenario(scenarios()))
        return *code;
    TestCloseDuringStage test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_closeduringstage.moc"
