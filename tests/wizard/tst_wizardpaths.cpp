// The user's paths through the real window against the stand-ins: the stored
// COM port, the scan, the auto detection; the identity read and its retries;
// the Internet test, the download, the flash and their retries.
#include "wizardrig.h"

namespace {

const QString kReturned = kUpToStage2.chopped(1); // "...: COM " and the stored value
const QString kStage2 = "stageHeader=Stage 2 of 5:|info=Please remove power to the Brimo device, "
                        "wait 10 seconds, switch it to the 'D/L' position and re-apply power.\r\n"
                        "\r\nPress the '&Update device' button to continue.|shown=stage2Btn";
const QString kNormalModeBox = "|Ok Unable to detect the Brimo device on Com X, please remove the "
                               "power, wait 10 seconds, select NORMAL mode and reinsert the power.";
const QString kDownloadModeBox = "|Ok Please remove power to the Brimo device, wait 10 seconds, "
                                 "switch it to the 'D/L' position and re-apply power.";
const QString kReadFailed = "|Unable to retrieve information from the Brimo device";
const QString kNoInternetBox =
    "|Stop The Brimo update utility could not connect to the Internet to "
    "retrieve updates for your device.\r\n\r\nEnsure that you have "
    "connected to the internet and press the 'Update device' button to "
    "try again.";
const QString kNoInternet = "|Connecting to the Internet|Connected|Internet connection test failed";

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
// The progress bar through one request as the transfer's states 1 to 10 and 12
// move it (a value twice in a row shows once), and the log's "Connected".
const QString kRequest = "10,20,30,Connected,40,50,60,80,90,100";

} // namespace

