// The ways the wizard ends the program in the middle of an update: a refused
// download, a download the user gives up on, and a close request answered
// Yes while the download or the flash runs. The program really ends, so each
// case runs the window in a child process of this test program, which reports
// the log lines and boxes on its output as they come.
#include "childscenario.h"
#include "wizardrig.h"

#include <QTcpSocket>
#include <QtTest>

namespace {

// What the child is told through its environment.
constexpr const char *kAnswersVariable = "BRIMO_TEST_ANSWERS";  // "Yes Yes No"
constexpr const char *kFaultVariable = "BRIMO_TEST_FAULT";      // "404 3", set once downloading
constexpr const char *kCloseAtVariable = "BRIMO_TEST_CLOSE_AT"; // close 300 ms after this line

constexpr int kDidNotEnd = 3;
const QString kClosing = QStringLiteral("Closing update utility.");
// Stand-ins in the expected values for what the service says in the test.
const QString kRefusal = QStringLiteral("<refusal>");
const QString kImageSize = QStringLiteral("<size>");

qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

QString boxLine(const QString &text, int icon, int buttons)
{
    return QStringLiteral("%1\t%2\t%3\tBrimo update utility")
        .arg(QString(text).replace(QStringLiteral("\r\n"), "|"))
        .arg(icon)
        .arg(buttons);
}

// --- in the child ------------------------------------------------------------

// The child knows only the service's address.
void setServiceFault(const QString &modeAndCount)
{
    QTcpSocket socket;
    socket.setProxy(QNetworkProxy::NoProxy);
    const QString hostPort = qEnvironmentVariable("BRIMO_SERVICE_HOST");
    socket.connectToHost(hostPort.section(u':', 0, 0), quint16(hostPort.section(u':', 1).toUInt()));
    socket.waitForConnected(5000);
    socket.write(QStringLiteral("GET /sim/fault?mode=%1&count=%2 HTTP/1.1\r\nHost: x\r\n"
                                "Connection: close\r\n\r\n")
                     .arg(modeAndCount.section(u' ', 0, 0), modeAndCount.section(u' ', 1))
                     .toLatin1());
    while (socket.waitForReadyRead(5000))
        socket.readAll();
}

// Every new log line with the stage header and the progress bar of that
// moment, straight from the text box: the program may end right after.
void reportLog(brimo::main &window)
{
    auto reported = std::make_shared<int>(0);
    QObject::connect(window.Text1, &QPlainTextEdit::textChanged, &window, [&window, reported] {
        const QTextDocument *document = window.Text1->document();
        if (document->isEmpty()) {
            *reported = 0;
            return;
        }
        for (; *reported < document->blockCount(); ++*reported) {
            brimo::test::report(QStringLiteral("LOG %1\t%2\t%3\t%4")
                                    .arg(withoutDots(document->findBlockByNumber(*reported).text()),
                                         window.stageHeader->text())
                                    .arg(window.ProgressBar->value())
                                    .arg(now()));
        }
    });
}

// Takes the window through stage 1 ("COMPort" 3) and presses the read button,
// as the environment says; every case ends the program before the click returns.
int runUpdate()
{
    const auto window = WizardRig::openWindow(false);
    reportLog(*window);
    BoxAnswerer user;
    for (const QString &answer : qEnvironmentVariable(kAnswersVariable).split(u' '))
        user.queue({answer == "Yes"  ? QMessageBox::Yes
                    : answer == "No" ? QMessageBox::No
                                     : QMessageBox::Ok});
    user.onEachBox([](const BoxAnswerer::Box &box) {
        brimo::test::report(
            QStringLiteral("BOX %1\t%2")
                .arg(boxLine(box.text, box.icon, box.buttons.toInt()), QString::number(now())));
    });
    if (const QString fault = qEnvironmentVariable(kFaultVariable); !fault.isEmpty())
        whenLogShows(
            *window, QStringLiteral("Downloading updates"), [fault] { setServiceFault(fault); },
            -1);
    if (const QString line = qEnvironmentVariable(kCloseAtVariable); !line.isEmpty())
        whenLogShows(*window, line, [&window] { window->close(); });
    QTest::mouseClick(window->updateBtn, Qt::LeftButton);
    QTest::mouseClick(window->stage2Btn, Qt::LeftButton);
    brimo::test::report(QStringLiteral("RETURNED"));
    return kDidNotEnd;
}

// --- in the parent -----------------------------------------------------------

struct ChildRun {
    brimo::test::ChildResult result;
    qint64 endedAt = 0;
    QStringList log;     // the lines alone
    QStringList logInfo; // "header\tprogress" of each line
    QStringList boxes;   // text (CR LF as "|"), icon, buttons, caption
    qint64 closingAt = 0;
    qint64 lastAnswerAt = 0;
};

ChildRun runChild(const QStringList &environment)
{
    ChildRun run;
    run.result = brimo::test::runScenario(QStringLiteral("update"), environment, 90000);
    run.endedAt = now();
    for (const QString &line : run.result.output.split(u'\n')) {
        const qint64 at = line.section(u'\t', -1).toLongLong();
        if (line.startsWith(QStringLiteral("LOG "))) {
            run.log << line.mid(4).section(u'\t', 0, 0);
            run.logInfo << line.section(u'\t', 1, 2);
            if (run.log.constLast() == kClosing)
                run.closingAt = at;
        } else if (line.startsWith(QStringLiteral("BOX "))) {
            run.boxes << line.mid(4).section(u'\t', 0, 3);
            run.lastAnswerAt = at;
        }
    }
    return run;
}

} // namespace

