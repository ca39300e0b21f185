// Stage 2's button through the real window: the identity read with the stand-in flash
// tool, the search for the device after a failed read, and the limit of five attempts.
#include "wizardrig.h"

#include "device/device.h"

namespace {

const QString kNormalModeBox =
    QStringLiteral("Unable to detect the Brimo device on Com X, please remove the power, wait 10 "
                   "seconds, select NORMAL mode and reinsert the power.");
const QString kReadFailed = QStringLiteral("Unable to retrieve information from the Brimo device");

} // namespace

class TestWizardDeviceRead : public QObject {
    Q_OBJECT
private slots:
    void readThatNeverSucceeds_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("attemptsBefore");
        QTest::addColumn<int>("reads");
        QTest::addColumn<bool>("found");

        // Left in NORMAL the device streams, so each search finds it again on
        // COM3, but the flash tool never gets an answer from it.
        QTest::newRow("left in NORMAL, five reads") << "normal" << 0 << 5 << true;
        // Silent on every port: the search fails and the D/L instruction is skipped.
        QTest::newRow("silent, one attempt left") << "camera" << 4 << 1 << false;
    }

    void readThatNeverSucceeds()
    {
        QFETCH(QString, mode);
        QFETCH(int, attemptsBefore);
        QFETCH(int, reads);
        QFETCH(bool, found);
        WizardRig rig;
        QVERIFY(rig.plugDevice(3, mode));
        rig.leaveOtherPortsEmpty();
        WizardRig::storeComPort(QStringLiteral("3"));
        const auto window = WizardRig::openWindow();
        window->attemptCount = qint16(attemptsBefore);
        BoxAnswerer user; // each box has only its OK button

        QTest::mouseClick(window->stage2Btn, Qt::LeftButton);

        QStringList expectedLog = kUpToStage2;
        QStringList expectedBoxes;
        for (int read = 0; read < reads; ++read) {
            expectedLog << kReadFailed << detectionLines(found ? 3 : 16, found);
            expectedBoxes << kNormalModeBox;
            if (found)
                expectedBoxes << kDownloadModeBox;
        }
        COMPARE_LOG(*window, (expectedLog));
        QCOMPARE(user.seenTexts(), expectedBoxes);
        for (const BoxAnswerer::Box &box : user.seen()) {
            QCOMPARE(box.caption, QStringLiteral("Brimo update utility"));
            QCOMPARE(box.icon, QMessageBox::NoIcon);
            QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        }
        // The device never answers the tool: each read times out.
        QCOMPARE(rig.toolRuns(), QStringList(reads, readRun(3, 3)));
        QVERIFY(window->stage2Btn->isVisible() && !window->state().updateInProgress);
        QCOMPARE(window->attemptCount, qint16(0));
        QCOMPARE(window->state().comPortNumber, qint16(3));
        // A failed search names the settings on the stage 1 button for next time.
        QCOMPARE(window->stage1Btn->text(), QString(found ? "&Scan" : "&Settings"));
        QVERIFY(!QFile::exists(rig.app().workFilePath()));
    }

    void deviceFoundOnAnotherPortBetweenReads()
    {
        WizardRig rig;
        // The stored port is stale: the device sits on COM4, already in D/L mode.
        QVERIFY(rig.plugDevice(4, QStringLiteral("dl")));
        rig.leaveOtherPortsEmpty();
        WizardRig::storeComPort(QStringLiteral("3"));
        // Nothing answers on the service's port, so the chain stops at the
        // Internet test and comes back to stage 2.
        qputenv("BRIMO_SERVICE_HOST", "127.0.0.1:9");
        const auto window = WizardRig::openWindow();
        BoxAnswerer user;
        // The user follows the instructions: NORMAL for the search, then D/L.
        user.onEachBox([&](const BoxAnswerer::Box &box) {
            if (box.text != kNoInternetBox)
                rig.device(4).send(box.text == kNormalModeBox ? "mode normal" : "mode dl");
        });

        QTest::mouseClick(window->stage2Btn, Qt::LeftButton);

        COMPARE_LOG(*window,
                    (kUpToStage2 + QStringList{kReadFailed} + detectionLines(4, true) +
                     QStringList{"Connecting to the Internet", "Internet connection test failed"}));
        QCOMPARE(user.seenTexts(), (QStringList{kNormalModeBox, kDownloadModeBox, kNoInternetBox}));
        QCOMPARE(user.seen().last().icon, QMessageBox::Critical);
        QCOMPARE(rig.toolRuns(), (QStringList{readRun(3, 3), readRun(4)}));
        QCOMPARE(window->deviceLink().SystemNumber(), kSystemNumber);
        QCOMPARE(WizardRig::storedComPort(), QStringLiteral("4"));
        QCOMPARE(window->state().comPortNumber, qint16(4));
        QCOMPARE(window->settingsDialog().com->currentText(), QStringLiteral("4"));
        // Back on stage 2 after the failed test; both reads still count.
        QCOMPARE(window->state().currentStage, qint16(2));
        QCOMPARE(window->stageHeader->text(), QStringLiteral("Stage 2 of 5:"));
        QVERIFY(window->stage2Btn->isVisible());
        QCOMPARE(window->attemptCount, qint16(2));
        QCOMPARE(window->state().updateInProgress, false);
    }
};

QTEST_MAIN(TestWizardDeviceRead)
#include "tst_wizarddeviceread.moc"
