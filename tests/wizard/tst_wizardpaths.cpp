// Every path of the user through the real window against the simulated
// device, the stand-in flash tool and the stand-in vendor service: the stored
// COM port, the scan and the auto detection; the identity read with its search
// for the device and its five attempts; the Internet test, the download, the
// flash with their retries; and the user's input while the flash tool runs.
#include "wizardrig.h"

namespace {

const QString kBlank = kBegan + "|Retrieving existing registry value|Blank registry value returned";
const QString kReturned =
    kBegan + "|Retrieving existing registry value|Registry value returned: COM ";
const QString kStage2 = "stageHeader=Stage 2 of 5:|info=Please remove power to the Brimo device, "
                        "wait 10 seconds, switch it to the 'D/L' position and re-apply power.\r\n"
                        "\r\nPress the '&Update device' button to continue.|shown=stage2Btn";
const QString kNormalModeBox = "|Ok Unable to detect the Brimo device on Com X, please remove the "
                               "power, wait 10 seconds, select NORMAL mode and reinsert the power.";
const QString kDownloadModeBox = "|Ok Please remove power to the Brimo device, wait 10 seconds, "
                                 "switch it to the 'D/L' position and re-apply power.";
const QString kReadFailed = "|Unable to retrieve information from the Brimo device";
const QString kNoInternet = "The Brimo update utility could not connect to the Internet to "
                            "retrieve updates for your device.\r\n\r\nEnsure that you have "
                            "connected to the internet and press the 'Update device' button to "
                            "try again.";

// The auto detection's lines when it scans COM1 to `lastPort`.
QString detection(int lastPort, bool found)
{
    QString lines = QStringLiteral("|Attempting to auto detect the Brimo device");
    for (int port = 1; port <= lastPort; ++port)
        lines += QStringLiteral("|Scanning COM port %1").arg(port);
    return lines + (found
                        ? QStringLiteral("|Brimo device has been detected on COM %1").arg(lastPort)
                        : QStringLiteral("|Unable to auto detect the Brimo device"));
}

const QString kFlashFailedBox =
    "Ok Ready to update the Brimo with the latest updates.\r\n\r\nPlease "
    "remove power, wait 10 seconds, ensure the 'D/L' mode is selected "
    "and reapply power.";
const QString kAttempt = "|Updating device with the latest update|Checking update integrity|"
                         "Checking system number|Updating device.";
const QString kRetry = "|Unable to update Brimo device" + kAttempt;

// Counts the paint events a widget gets.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

} // namespace