class TestWizardEnding : public QObject {
    Q_OBJECT
private slots:
    void updateEndsTheProgram_data();
    void updateEndsTheProgram();
};

void TestWizardEnding::updateEndsTheProgram_data()
{
    QTest::addColumn<QString>("imageFor");
    QTest::addColumn<QStringList>("toolFaults");
    QTest::addColumn<QStringList>("child"); // the child's environment
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QStringList>("log");

    const auto env = [](const char *name, const QString &value) {
        return QString::fromLatin1(name) + u'=' + value;
    };
    const int yesNo = (QMessageBox::Yes | QMessageBox::No).toInt();
    const QString terminate = boxLine(kTerminateBox, QMessageBox::NoIcon, yesNo);
    const QString retry = boxLine(
        QStringLiteral("Unable to collect database file, please ensure any firewall applications "
                       "are configured to allow the Brimo update utility full internet access."
                       "\r\n\r\nWould you like to retry?"),
        QMessageBox::NoIcon, yesNo);
    const QStringList noImage{"Downloaded 0 bytes", "Aborting update"};
    const QStringList again{"Attempting retry", "Downloading updates", "Connected"};

    // The service does not know the device: its answer is shown, then the end.
    QTest::newRow("refused download ends after a second")
        << "ZZ99YY88" << QStringList{} << QStringList{env(kAnswersVariable, "Ok")}
        << QStringList{boxLine(kRefusal, QMessageBox::Critical, QMessageBox::Ok)}
        << kToTheDownload + QStringList{kClosing};
    QTest::newRow("no image, retried twice, then given up")
        << kSystemNumber << QStringList{}
        << QStringList{env(kAnswersVariable, "Yes Yes No"), env(kFaultVariable, "404 3")}
        << QStringList{retry, retry, retry}
        << kToTheDownload + noImage + again + noImage + again + noImage + QStringList{kClosing};
    // The download never finishes: nothing after its start.
    QTest::newRow("close accepted during the download ends at once")
        << kSystemNumber << QStringList{}
        << QStringList{env(kAnswersVariable, "Yes"), env(kFaultVariable, "hang 1"),
                       env(kCloseAtVariable, "Downloading updates")}
        << QStringList{terminate} << kToTheDownload;
    QTest::newRow("close accepted during the flash leaves the tool running")
        << kSystemNumber << QStringList{"ok", "delay 3000"}
        << QStringList{env(kAnswersVariable, "Yes"), env(kCloseAtVariable, "Updating device.")}
        << QStringList{terminate}
        << kToTheDownload + QStringList{"Downloaded " + kImageSize + " bytes",
                                        "Updating device with the latest update",
                                        "Checking update integrity", "Checking system number",
                                        "Updating device."};
}

void TestWizardEnding::updateEndsTheProgram()
{
    QFETCH(QString, imageFor);
    QFETCH(QStringList, toolFaults);
    QFETCH(QStringList, child);
    QFETCH(QStringList, boxes);
    QFETCH(QStringList, log);
    WizardRig rig;
    QVERIFY(rig.arrangeUpdate(imageFor));
    rig.app().setFaults(toolFaults);
    const QString refusal =
        QString::fromLatin1(VendorSimProcess::bodyOf(rig.vendor().get(WizardRig::imagePath())));
    boxes.replaceInStrings(kRefusal, refusal);
    log.replaceInStrings(kImageSize, QString::number(rig.imageSize()));

    const ChildRun run = runChild(child);

    QVERIFY2(run.result.finished, qPrintable(run.result.output));
    QCOMPARE(run.result.exitStatus, QProcess::NormalExit);
    QCOMPARE(run.result.exitCode, 0);
    QVERIFY2(!run.result.output.contains(QStringLiteral("RETURNED")),
             qPrintable(run.result.output));
    QCOMPARE(run.boxes, boxes);
    COMPARE_LINES(run.log, (log));
    // Every try at the download starts afresh: stage 4's header, the bar at 0.
    for (qsizetype i = 0; i < run.log.size(); ++i) {
        if (run.log[i] == QStringLiteral("Downloading updates"))
            QCOMPARE(run.logInfo[i], QStringLiteral("Stage 4 of 5:\t0"));
    }
    // A give-up ends a second after its last line; a close at once.
    const qint64 afterClosing = run.endedAt - run.closingAt;
    if (log.constLast() == kClosing)
        QVERIFY2(afterClosing >= 1000 && afterClosing < 3000,
                 qPrintable(QString::number(afterClosing)));
    else
        QVERIFY2(run.endedAt - run.lastAnswerAt < 1000,
                 qPrintable(QString::number(run.endedAt - run.lastAnswerAt)));
    if (toolFaults.isEmpty())
        return;
    // The utility is gone while the tool still writes; the tool ends on its own.
    QCOMPARE(rig.toolRuns(), QStringList{readRun(3)});
    QTRY_COMPARE_WITH_TIMEOUT(rig.toolRuns(), (QStringList{readRun(3), writeRun(3)}), 20000);
    QCOMPARE(rig.device(3).status().value(QStringLiteral("writes")), QStringLiteral("1"));
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (const auto code =
            brimo::test::runRequestedScenario({{QStringLiteral("update"), runUpdate}}))
        return *code;
    TestWizardEnding test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_wizardending.moc"