class TestWizardPaths : public QObject {
    Q_OBJECT
private slots:
    void paths_data()
    {
        WizardRig::columns();
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
            << "stageHeader=Stage 1 of 5:|shown=stage1Btn|stage1Btn=&Scan|COMPort=|com=|info="
               "During this process this application will attempt to connect to the internet to "
               "retrieve remote updates for your Brimo device.";

        // No port yet: the stage button opens the settings, which log nothing.
        QTest::newRow("settings, then a scan that finds the device")
            << "normal@3|updateBtn|dialog=3|stage1Btn|stage1Btn"
            << "" << kBlank + "|Scanning COM port 3|Brimo device has been detected on COM 3"
            << kStage2 + "|com=3|COMPort=3|bar=0";
        QTest::newRow("a scan of a silent device")
            << "camera@3|updateBtn|dialog=3|stage1Btn|stage1Btn"
            << ""
            << kBlank + "|Scanning COM port 3|Unable to detect the Brimo device on COM 3, press "
                        "'Auto detect' to search all ports"
            << "stageHeader=Stage 1 of 5:|shown=stage1Btn,detectBtn|disabled=|com=3";
        // Its steps, its 100, then stage 2 opening at 0; "Auto &detect" stays off.
        QTest::newRow("auto detection, device on COM5")
            << "normal@5|updateBtn|detectBtn"
            << "" << kBlank + detection(5, true)
            << kStage2 + "|COMPort=5|com=5|bar=0,6,12,19,25,31,100,0|disabled=detectBtn";
        // A device beyond the sixteen ports is never looked for; the stage
        // button then opens the settings again.
        QTest::newRow("auto detection, nothing on COM1 to COM16")
            << "normal@17|updateBtn|detectBtn|stage1Btn"
            << "" << kBlank + detection(16, false)
            << "stageHeader=Stage 1 of 5:|com=|COMPort=|stage1Btn=&Settings|shown=stage1Btn,"
               "detectBtn|disabled=|bar=0,6,12,19,25,31,38,44,50,56,62,69,75,81,88,94,100";

        // Left in NORMAL the device streams, so each search finds it again on
        // COM3, but the flash tool never gets an answer from it.
        QTest::newRow("identity read, never: five reads, then the button again")
            << "COMPort=3|normal@3|updateBtn|stage2Btn"
            << QString(kNormalModeBox + kDownloadModeBox).repeated(5).mid(1)
            << kReturned + "3" + QString(kReadFailed + detection(3, true)).repeated(5)
            << kStage2 + "|tool=r3:3,r3:3,r3:3,r3:3,r3:3|stage1Btn=&Scan";
        // The write takes three seconds; meanwhile the user clicks on the
        // "&File" menu, or presses Alt+F. The portal keeps the PC from
        // sleeping through each run of the tool, and from shutting down
        // through the write.
        QTest::newRow("the whole update; a click on the menu waits for the tool")
            << "COMPort=3|dl@3|service|inhibit=portal|tool=ok;delay 3000|updateBtn|click|stage2Btn"
            << "" << kToTheFlash + kCompletion
            << "completed|tool=r3,w3|writes=1|popup=file|bar=0,33," + kRequest + ",66,100,0," +
                   kRequest + ",0,20,40,60,80,100|inhibit=sleep 0-1,shutdown 1-2";
        // A record that writes over the device's identity makes an image no image.
        QTest::newRow("an image over the identity, the retry question, then a whole image")
            << "COMPort=3|dl@3|service|fault=overident|updateBtn|stage2Btn"
            << "Yes " + kRetryBox
            << QString(kToTheFlash)
                       .replace("|Downloaded <size>",
                                "|The update writes over the device's identity: line 32772|"
                                "Downloaded 0 bytes|Aborting update|Attempting retry|Downloading "
                                "updates|Connected|Downloaded <size>") +
                   kCompletion
            << "completed|tool=r3,w3|writes=1";
        // The portal answers only after its time-out, when the screen saver
        // holds too: each run lets go of both.
        QTest::newRow("Internet test fails, the user goes round again; Alt+F waits too")
            << "COMPort=3|dl@3|service|fault=404|inhibit=portal late|tool=ok;ok;delay 3000|"
               "updateBtn|keys|stage2Btn|stage2Btn"
            << kNoInternetBox.mid(1)
            << kUpToStage2 + kNoInternet + kToTheFlash.mid(kUpToStage2.size()) + kCompletion
            << "completed|tool=r3,r3,w3|popup=file|inhibit=sleep 0-1,screen 0-1,sleep 1-2,screen "
               "1-2,shutdown 2-3,screen 2-3";
        // COM4, found by the search, is stored and read; the count goes on into
        // stage 3, whose transfer's error state puts the bar back to 0.
        QTest::newRow("a failed read finds the device on another port, read there")
            << "COMPort=3|normal@4|service|fault=nothttp|updateBtn|dl@4@Brimo device has been "
               "detected on COM 4|stage2Btn"
            << (kNormalModeBox + kDownloadModeBox + kNoInternetBox).mid(1)
            << kReturned + "3" + kReadFailed + detection(4, true) + kNoInternet
            << kStage2 + "|COMPort=4|com=4|tool=r3:3,r4|bar=0,6,12,19,25,100,0,"
                         "33,10,20,30,Connected,40,50,60,0";
        // Successful reads are counted too: after four, one failed read is the
        // last. Giving up starts the count afresh: the next read (on COM1, where
        // the search found the device) and a failed flash make two, so the
        // flash is tried again. It goes to COM3, the port stored at start-up.
        QTest::newRow("four reads counted: a fifth that fails gives up at once, then afresh")
            << "COMPort=3|dl@3|normal@1|service|fault=404*4|tool=ok;ok;ok;ok;exit 1|updateBtn|"
               "stage2Btn|stage2Btn|stage2Btn|stage2Btn|dl@1@Brimo device has been detected on "
               "COM 1|stage2Btn|tool=ok;exit 5|stage2Btn"
            << (kNoInternetBox.repeated(4) + kNormalModeBox + kDownloadModeBox + "|" +
                kFlashFailedBox)
                   .mid(1)
            << kUpToStage2 + kNoInternet.repeated(4) + kReadFailed + detection(1, true) +
                   kToTheFlash.mid(kUpToStage2.size()) + kRetry + kCompletion
            << "completed|tool=r3,r3,r3,r3,r3:1,r1,w3:5,w3|COMPort=1";
        // One read and two flash failures reach the limit of three attempts; the
        // close is declined, the window stays on stage 5 with its button, whose
        // press starts a fresh count: two more failures ask for a power cycle.
        // Without a portal the screen saver keeps the PC awake, each failed
        // run let go of like the rest.
        QTest::newRow("the flash given up, the close declined, then tried again")
            << "COMPort=3|dl@3|service|inhibit=screensaver|tool=ok;exit 5;exit 5|updateBtn|"
               "stage2Btn|seen:info=The database has now been collected and the Brimo unit "
               "will now be updated.\r\n\r\nThis process may take up to 5 minutes.|tool=exit "
               "5;exit 5|stage5Btn"
            << kFlashFailedBox +
                   "|Ok Communication error. The utility will now shut down.  Please "
                   "run this update utility again to perform the update.|No " +
                   kTerminateBox + "|" + kFlashFailedBox + "|" + kFlashFailedBox
            << kToTheFlash + kRetry + "|Unable to update Brimo device" + kAttempt + kRetry +
                   kRetry + kCompletion
            << "completed|tool=r3,w3:5,w3:5,w3:5,w3:5,w3|inhibit=screen 0-1,screen 1-2,screen "
               "2-3,screen 3-4,screen 4-5,screen 5-6";
    }
    void paths()
    {
        // While the tool writes, the user moves over the "&File" menu (its
        // highlight follows at once), then clicks on it or presses Alt+F, as
        // the window system delivers them; the dots move, but the menu opens
        // only once the tool has ended.
        bool held = false, dotsMoved = false;
        WizardRig::runRow([&](WizardRig &rig, const QString &input) {
            QWindow *window = rig.open().windowHandle();
            rig.user().whenLogShows(
                "Updating device.",
                [&, input, window] {
                    // Keys go to the active window; offscreen none is, after a box.
                    QApplication::setActiveWindow(&rig.open());
                    const QMenuBar *bar = rig.open().menuBar();
                    const QPoint file =
                        bar->actionGeometry(bar->actions()[0]).center() + bar->pos();
                    QTest::mouseMove(window, file);
                    if (input == "keys")
                        QTest::keyClick(window, Qt::Key_F, Qt::AltModifier);
                    else
                        QTest::mouseClick(window, Qt::LeftButton, {}, file);
                    held = !QApplication::activePopupWidget() && bar->activeAction();
                },
                500);
            rig.user().whenLogShows(
                "Cleaning up",
                [&] { dotsMoved = rig.user().logText().contains(". . .\nCleaning"); }, -1);
        });
        if (QString(QTest::currentDataTag()).contains("waits"))
            QVERIFY(held && dotsMoved);
    }
};

QTEST_MAIN(TestWizardPaths)
#include "tst_wizardpaths.moc"