class TestWizardPaths : public QObject {
    Q_OBJECT
private slots:
    void paths_data()
    {
        // As WizardRig::run() and verify() take them, each a list joined by "|".
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("boxes");
        QTest::addColumn<QString>("log");
        QTest::addColumn<QString>("after");

        // Written with the system's decimal separator, as the user's system stores it.
        const QString half = QStringLiteral("2") + QLocale::system().decimalPoint() + u'5';
        QTest::newRow("stored 2.5: port 2, halves to even")
            << "COMPort=" + half + "|updateBtn"
            << "" << kReturned + half << "stageHeader=Stage 2 of 5:|port=2|COMPort=" + half;
        QTest::newRow("nothing stored: settings or auto detection")
            << "updateBtn"
            << "" << kBlank
            << "stageHeader=Stage 1 of 5:|shown=stage1Btn,detectBtn|stage1Btn=&Settings|info=The "
               "Brimo update utility has no COM port set, please ensure your Brimo device is "
               "plugged into a COM port and is switched to 'NORMAL' mode. \r\n\r\nPress the 'Auto "
               "&detect' button to begin device detection.";
        // A value that is no port number is cleared; the page keeps its text.
        QTest::newRow("stored COM3: not a port")
            << "COMPort=COM3|updateBtn"
            << "" << kReturned + "COM3|COM3is not a valid COM port number"
            << "stageHeader=Stage 1 of 5:|shown=stage1Btn|stage1Btn=&Scan|COMPort=|port=0|info="
               "During this process this application will attempt to connect to the internet to "
               "retrieve remote updates for your Brimo device.";

        // No port yet: the stage button opens the settings, which log nothing.
        QTest::newRow("settings, then a scan that finds the device")
            << "normal@3|updateBtn|dialog=3|stage1Btn|stage1Btn"
            << "" << kBlank + "|Scanning COM port 3|Brimo device has been detected on COM 3"
            << kStage2 + "|port=3|com=3|COMPort=3|bar=0";
        QTest::newRow("a scan of a silent device")
            << "camera@3|updateBtn|dialog=3|stage1Btn|stage1Btn"
            << ""
            << kBlank + "|Scanning COM port 3|Unable to detect the Brimo device on COM 3, press "
                        "'Auto detect' to search all ports"
            << "stageHeader=Stage 1 of 5:|shown=stage1Btn,detectBtn|port=3";
        // Its steps, its 100, then stage 2 opening at 0; "Auto &detect" stays off.
        QTest::newRow("auto detection, device on COM5")
            << "normal@5|updateBtn|detectBtn"
            << "" << kBlank + detection(5, true)
            << kStage2 + "|port=5|COMPort=5|com=5|bar=0,6,12,19,25,31,100,0";
        // A device beyond the sixteen ports is never looked for; the stage
        // button then opens the settings again.
        QTest::newRow("auto detection, nothing on COM1 to COM16")
            << "normal@17|updateBtn|detectBtn|stage1Btn"
            << "" << kBlank + detection(16, false)
            << "stageHeader=Stage 1 of 5:|port=-1|COMPort=|stage1Btn=&Settings|shown=stage1Btn,"
               "detectBtn|bar=0,6,12,19,25,31,38,44,50,56,62,69,75,81,88,94,100";

        // Left in NORMAL the device streams, so each search finds it again on
        // COM3, but the flash tool never gets an answer from it.
        QTest::newRow("identity read, never: five reads, then the button again")
            << "COMPort=3|normal@3|updateBtn|stage2Btn"
            << QString(kNormalModeBox + kDownloadModeBox).repeated(5).mid(1)
            << kReturned + "3" + QString(kReadFailed + detection(3, true)).repeated(5)
            << kStage2 + "|attempts=0|tool=r3:3,r3:3,r3:3,r3:3,r3:3|stage1Btn=&Scan";
        // Silent on every port: the search fails and the D/L instruction is skipped.
        QTest::newRow("identity read, silent device, one attempt left")
            << "COMPort=3|camera@3|updateBtn|attempts=4|stage2Btn" << kNormalModeBox.mid(1)
            << kReturned + "3" + kReadFailed + detection(16, false)
            << "shown=stage2Btn|attempts=0|tool=r3:3|stage1Btn=&Settings";
        // The stored port is stale: the device sits on COM4, in D/L mode. The
        // user follows the boxes; nothing listens for the Internet test, so the
        // chain comes back to stage 2, and both reads still count.
        QTest::newRow("identity read, found again on COM4, Internet test fails")
            << "COMPort=3|dl@4|service=none|updateBtn|follows|stage2Btn"
            << kNormalModeBox.mid(1) + kDownloadModeBox + "|Ok " + kNoInternet
            << kReturned + "3" + kReadFailed + detection(4, true) +
                   "|Connecting to the Internet|Internet connection test failed"
            << kStage2 + "|tool=r3:3,r4|COMPort=4|port=4|com=4|attempts=2";

        // The write takes three seconds; meanwhile the user clicks on the
        // "&File" menu, or presses Alt+F.
        QTest::newRow("the whole update; a click on the menu waits for the tool")
            << "COMPort=3|dl@3|service|tool=ok;delay 3000|updateBtn|click|stage2Btn"
            << "" << kToTheFlash + kCompletion << "completed|tool=r3,w3|writes@3=1|popup=file";
        QTest::newRow("Internet test fails, the user goes round again; Alt+F waits too")
            << "COMPort=3|dl@3|service|fault=404|tool=ok;ok;delay 3000|updateBtn|keys|stage2Btn|"
               "stage2Btn"
            << "Ok " + kNoInternet
            << kUpToStage2 +
                   "|Connecting to the Internet|Connected|Internet connection test "
                   "failed" +
                   kToTheFlash.mid(kUpToStage2.size()) + kCompletion
            << "completed|tool=r3,r3,w3|popup=file";
        // One read and two flash failures reach the limit of three attempts;
        // the close is declined, so the window stays on stage 5 with its button.
        const QString failing = "COMPort=3|dl@3|service|tool=ok;exit 5;exit 5|updateBtn|stage2Btn";
        const QString giveUp = kFlashFailedBox +
                               "|Ok Communication error. The utility will now "
                               "shut down.  Please run this update utility again "
                               "to perform the update.|No " +
                               kTerminateBox;
        QTest::newRow("the flash given up, the close declined")
            << failing << giveUp << kToTheFlash + kRetry + "|Unable to update Brimo device"
            << "shown=stage5Btn|stageHeader=Stage 5 of 5:|ProgressBar=0%|attempts=0|tool=r3,w3:5,"
               "w3:5";
        // A fresh count: two more failures only ask for another power cycle.
        QTest::newRow("then the button tries again with a fresh count")
            << failing + "|tool=exit 5;exit 5|stage5Btn"
            << giveUp + "|" + kFlashFailedBox + "|" + kFlashFailedBox
            << kToTheFlash + kRetry + "|Unable to update Brimo device" + kAttempt + kRetry +
                   kRetry + kCompletion
            << "completed|tool=r3,w3:5,w3:5,w3:5,w3:5,w3";
    }
    void paths()
    {
        PaintCounter counter;
        bool held = false, dotsMoved = false;
        int paints = 0;
        WizardRig::runRow([&](WizardRig &rig, const QString &input) {
            rig.user().whenLogShows(
                "Updating device.",
                [&, input] {
                    rig.user().control<QPlainTextEdit>("Text1")->viewport()->installEventFilter(
                        &counter);
                    sendInput(rig.open(), input);
                    held = !QApplication::activePopupWidget();
                },
                500);
            rig.user().whenLogShows(
                "Cleaning up",
                [&] {
                    paints = counter.paints;
                    dotsMoved = rig.user().logText().contains("Updating device. . . .");
                },
                -1);
        });
        if (!QTest::currentDataTag() || !QString(QTest::currentDataTag()).contains("waits"))
            return;
        // While the tool ran the window painted and the dots moved, but the
        // menu opened only once it had ended.
        QVERIFY(held && paints > 0 && dotsMoved);
    }

private:
    // Through the window, as the window system delivers them.
    static void sendInput(brimo::MainWindow &window, const QString &input)
    {
        if (input == QLatin1String("keys")) {
            // Keys go to the active window; offscreen, none is active again
            // after a box has closed.
            QApplication::setActiveWindow(&window);
            QTest::keyClick(window.windowHandle(), Qt::Key_F, Qt::AltModifier);
            return;
        }
        QMenuBar *bar = window.menuBar();
        const QRect title = bar->actionGeometry(bar->actions().constFirst());
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, Qt::NoModifier,
                          bar->mapTo(&window, title.center()));
    }
};

QTEST_MAIN(TestWizardPaths)
#include "tst_wizardpaths.moc"
