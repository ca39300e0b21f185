// The ways the wizard ends the program in the middle of an update: a refused
// download, a download the user gives up on, and a close request answered
// Yes while the download or the flash runs. The program really ends, so each
// case runs the window in a child process of this test program, which reports
// the log lines and boxes on its output as they come.
#include "childscenario.h"
#include "wizardrig.h"

namespace {

const QString kClosing = QStringLiteral("Closing update utility.");
// Stand-ins in the expected values for what the service says in the test.
const QString kRefusal = QStringLiteral("<refusal>");
const QString kImageSize = QStringLiteral("<size>");

QString now()
{
    return QString::number(QDateTime::currentMSecsSinceEpoch());
}

QString boxLine(const QString &text, int icon, int buttons,
                const QString &caption = QStringLiteral("Brimo update utility"))
{
    return QStringList{QString(text).replace(QStringLiteral("\r\n"), "|"), QString::number(icon),
                       QString::number(buttons), caption}
        .join(u'\t');
}

// --- in the child, told what to do by its environment ------------------------

// The child knows only the service's address.
void setServiceFault(const QString &query)
{
    const QString hostPort = qEnvironmentVariable("BRIMO_SERVICE_HOST");
    QTcpSocket socket;
    socket.setProxy(QNetworkProxy::NoProxy);
    socket.connectToHost(hostPort.section(u':', 0, 0), quint16(hostPort.section(u':', 1).toUInt()));
    socket.waitForConnected(5000);
    socket.write("GET /sim/fault?" + query.toLatin1() + " HTTP/1.1\r\nConnection: close\r\n\r\n");
    while (socket.waitForReadyRead(5000))
        socket.readAll();
}

// Reports each new log line with the stage header and the progress bar of
// that moment, straight from the text box (the program may end right after),
// and each box; both with the time they came.
int runUpdate()
{
    const auto window = WizardRig::openWindow(false);
    auto reported = std::make_shared<int>(0);
    QObject::connect(
        window->Text1, &QPlainTextEdit::textChanged, window.get(), [&window, reported] {
            const QTextDocument *document = window->Text1->document();
            if (document->isEmpty())
                *reported = 0;
            for (; !document->isEmpty() && *reported < document->blockCount(); ++*reported) {
                brimo::test::report(
                    QStringLiteral("%1\tLOG\t%2\t%3\t%4")
                        .arg(now(), withoutDots(document->findBlockByNumber(*reported).text()),
                             window->stageHeader->text(),
                             QString::number(window->ProgressBar->value())));
            }
        });
    BoxAnswerer user;
    for (const QString &answer : qEnvironmentVariable("BRIMO_TEST_ANSWERS").split(u' '))
        user.queue({answer == "Yes"  ? QMessageBox::Yes
                    : answer == "No" ? QMessageBox::No
                                     : QMessageBox::Ok});
    user.onEachBox([](const BoxAnswerer::Box &box) {
        brimo::test::report(now() + "\tBOX\t" +
                            boxLine(box.text, box.icon, box.buttons.toInt(), box.caption));
    });
    if (const QString fault = qEnvironmentVariable("BRIMO_TEST_FAULT"); !fault.isEmpty())
        whenLogShows(
            *window, QStringLiteral("Downloading updates"), [fault] { setServiceFault(fault); },
            -1);
    if (const QString line = qEnvironmentVariable("BRIMO_TEST_CLOSE_AT"); !line.isEmpty())
        whenLogShows(*window, line, [&window] { window->close(); });
    QTest::mouseClick(window->updateBtn, Qt::LeftButton);
    QTest::mouseClick(window->stage2Btn, Qt::LeftButton);
    return 3; // the program did not end
}

} // namespace

