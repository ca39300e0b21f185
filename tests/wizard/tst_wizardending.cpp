// The ways the wizard ends the program in the middle of an update: a refused
// download, a download the user gives up on, and a close request answered
// Yes while the download or the flash runs. The program really ends, so each
// case runs the window in a child process of this test program, which reports
// the log lines and boxes on its output as they come.
#include "boxanswerer.h"
#include "childscenario.h"
#include "wizardrig.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTextBlock>
#include <QtTest>

using brimo::test::ChildResult;

namespace {

const QString kTerminateBox =
    QStringLiteral("The Brimo update utility is in the process of updating your device\r\n\r\n"
                   "Terminate update process?");
const QString kRetryBox =
    QStringLiteral("Unable to collect database file, please ensure any firewall applications are "
                   "configured to allow the Brimo update utility full internet access.\r\n\r\n"
                   "Would you like to retry?");

constexpr int kDidNotEnd = 3;

qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

// --- in the child ------------------------------------------------------------

// Sets a fault of the vendor service from the child, which has only its address.
void setServiceFault(const QString &mode, int count)
{
    QTcpSocket socket;
    socket.setProxy(QNetworkProxy::NoProxy);
    const QString hostPort = qEnvironmentVariable("BRIMO_SERVICE_HOST");
    socket.connectToHost(hostPort.section(u':', 0, 0), quint16(hostPort.section(u':', 1).toUInt()));
    socket.waitForConnected(5000);
    socket.write(QStringLiteral("GET /sim/fault?mode=%1&count=%2 HTTP/1.1\r\nHost: x\r\n"
                                "Connection: close\r\n\r\n")
                     .arg(mode)
                     .arg(count)
                     .toLatin1());
    while (socket.waitForReadyRead(5000))
        socket.readAll();
}

// Reports every new log line, with the stage header and the progress bar of
// that moment, straight from the text box (the program may end right after).
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
            brimo::test::report(QStringLiteral("LOG %1\t%2\t%3")
                                    .arg(withoutDots(document->findBlockByNumber(*reported).text()),
                                         window.stageHeader->text())
                                    .arg(window.ProgressBar->value()));
        }
        if (withoutDots(document->lastBlock().text()) == QStringLiteral("Closing update utility."))
            brimo::test::report(QStringLiteral("CLOSING %1").arg(now()));
    });
}

// Opens the window, takes it through stage 1 (COMPort 3) and presses the
// read button; the device is in D/L mode. `answers` are the user's answers.
int runUpdate(std::initializer_list<QMessageBox::StandardButton> answers,
              const std::function<void(brimo::main &)> &arrange = {})
{
    const auto window = WizardRig::openWindow();
    reportLog(*window);
    BoxAnswerer user;
    user.queue(answers);
    user.onEachBox([](const BoxAnswerer::Box &box) {
        brimo::test::report(QStringLiteral("BOX %1\t%2\t%3\t%4\t%5")
                                .arg(QString(box.text).replace(QStringLiteral("\r\n"), "|"))
                                .arg(box.icon)
                                .arg(box.buttons.toInt())
                                .arg(box.caption)
                                .arg(now()));
    });
    if (arrange)
        arrange(*window);
    QTest::mouseClick(window->updateBtn, Qt::LeftButton);
    QTest::mouseClick(window->stage2Btn, Qt::LeftButton);
    // Every scenario ends the program before the click returns.
    brimo::test::report(QStringLiteral("RETURNED"));
    return kDidNotEnd;
}

brimo::test::Scenarios scenarios()
{
    const auto closeWhenLogShows = [](const QString &line) {
        return [line](brimo::main &window) {
            whenLogShows(window, line, [&window] { window.close(); });
        };
    };
    return {
        {QStringLiteral("refused"), [] { return runUpdate({QMessageBox::Ok}); }},
        {QStringLiteral("noImage"),
         [] {
             return runUpdate({QMessageBox::Yes, QMessageBox::Yes, QMessageBox::No},
                              [](brimo::main &window) {
                                  whenLogShows(
                                      window, QStringLiteral("Downloading updates"),
                                      [] { setServiceFault(QStringLiteral("404"), 3); }, -1);
                              });
         }},
        {QStringLiteral("closeDuringDownload"),
         [closeWhenLogShows] {
             return runUpdate({QMessageBox::Yes}, [closeWhenLogShows](brimo::main &window) {
                 whenLogShows(
                     window, QStringLiteral("Downloading updates"),
                     [] { setServiceFault(QStringLiteral("hang"), 1); }, -1);
                 closeWhenLogShows(QStringLiteral("Downloading updates"))(window);
             });
         }},
        {QStringLiteral("closeDuringFlash"),
         [closeWhenLogShows] {
             return runUpdate({QMessageBox::Yes},
                              closeWhenLogShows(QStringLiteral("Updating device.")));
         }},
    };
}

// --- in the parent -----------------------------------------------------------

struct ChildRun {
    ChildResult result;
    qint64 endedAt = 0;
    QStringList log;     // the lines alone
    QStringList logInfo; // "header\tprogress" of each line
    QStringList boxes;   // text (CR LF as "|"), icon, buttons, caption
    qint64 closingAt = 0;
    qint64 lastAnswerAt = 0;
};

ChildRun runChild(const QString &scenario)
{
    ChildRun run;
    run.result = brimo::test::runScenario(scenario, {}, 90000);
    run.endedAt = now();
    for (const QString &line : run.result.output.split(u'\n')) {
        if (line.startsWith(QStringLiteral("LOG "))) {
            run.log << line.mid(4).section(u'\t', 0, 0);
            run.logInfo << line.section(u'\t', 1);
        } else if (line.startsWith(QStringLiteral("BOX "))) {
            run.boxes << line.mid(4).section(u'\t', 0, 3);
            run.lastAnswerAt = line.section(u'\t', 4).toLongLong();
        } else if (line.startsWith(QStringLiteral("CLOSING "))) {
            run.closingAt = line.mid(8).toLongLong();
        }
    }
    return run;
}

QString boxLine(const QString &text, QMessageBox::Icon icon, QMessageBox::StandardButtons buttons)
{
    return QStringLiteral("%1\t%2\t%3\tBrimo update utility")
        .arg(QString(text).replace(QStringLiteral("\r\n"), "|"))
        .arg(icon)
        .arg(buttons.toInt());
}

const QStringList kToTheDownload{QStringLiteral("Update process began ") + kNow,
                                 "Retrieving existing registry value",
                                 "Registry value returned: COM 3",
                                 "Connecting to the Internet",
                                 "Connected",
                                 "Internet connection test successful",
                                 "Downloading updates",
                                 "Connected"};

} // namespace

class TestWizardEnding : public QObject {
    Q_OBJECT
private slots:
    void refusedDownloadEndsAfterASecond();
    void noImageRetriedTwiceThenGivenUp();
    void closeAcceptedDuringTheDownloadEndsAtOnce();
    void closeAcceptedDuringTheFlashLeavesTheToolRunning();

private:
    // The device on COM3 in D/L mode, "COMPort" 3, the service with an image
    // for `imageFor`.
    static void arrange(WizardRig &rig, const QString &imageFor = kSystemNumber)
    {
        rig.startVendor(imageFor);
        rig.plugDevice(3, QStringLiteral("dl"));
        rig.leaveOtherPortsEmpty();
        WizardRig::storeComPort(QStringLiteral("3"));
    }
};

#define VERIFY_ENDED(run)                                                                          \
    do {                                                                                           \
        QVERIFY2((run).result.finished, qPrintable((run).result.output));                          \
        QCOMPARE((run).result.exitStatus, QProcess::NormalExit);                                   \
        QCOMPARE((run).result.exitCode, 0);                                                        \
        QVERIFY2(!(run).result.output.contains(QStringLiteral("RETURNED")),                        \
                 qPrintable((run).result.output));                                                 \
    } while (false)