class TestWizardEnding : public QObject {
    Q_OBJECT
private slots:
    void updateEndsTheProgram_data()
    {
        QTest::addColumn<QString>("imageFor");
        QTest::addColumn<QStringList>("toolFaults");
        // The child's environment: the user's answers, a fault of the service
        // from the download on, the line at which the user asks to close.
        QTest::addColumn<QStringList>("child");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QStringList>("log");

        const int yesNo = (QMessageBox::Yes | QMessageBox::No).toInt();
        const QString terminate = boxLine(kTerminateBox, QMessageBox::NoIcon, yesNo);
        const QString retry =
            boxLine(QStringLiteral(
                        "Unable to collect database file, please ensure any firewall applications "
                        "are configured to allow the Brimo update utility full internet access."
                        "\r\n\r\nWould you like to retry?"),
                    QMessageBox::NoIcon, yesNo);
        const QStringList noImage{"Downloaded 0 bytes", "Aborting update"};
        const QStringList again{"Attempting retry", "Downloading updates", "Connected"};

        // The service does not know the device: its answer is shown, then the end.
        QTest::newRow("refused download ends after a second")
            << "ZZ99YY88" << QStringList{} << QStringList{"BRIMO_TEST_ANSWERS=Ok"}
            << QStringList{boxLine(kRefusal, QMessageBox::Critical, QMessageBox::Ok)}
            << kToTheDownload + QStringList{kClosing};
        QTest::newRow("no image, retried twice, then given up")
            << kSystemNumber << QStringList{}
            << QStringList{"BRIMO_TEST_ANSWERS=Yes Yes No", "BRIMO_TEST_FAULT=mode=404&count=3"}
            << QStringList{retry, retry, retry}
            << kToTheDownload + noImage + again + noImage + again + noImage + QStringList{kClosing};
        // The download never finishes: nothing after its start.
        QTest::newRow("close accepted during the download ends at once")
            << kSystemNumber << QStringList{}
            << QStringList{"BRIMO_TEST_ANSWERS=Yes", "BRIMO_TEST_FAULT=mode=hang",
                           "BRIMO_TEST_CLOSE_AT=Downloading updates"}
            << QStringList{terminate} << kToTheDownload;
        QTest::newRow("close accepted during the flash leaves the tool running")
            << kSystemNumber << QStringList{"ok", "delay 3000"}
            << QStringList{"BRIMO_TEST_ANSWERS=Yes", "BRIMO_TEST_CLOSE_AT=Updating device."}
            << QStringList{terminate}
            << kToTheDownload + QStringList{"Downloaded " + kImageSize + " bytes"} + kFlashAttempt;
    }

    void updateEndsTheProgram()
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

        const brimo::test::ChildResult result = brimo::test::runScenario("update", child, 90000);
        const qint64 endedAt = QDateTime::currentMSecsSinceEpoch();

        QVERIFY2(result.finished, qPrintable(result.output));
        QCOMPARE(result.exitStatus, QProcess::NormalExit);
        QCOMPARE(result.exitCode, 0);
        QStringList seenLog, seenBoxes;
        qint64 closingAt = 0, lastBoxAt = 0;
        for (const QString &line : result.output.split(u'\n')) {
            const QStringList fields = line.split(u'\t');
            if (fields.value(1) == QStringLiteral("BOX")) {
                seenBoxes << fields.mid(2).join(u'\t');
                lastBoxAt = fields[0].toLongLong();
            } else if (fields.value(1) == QStringLiteral("LOG")) {
                seenLog << fields[2];
                closingAt = fields[2] == kClosing ? fields[0].toLongLong() : closingAt;
                // Every try at the download starts afresh: stage 4's header, the bar at 0.
                if (fields[2] == QStringLiteral("Downloading updates"))
                    QCOMPARE(fields.mid(3), (QStringList{"Stage 4 of 5:", "0"}));
            }
        }
        QCOMPARE(seenBoxes, boxes);
        COMPARE_LINES(seenLog, (log));
        // A give-up ends a second after its last line; a close at once.
        if (log.constLast() == kClosing)
            QVERIFY2(endedAt - closingAt >= 1000 && endedAt - closingAt < 3000,
                     qPrintable(QString::number(endedAt - closingAt)));
        else
            QVERIFY2(endedAt - lastBoxAt < 1000, qPrintable(QString::number(endedAt - lastBoxAt)));
        if (toolFaults.isEmpty())
            return;
        // The utility is gone while the tool still writes; the tool ends on its own.
        QCOMPARE(rig.toolRuns(), QStringList{readRun(3)});
        QTRY_COMPARE_WITH_TIMEOUT(rig.toolRuns(), (QStringList{readRun(3), writeRun(3)}), 20000);
        QCOMPARE(rig.device(3).status().value(QStringLiteral("writes")), QStringLiteral("1"));
    }
};

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