void TestWizardEnding::refusedDownloadEndsAfterASecond()
{
    WizardRig rig;
    arrange(rig, QStringLiteral("ZZ99YY88")); // the service does not know the device
    const QString refusal = QString::fromLatin1(VendorSimProcess::bodyOf(rig.vendor().get(
        QStringLiteral("/ws/updatedevice.asp?SystemCodeString=") + kSystemNumber)));
    QVERIFY(!refusal.isEmpty());

    const ChildRun run = runChild(QStringLiteral("refused"));

    VERIFY_ENDED(run);
    QCOMPARE(run.boxes, QStringList{boxLine(refusal, QMessageBox::Critical, QMessageBox::Ok)});
    const QString mismatch =
        logMismatch(run.log, kToTheDownload + QStringList{"Closing update utility."});
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    QVERIFY(run.closingAt > 0);
    QVERIFY2(run.endedAt - run.closingAt >= 1000,
             qPrintable(QString::number(run.endedAt - run.closingAt)));
    QVERIFY2(run.endedAt - run.closingAt < 3000,
             qPrintable(QString::number(run.endedAt - run.closingAt)));
}

void TestWizardEnding::noImageRetriedTwiceThenGivenUp()
{
    WizardRig rig;
    arrange(rig);

    const ChildRun run = runChild(QStringLiteral("noImage"));

    VERIFY_ENDED(run);
    const QString box = boxLine(kRetryBox, QMessageBox::NoIcon, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(run.boxes, (QStringList{box, box, box}));
    const QStringList noImage{"Downloaded 0 bytes", "Aborting update"};
    const QStringList again{"Attempting retry", "Downloading updates", "Connected"};
    const QString mismatch =
        logMismatch(run.log, kToTheDownload + noImage + again + noImage + again + noImage +
                                 QStringList{"Closing update utility."});
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    // Every try starts afresh: stage 4's header, the progress bar at 0.
    for (qsizetype i = 0; i < run.log.size(); ++i) {
        if (run.log[i] == QStringLiteral("Downloading updates"))
            QCOMPARE(run.logInfo[i], QStringLiteral("Stage 4 of 5:\t0"));
    }
    QVERIFY2(run.endedAt - run.closingAt >= 1000,
             qPrintable(QString::number(run.endedAt - run.closingAt)));
}

void TestWizardEnding::closeAcceptedDuringTheDownloadEndsAtOnce()
{
    WizardRig rig;
    arrange(rig);

    const ChildRun run = runChild(QStringLiteral("closeDuringDownload"));

    VERIFY_ENDED(run);
    QCOMPARE(run.boxes, QStringList{boxLine(kTerminateBox, QMessageBox::NoIcon,
                                            QMessageBox::Yes | QMessageBox::No)});
    // The download never finished: nothing after its start.
    const QString mismatch = logMismatch(run.log, kToTheDownload);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    QVERIFY2(run.endedAt - run.lastAnswerAt < 1000,
             qPrintable(QString::number(run.endedAt - run.lastAnswerAt)));
}

void TestWizardEnding::closeAcceptedDuringTheFlashLeavesTheToolRunning()
{
    WizardRig rig;
    arrange(rig);
    rig.app().setFaults({QStringLiteral("ok"), QStringLiteral("delay 3000")});

    const ChildRun run = runChild(QStringLiteral("closeDuringFlash"));

    VERIFY_ENDED(run);
    QCOMPARE(run.boxes, QStringList{boxLine(kTerminateBox, QMessageBox::NoIcon,
                                            QMessageBox::Yes | QMessageBox::No)});
    QVERIFY2(run.endedAt - run.lastAnswerAt < 1000,
             qPrintable(QString::number(run.endedAt - run.lastAnswerAt)));
    QCOMPARE(run.log.constLast(), QStringLiteral("Updating device."));
    // The utility is gone while the tool still writes; the tool ends on its own.
    QCOMPARE(rig.app().logLines().size(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(rig.app().logLines().size(), 2, 20000);
    const QString write = rig.app().logLines().at(1);
    QVERIFY2(write.endsWith(QStringLiteral("[-o] [0] [-c] [0] -> exit 0")), qPrintable(write));
    QCOMPARE(rig.device(3).status().value(QStringLiteral("writes")), QStringLiteral("1"));
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (const auto code = brimo::test::runRequestedScenario(scenarios()))
        return *code;
    TestWizardEnding test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_wizardending.moc"
